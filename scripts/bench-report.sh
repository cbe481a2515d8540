#!/usr/bin/env bash
# The report's benchmark: generates a year of logs at one collection a minute through the
# program's own log steps (in a temporary directory), then times kelvastats-report on them
# against `wc -l` on the same two files, in the same run with a warm cache, and prints the ratio,
# the same run on one processor (taskset -c 0) and its ratio, the throughput, the processor time,
# the peak resident size and the report's size against their limits, with the load average
# before and after (the machine may be shared).
#   scripts/bench-report.sh [--router broadcom] [DAYS]     (default 365)
# Without --router: the classic logs kelvastats.csv and kelvabins.csv, at most 4x wc -l. With
# --router broadcom: the logs of that family, kelvaline.csv and kelvatones.csv, at most 3x.
# KELVA_BENCH_BUILD=DIR builds the release preset there instead of in build/release.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
router=""
days=365
while [ $# -gt 0 ]; do
  case "$1" in
    --router)
      [ $# -ge 2 ] || { echo "--router needs a family (broadcom)" >&2; exit 2; }
      router="$2"
      shift 2
      ;;
    --router=*) router="${1#--router=}"; shift ;;
    -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) days="$1"; shift ;;
  esac
done
case "$router" in
  "") ratio_limit=4 ;;
  broadcom) ratio_limit=3 ;;
  *) echo "unknown router family for the benchmark: $router (broadcom)" >&2; exit 2 ;;
esac
"$root/scripts/install-deps.sh"
build="${KELVA_BENCH_BUILD:-$root/build/release}"
cmake --preset release -S "$root" -B "$build" >/dev/null
cmake --build "$build" --target kelvastats-report kelvastats-generate-logs >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -z "$router" ]; then
  logs=("$work/kelvastats.csv" "$work/kelvabins.csv")
  echo "== Generating $days days of logs"
  "$build/bench/kelvastats-generate-logs" "$work" --days "$days"
else
  logs=("$work/kelvaline.csv" "$work/kelvatones.csv")
  echo "== Generating $days days of $router logs"
  "$build/bench/kelvastats-generate-logs" "$work" --days "$days" --router "$router"
fi
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

report=("$build/report/kelvastats-report" --output "$work/report.html" "$work")
echo "== Timing (best of five, warm cache; load average before: $(cut -d' ' -f1-3 /proc/loadavg))"
wc_seconds=$(best_of_five wc -l "${logs[@]}")
report_seconds=$(best_of_five "${report[@]}")
one_core_seconds=$(best_of_five taskset -c 0 "${report[@]}")
/usr/bin/time -v "${report[@]}" >"$work/figures.txt" 2>"$work/time.txt"
peak_kib=$(awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' "$work/time.txt")
processor=$(awk -F: '/User time|System time/ { gsub(/ /, "", $2); sum += $2 } END { print sum }' \
  "$work/time.txt")
report_bytes=$(stat -c %s "$work/report.html")

status=0
awk -v wc="$wc_seconds" -v report="$report_seconds" -v one="$one_core_seconds" \
    -v processor="$processor" -v bytes="$bytes" -v peak="$peak_kib" -v size="$report_bytes" \
    -v limit="$ratio_limit" '
  BEGIN {
    ratio = report / wc
    printf "logs: %.1f MB\n", bytes / 1e6
    printf "wc -l: %.3f s (%.0f MB/s)\n", wc, bytes / 1e6 / wc
    printf "kelvastats-report: %.3f s (%.0f MB/s), %.2f s of processor time\n", report,
      bytes / 1e6 / report, processor
    printf "ratio: %.1fx wc -l (limit %dx)\n", ratio, limit
    printf "on one processor (taskset -c 0): %.3f s, %.1fx wc -l\n", one, one / wc
    printf "peak resident: %.1f MiB (limit 64 MiB)\n", peak / 1024
    printf "report: %.0f KiB (limit 2048 KiB)\n", size / 1024
    exit (ratio > limit || peak >= 64 * 1024 || size >= 2 * 1024 * 1024) ? 1 : 0
  }' || status=1
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== Key figures"
cat "$work/figures.txt"
[ "$status" -eq 0 ] || echo "A LIMIT WAS MISSED"
exit $status
