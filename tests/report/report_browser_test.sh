#!/usr/bin/env bash
# Renders reports with headless Chromium, of the program's own logs and of logs with values no
# ordinary figure has: each must load with no errors in its console and hold no control byte, and
# the report of the own logs must give a screenshot that is not blank. Skips (77) only when Chromium is absent.
# Usage: report_browser_test.sh KELVASTATS_REPORT TEST_DATA_DIR
set -euo pipefail
report_program="$1"
data="$2"
source "$(dirname "${BASH_SOURCE[0]}")/chromium_page.sh"
browser_or_skip

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Loads DIR/kelvastats-report.html in Chromium, screenshot to DIR/report.png.
render() {
  render_page "$1/kelvastats-report.html" "$1/report.png" 1200,3000 "$work/profile"
}

# Values a router may send that are no ordinary figures: wide, 70 digits, negative, long
# decimals, no digits at all, and a counter change of 19 digits.
mkdir "$work/odd"
huge=$(printf '9%.0s' $(seq 70))
{
  printf 'Date, Time,FCDeltaFEC,FCDeltaCRC,FCDeltaHEC,FCDeltaNCD,FCDeltaOCD,,Wide,Huge,Signed,Long,None,\r\n'
  for minute in 00 01 02 09; do
    printf '01/03/26,10:%s,0,999999999999999999,0,0,0,,81234567,%s,-1234567890123,0.000000123456789,abc,\r\n' \
      "$minute" "$huge"
  done
} >"$work/odd/kelvastats.csv"
"$report_program" "$work/odd" >/dev/null
render "$work/odd"

mkdir "$work/own"
cp "$data/stats_pending_in_order.csv" "$work/own/kelvastats.csv"
cp "$data/bins_new.csv" "$work/own/kelvabins.csv"
"$report_program" "$work/own" >/dev/null
render "$work/own"
[ -s "$work/own/report.png" ] || { echo "FAIL: no screenshot"; exit 1; }
if command -v identify >/dev/null; then
  colours=$(identify -format %k "$work/own/report.png")
  [ "$colours" -gt 16 ] || { echo "FAIL: the screenshot has only $colours colours"; exit 1; }
  echo "screenshot with $colours colours"
else
  # A blank 1200x3000 PNG compresses to a few kilobytes; the charts take far more.
  size=$(stat -c %s "$work/own/report.png")
  [ "$size" -gt 40000 ] || { echo "FAIL: the screenshot is $size bytes, as if blank"; exit 1; }
fi
