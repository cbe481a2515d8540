#!/usr/bin/env bash
# Renders reports with headless Chromium, of the program's own logs and of logs with values no
# ordinary figure has: each must load with no errors in its console and hold no control byte, and
# the report of the own logs must give a screenshot that is not blank. Skips (77) only when Chromium is absent.
# Usage: report_browser_test.sh KELVASTATS_REPORT TEST_DATA_DIR
set -euo pipefail
report_program="$1"
data="$2"
browser=$(command -v chromium || command -v chromium-browser || true)
[ -n "$browser" ] || { echo "chromium is not installed: skipped"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Loads DIR/kelvastats-report.html in Chromium, screenshot to DIR/report.png; fails on any error
# in the page's console and on any NUL or other control byte in its text.
render() {
  local dir="$1" status=0
  if LC_ALL=C grep -q -P '[\x00-\x09\x0b-\x1f\x7f]' "$dir/kelvastats-report.html"; then
    echo "FAIL: the report in $dir holds control bytes"
    exit 1
  fi
  # Only loopback is at hand and nothing is fetched: the report holds no external resource.
  timeout 60 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile" --enable-logging=stderr --v=0 \
    --screenshot="$dir/report.png" --window-size=1200,3000 \
    "file://$dir/kelvastats-report.html" >"$dir/browser.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    cat "$dir/browser.log"
    echo "FAIL: chromium exited with $status"
    exit 1
  fi
  if grep -E 'CONSOLE|Uncaught|Failed to load resource|net::ERR_' "$dir/browser.log"; then
    echo "FAIL: the page in $dir logged errors"
    exit 1
  fi
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
