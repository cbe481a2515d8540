#!/usr/bin/env bash
# End-to-end test of the real program: on a virtual X display, a person's clicks and keystrokes
# (xdotool) point kelvastats at the simulated router, start it, let it collect twice and quit it;
# then the exit status and both logs are checked. Everything runs in a network namespace of its
# own whose only interface is loopback, so no address but 127.0.0.1 can ever be reached.
#
# Usage: end_to_end_test.sh KELVASTATS ROUTER_SIM [SCREENSHOT.png]
# Exit status 77 (skipped) when Xvfb, xdotool or a private network namespace is not available.
set -euo pipefail

kelvastats=$(realpath "$1")
router_sim=$(realpath "$2")
screenshot=${3:+$(realpath -m "$3")}
skip=77
wait_limit_s=30

if [ -z "${KELVA_E2E_IN_NAMESPACE:-}" ]; then
  for tool in Xvfb xdotool unshare ip; do
    if ! command -v "$tool" >/dev/null; then
      echo "SKIP: $tool is not installed (scripts/install-deps.sh installs what the test needs)"
      exit $skip
    fi
  done
  if ! unshare --map-root-user --net true 2>/dev/null; then
    echo "SKIP: cannot make a loopback-only network namespace (unprivileged user namespaces are off)"
    exit $skip
  fi
  export KELVA_E2E_IN_NAMESPACE=1
  exec unshare --map-root-user --net "$0" "$@"
fi

ip link set lo up
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  exit 1
}

# Runs the command until it succeeds, for at most wait_limit_s seconds.
poll_until() {
  local deadline=$((SECONDS + wait_limit_s))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

file_has_content() { [ -s "$1" ]; }

# Lines that begin with a date: the collections, not the header lines.
data_lines() {
  if [ -f "$1" ]; then grep -c '^[0-9][0-9]/[0-9][0-9]/[0-9][0-9],' "$1" || true; else echo 0; fi
}
two_collections_logged() {
  [ "$(data_lines "$work/run/kelvastats.csv")" -ge 2 ] && [ "$(data_lines "$work/run/kelvabins.csv")" -ge 2 ]
}

# The virtual display; Xvfb picks a free number and tells it once it accepts clients.
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
poll_until file_has_content "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"
export QT_QPA_PLATFORM=xcb

# The simulated router on a free loopback port.
"$router_sim" --address 127.0.0.1 --port 0 --quiet >"$work/router.log" 2>&1 &
pids+=($!)
poll_until grep -q 'listening on 127.0.0.1:' "$work/router.log" || fail "router: $(cat "$work/router.log")"
port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/router.log")

mkdir "$work/run"
(cd "$work/run" && exec "$kelvastats") >"$work/kelvastats.log" 2>&1 &
app=$!
pids+=($app)
window=$(timeout $wait_limit_s xdotool search --sync --name '^KelvaStats 4\.4$' | head -n1) ||
  fail "no window: $(cat "$work/kelvastats.log")"

# Clicks at client coordinates of the window, as the user would.
click_at() { xdotool mousemove --window "$window" "$1" "$2" click 1; }
type_text() { xdotool type --delay 30 "$1"; }

click_at 32 40 && type_text "127.0.0.1"          # the address field's first box
click_at 155 40 && xdotool key ctrl+a && type_text "$port"
click_at 95 90 && type_text "secret"             # password
click_at 30 140 && xdotool key ctrl+a && type_text "0"   # interval: no pause between collections
click_at 50 175                                  # Run

poll_until two_collections_logged || fail "no two collections logged: $(cat "$work/router.log" "$work/kelvastats.log")"
if [ -n "$screenshot" ]; then
  import -window "$window" "$screenshot"
fi
click_at 140 175                                 # Quit

app_gone() { ! kill -0 "$app" 2>/dev/null; }
poll_until app_gone || fail "kelvastats still running after Quit"
status=0
wait "$app" || status=$?
[ "$status" -eq 0 ] || fail "kelvastats ended with status $status: $(cat "$work/kelvastats.log")"

# Both logs: whole lines only, a collection line as wide as the next.
for log in kelvastats.csv kelvabins.csv; do
  file="$work/run/$log"
  [ "$(tail -c 2 "$file" | od -An -c | tr -d ' ')" = '\r\n' ] || fail "$log does not end with a whole line"
  widths=$(grep '^[0-9][0-9]/' "$file" | awk -F, '{ print NF }' | sort -u | wc -l)
  [ "$widths" -eq 1 ] || fail "$log has collection lines of different widths"
done
bins_width=$(grep '^[0-9][0-9]/' "$work/run/kelvabins.csv" | head -n1 | awk -F, '{ print NF }')
[ "$bins_width" -eq 235 ] || fail "kelvabins.csv lines have $bins_width fields, not date, time, 232 bins and total"
echo "PASS: $(data_lines "$work/run/kelvastats.csv") collections logged, exit status 0"
