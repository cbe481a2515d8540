#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (default 30 s; pass
# another number of seconds to fuzz longer). Seeds come from the fixtures; what the fuzzer finds
# is kept in build/fuzz/corpus, a crash in build/fuzz/findings.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-30}"
if ! command -v clang++ >/dev/null; then
  echo "clang++ not found: fuzzing skipped"
  exit 0
fi
cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_replies fuzz_dialog fuzz_lines fuzz_metrics \
  fuzz_broadcom fuzz_draytek fuzz_telnet fuzz_line_logs
corpus="$root/build/fuzz/corpus"
findings="$root/build/fuzz/findings"
mkdir -p "$corpus/replies" "$corpus/lines" "$corpus/dialog" "$corpus/metrics" "$corpus/broadcom" \
  "$corpus/draytek" "$corpus/telnet" "$corpus/line-logs" "$findings"
# A read from the router is at most 8192 bytes, so longer replies cannot happen; the dialog
# target's input is a series of chunks. ASan's filling of fresh allocations is left out: it costs
# more time than the parsing, and finds nothing that reads of uninitialised bytes would not.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}max_malloc_fill_size=0"
run() {
  local target="$1" work="$2" seeds="$3" max_len="$4" log="$root/build/fuzz/$1.log" status=0
  echo "fuzzing $target for ${seconds}s"
  "$root/build/fuzz/tests/fuzz/$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$findings/$target-" "$work" "$seeds" >"$log" 2>&1 || status=$?
  grep -E '^(==[0-9]+==|SUMMARY|stat::number_of_executed_units|stat::average_exec_per_sec|Done)' "$log" || true
  grep -E '^#[0-9]+.*(DONE|pulse)' "$log" | tail -n 1 || true
  if [ "$status" -ne 0 ]; then
    echo "$target found a fault (exit $status); see $log and $findings"
    tail -n 40 "$log"
    return "$status"
  fi
}
mkdir -p "$corpus/replies-seeds"
cp "$root/tests/data/show_adsl.txt" "$root/tests/data/showbins.txt" "$corpus/replies-seeds/"
run fuzz_lines "$corpus/lines" "$corpus/replies-seeds" 8192
run fuzz_replies "$corpus/replies" "$corpus/replies-seeds" 8192
run fuzz_dialog "$corpus/dialog" "$root/tests/fuzz/dialog_seeds" 20000
run fuzz_metrics "$corpus/metrics" "$corpus/replies-seeds" 8192
# The families' replies are read whole, however long: a 4096-tone table is about 60 KB.
run fuzz_broadcom "$corpus/broadcom" "$root/tests/data/broadcom" 131072
run fuzz_draytek "$corpus/draytek" "$root/tests/data/draytek" 131072
run fuzz_telnet "$corpus/telnet" "$root/tests/data/broadcom" 4096
# The line log, a NUL byte, the tones log: small logs of a few tones, so that the fuzzer reaches
# retrains, count changes and the two-part reading in seconds.
run fuzz_line_logs "$corpus/line-logs" "$root/tests/fuzz/line_log_seeds" 16384
