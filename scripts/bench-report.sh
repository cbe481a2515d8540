#!/usr/bin/env bash
# The report's benchmark: generates a year of logs at one collection a minute through the
# program's own log steps (in a temporary directory), then times kelvastats-report on them
# against `wc -l` on the same two files, in the same run with a warm cache, and prints the ratio,
# the throughput, the peak resident size and the report's size against their limits, with the
# load average before and after (the machine may be shared).
#   scripts/bench-report.sh [DAYS]     (default 365)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
days="${1:-365}"
"$root/scripts/install-deps.sh"
cmake --preset release -S "$root" >/dev/null
cmake --build "$root/build/release" --target kelvastats-report kelvastats-generate-logs >/dev/null
build="$root/build/release"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
logs=("$work/kelvastats.csv" "$work/kelvabins.csv")

echo "== Generating $days days of logs"
"$build/bench/kelvastats-generate-logs" "$work" --days "$days"
bytes=$(cat "${logs[@]}" | wc -c)
wc -l "${logs[@]}" | sed 's/^/  /'
cat "${logs[@]}" >/dev/null  # warm the cache

# The best of five runs, in seconds.
best_of_five() {
  local best="" start end elapsed
  for _ in 1 2 3 4 5; do
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    elapsed=$(( end - start ))
    if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then best=$elapsed; fi
  done
  awk -v ns="$best" 'BEGIN { printf "%.3f", ns / 1e9 }'
}

echo "== Timing (best of five, warm cache; load average before: $(cut -d' ' -f1-3 /proc/loadavg))"
wc_seconds=$(best_of_five wc -l "${logs[@]}")
report_seconds=$(best_of_five "$build/report/kelvastats-report" --output "$work/report.html" "$work")
/usr/bin/time -v "$build/report/kelvastats-report" --output "$work/report.html" "$work" \
  >"$work/figures.txt" 2>"$work/time.txt"
peak_kib=$(awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' "$work/time.txt")
report_bytes=$(stat -c %s "$work/report.html")

status=0
awk -v wc="$wc_seconds" -v report="$report_seconds" -v bytes="$bytes" -v peak="$peak_kib" \
    -v size="$report_bytes" '
  BEGIN {
    ratio = report / wc
    printf "logs: %.1f MB\n", bytes / 1e6
    printf "wc -l: %.3f s (%.0f MB/s)\n", wc, bytes / 1e6 / wc
    printf "kelvastats-report: %.3f s (%.0f MB/s)\n", report, bytes / 1e6 / report
    printf "ratio: %.1fx wc -l (limit 8x, aim 4x)\n", ratio
    printf "peak resident: %.1f MiB (limit 64 MiB)\n", peak / 1024
    printf "report: %.0f KiB (limit 2048 KiB)\n", size / 1024
    exit (ratio > 8 || peak >= 64 * 1024 || size >= 2 * 1024 * 1024) ? 1 : 0
  }' || status=1
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== Key figures"
cat "$work/figures.txt"
[ "$status" -eq 0 ] || echo "A LIMIT WAS MISSED"
exit $status
