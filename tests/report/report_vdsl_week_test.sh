#!/usr/bin/env bash
# The report of a generated week of a VDSL2 17a line's new logs (bitswap, retrains, bursts of
# errors, gaps, the day the clocks go back): its key figures must be what the generator put in,
# and the page must load in headless Chromium with no console error and give a screenshot that
# is not blank. The browser part skips (77) only when Chromium is absent.
# Usage: report_vdsl_week_test.sh KELVASTATS_REPORT KELVASTATS_GENERATE_LOGS [SCREENSHOT.png]
set -euo pipefail
report_program="$1"
generator="$2"
keep_screenshot="${3:-}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$generator" "$work" --start 2026-10-22 --days 7 --router broadcom --truth "$work/truth.txt" \
  >/dev/null
"$report_program" "$work" >"$work/figures.txt"

status=0
while IFS= read -r line; do
  if ! grep -qxF -- "$line" "$work/figures.txt"; then
    echo "FAIL: the generator put in \"$line\"; the report says:"
    grep -F -- "${line%%:*}:" "$work/figures.txt" || echo "(no such line)"
    status=1
  fi
done <"$work/truth.txt"
# What the week holds beyond the generator's own figures: the clock change is no gap.
grep -q '^retrains: [1-9]' "$work/figures.txt" || { echo "FAIL: no retrain in a week"; status=1; }
grep -q '^gaps: [1-9]' "$work/figures.txt" || { echo "FAIL: no gap in a week"; status=1; }
grep -q '^tones: 4096$' "$work/figures.txt" || { echo "FAIL: not 4096 tones"; status=1; }
if grep -q 'went backwards' "$work/kelvastats-report.html"; then
  echo "FAIL: the clocks going back are shown as a time going backwards"
  status=1
fi
size=$(stat -c %s "$work/kelvastats-report.html")
[ "$size" -lt $((2 * 1024 * 1024)) ] || { echo "FAIL: the page is $size bytes"; status=1; }
if [ "$status" -ne 0 ]; then
  echo "== key figures"; cat "$work/figures.txt"; echo "== truth"; cat "$work/truth.txt"
  exit 1
fi
echo "key figures match what the generator put in ($(wc -l <"$work/truth.txt") lines)"

source "$(dirname "${BASH_SOURCE[0]}")/chromium_page.sh"
browser_or_skip
render_page "$work/kelvastats-report.html" "$work/report.png" 1000,4200 "$work/profile"
colours=$(identify -format %k "$work/report.png")
[ "$colours" -gt 16 ] || { echo "FAIL: the screenshot has only $colours colours"; exit 1; }
echo "screenshot with $colours colours"
if [ -n "$keep_screenshot" ]; then cp "$work/report.png" "$keep_screenshot"; fi
