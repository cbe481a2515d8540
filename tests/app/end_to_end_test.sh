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
# shellcheck source-path=SCRIPTDIR source=../../harness/drive_window.sh
source "$(dirname "$0")/../../harness/drive_window.sh"

fail() {
  echo "FAIL: $*"
  exit 1
}

# Lines that begin with a date: the collections, not the header lines.
data_lines() {
  if [ -f "$1" ]; then grep -c '^[0-9][0-9]/[0-9][0-9]/[0-9][0-9],' "$1" || true; else echo 0; fi
}
two_collections_logged() {
  [ "$(data_lines "$work/run/kelvastats.csv")" -ge 2 ] && [ "$(data_lines "$work/run/kelvabins.csv")" -ge 2 ]
}

start_xvfb || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
start_router_sim "$router_sim" || fail "router: $(cat "$work/router.log")"
start_program "$kelvastats" || fail "no window: $(cat "$work/kelvastats.log")"
run_against_router_sim

poll_until two_collections_logged || fail "no two collections logged: $(cat "$work/router.log" "$work/kelvastats.log")"
if [ -n "$screenshot" ]; then
  import -window "$window" "$screenshot"
fi
click_quit

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
