# Sourced by the report's browser tests: render_page loads a report in headless Chromium.
# browser_or_skip sets $browser, or exits 77 (skipped) when Chromium is not installed.
browser_or_skip() {
  browser=$(command -v chromium || command -v chromium-browser || true)
  [ -n "$browser" ] || { echo "chromium is not installed: skipped"; exit 77; }
}

# render_page PAGE.html SCREENSHOT.png WIDTH,HEIGHT PROFILE_DIR: fails (exit 1) on any NUL or
# other control byte in the page, on Chromium failing, and on any error in the page's console.
render_page() {
  local page="$1" screenshot="$2" size="$3" profile="$4" log="$4.log" status=0
  if LC_ALL=C grep -q -P '[\x00-\x09\x0b-\x1f\x7f]' "$page"; then
    echo "FAIL: $page holds control bytes"
    exit 1
  fi
  # Only loopback is at hand and nothing is fetched: the report holds no external resource.
  timeout 60 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --enable-logging=stderr --v=0 \
    --screenshot="$screenshot" --window-size="$size" "file://$page" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    cat "$log"
    echo "FAIL: chromium exited with $status on $page"
    exit 1
  fi
  if grep -E 'CONSOLE|Uncaught|Failed to load resource|net::ERR_' "$log"; then
    echo "FAIL: $page logged errors"
    exit 1
  fi
}
