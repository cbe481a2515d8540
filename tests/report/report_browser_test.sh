#!/usr/bin/env bash
# Renders a report of the program's own logs with headless Chromium: it must load with no errors
# in its console and give a screenshot that is not blank. Skips (77) only when Chromium is absent.
# Usage: report_browser_test.sh KELVASTATS_REPORT TEST_DATA_DIR
set -euo pipefail
report_program="$1"
data="$2"
browser=$(command -v chromium || command -v chromium-browser || true)
[ -n "$browser" ] || { echo "chromium is not installed: skipped"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$data/stats_pending_in_order.csv" "$work/kelvastats.csv"
cp "$data/bins_new.csv" "$work/kelvabins.csv"
"$report_program" "$work" >/dev/null

# Only loopback is at hand and nothing is fetched: the report holds no external resource.
status=0
timeout 60 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$work/profile" --enable-logging=stderr --v=0 \
  --screenshot="$work/report.png" --window-size=1200,3000 \
  "file://$work/kelvastats-report.html" >"$work/browser.log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  cat "$work/browser.log"
  echo "FAIL: chromium exited with $status"
  exit 1
fi
if grep -E 'CONSOLE|Uncaught|Failed to load resource|net::ERR_' "$work/browser.log"; then
  echo "FAIL: the page logged errors"
  exit 1
fi
[ -s "$work/report.png" ] || { echo "FAIL: no screenshot"; exit 1; }
if command -v identify >/dev/null; then
  colours=$(identify -format %k "$work/report.png")
  [ "$colours" -gt 16 ] || { echo "FAIL: the screenshot has only $colours colours"; exit 1; }
  echo "screenshot with $colours colours"
else
  # A blank 1200x3000 PNG compresses to a few kilobytes; the charts take far more.
  size=$(stat -c %s "$work/report.png")
  [ "$size" -gt 40000 ] || { echo "FAIL: the screenshot is $size bytes, as if blank"; exit 1; }
fi
