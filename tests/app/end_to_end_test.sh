#!/usr/bin/env bash
# End-to-end test of the real program: on a virtual X display, a person's clicks and keystrokes
# (xdotool) point kelvastats at the simulated router, start it, let it collect twice and quit it;
# then the exit status, the time Quit took and both logs are checked; a Windows build is then
# started again and ended with its close box, and, given the helper, started a third time to
# collect once while its statistics log is held and ended by the end of the desktop session,
# after which the line that had to wait must stand in the log; a Linux build is started again to
# collect once while its statistics log is read-only and ended by a logout's SIGTERM, with the
# same check. Everything runs in a network namespace of its own whose only interface is loopback,
# so nothing can ever leave it, and a mount namespace of its own. Windows
# builds (.exe) run under Wine in a prefix of the test's own, whose screen has 96 DPI or the DPI
# that --dpi gives.
#
# Usage: end_to_end_test.sh [--dpi DPI] [--end-session HELPER.exe] KELVASTATS ROUTER_SIM [SCREENSHOT.png]
# Exit status 77 (skipped) when Xvfb, xdotool, Wine (for an .exe) or a private network namespace
# is not available.
set -euo pipefail

dpi=96
end_session_helper=
while [ $# -gt 0 ]; do
  case "$1" in
    --dpi) dpi=$2 && shift 2 ;;
    --end-session) end_session_helper=$(realpath "$2") && shift 2 ;;
    *) break ;;
  esac
done
kelvastats=$(realpath "$1")
router_sim=$(realpath "$2")
screenshot=${3:+$(realpath -m "$3")}
skip=77
wait_limit_s=30
end_limit_ms=500  # Quit and the close box end the program within this
expected_logs="$(dirname "$(realpath "$0")")/../data"
windows_build=
case "$kelvastats" in *.exe) windows_build=1 ;; esac

if [ -z "${KELVA_E2E_IN_NAMESPACE:-}" ]; then
  for tool in Xvfb xdotool unshare ip ${windows_build:+wine wineserver}; do
    if ! command -v "$tool" >/dev/null; then
      echo "SKIP: $tool is not installed (scripts/install-deps.sh installs what the test needs)"
      exit $skip
    fi
  done
  if ! unshare --map-root-user --net --mount true 2>/dev/null; then
    echo "SKIP: cannot make a loopback-only network namespace (unprivileged user namespaces are off)"
    exit $skip
  fi
  export KELVA_E2E_IN_NAMESPACE=1
  exec unshare --map-root-user --net --mount "$0" --dpi "$dpi" ${end_session_helper:+--end-session "$end_session_helper"} "$@"
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

# Runs the click ($@) that ends the program and checks it ends, with status 0, within end_limit_ms.
ends_promptly_after() {
  local watchdog status=0 start_ns elapsed_ms
  start_ns=$(date +%s%N)
  "$@"
  (sleep "$wait_limit_s" && kill "$app" 2>/dev/null) &
  watchdog=$!
  wait "$app" || status=$?
  elapsed_ms=$((($(date +%s%N) - start_ns) / 1000000))
  kill "$watchdog" 2>/dev/null || true
  [ "$status" -eq 0 ] || fail "kelvastats ended with status $status after $1: $(cat "$work/kelvastats.log")"
  [ "$elapsed_ms" -le "$end_limit_ms" ] || fail "kelvastats took $elapsed_ms ms to end after $1"
  echo "$1: ended in $elapsed_ms ms"
}

# The logs with each collection's date and time masked, the first two collections only: those
# are the same whenever and on whichever platform the test runs.
first_two_collections() {
  awk -v keep="$2" 'NR <= keep' "$1" | sed 's#^[0-9][0-9]/[0-9][0-9]/[0-9][0-9],[0-9][0-9]:[0-9][0-9],#DATE,TIME,#'
}

start_xvfb || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
if [ -n "$windows_build" ]; then
  # Wine's address boxes are two digits wide, so "127" cannot be typed: the router listens on a
  # second loopback address of this namespace, with no box of three digits.
  ip addr add 10.1.1.1/32 dev lo
  router_address=10.1.1.1
  runner=(wine)
  window_dpi=$dpi
  start_wine || fail "no Wine prefix: $(cat "$work/wine.log")"
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >>"$work/wine.log" 2>&1
fi
# Wine draws the frame inside the window's X window: the client area (200 by 233 at 96 DPI, in
# scale at others) sits after the border and the caption, and the close box near the right end
# of the caption.
find_client_area() {
  eval "$(xdotool getwindowgeometry --shell "$window")"
  client_dx=$(((WIDTH - (200 * window_dpi + 48) / 96) / 2))
  client_dy=$((HEIGHT - (233 * window_dpi + 48) / 96 - client_dx))
  close_box_x=$((WIDTH - 15 * window_dpi / 96))
  close_box_y=$((12 * window_dpi / 96))
}
start_router_sim "$router_sim" || fail "router: $(cat "$work/router.log")"
start_program "$kelvastats" || fail "no window: $(cat "$work/kelvastats.log")"
[ -z "$windows_build" ] || find_client_area
run_against_router_sim

poll_until two_collections_logged || fail "no two collections logged: $(cat "$work/router.log" "$work/kelvastats.log")"
if [ -n "$screenshot" ]; then
  import -window "$window" "$screenshot"
fi
ends_promptly_after click_quit

# Both logs: whole lines only, a collection line as wide as the next.
for log in kelvastats.csv kelvabins.csv; do
  file="$work/run/$log"
  [ "$(tail -c 2 "$file" | od -An -c | tr -d ' ')" = '\r\n' ] || fail "$log does not end with a whole line"
  widths=$(grep '^[0-9][0-9]/' "$file" | awk -F, '{ print NF }' | sort -u | wc -l)
  [ "$widths" -eq 1 ] || fail "$log has collection lines of different widths"
done
bins_width=$(grep '^[0-9][0-9]/' "$work/run/kelvabins.csv" | head -n1 | awk -F, '{ print NF }')
[ "$bins_width" -eq 235 ] || fail "kelvabins.csv lines have $bins_width fields, not date, time, 232 bins and total"
# Byte for byte what the program writes on every platform (header lines included).
first_two_collections "$work/run/kelvastats.csv" 3 | cmp -s - "$expected_logs/end_to_end_stats.csv" ||
  fail "kelvastats.csv differs from tests/data/end_to_end_stats.csv"
first_two_collections "$work/run/kelvabins.csv" 4 | cmp -s - "$expected_logs/end_to_end_bins.csv" ||
  fail "kelvabins.csv differs from tests/data/end_to_end_bins.csv"
collections=$(data_lines "$work/run/kelvastats.csv")

window_gone() { ! xdotool search --name '^KelvaStats 4\.4$' >/dev/null 2>&1; }
if [ -n "$windows_build" ]; then
  # The close box, which Wine draws at the right of the caption, ends the program like Quit.
  # (Xvfb has no window manager to give the Linux build's window a close box.)
  click_close_box() { xdotool mousemove --window "$window" "$close_box_x" "$close_box_y" click 1; }
  poll_until window_gone || fail "the first run's window is still on the display"
  start_program "$kelvastats" || fail "no window the second time: $(cat "$work/kelvastats.log")"
  ends_promptly_after click_close_box
fi

if [ -n "$windows_build" ] && [ -n "$end_session_helper" ]; then
  # Logoff with a line waiting: the helper holds kelvastats.csv for reading only while the program
  # collects once (the interval left at a minute, so no second collection writes it in passing),
  # then lets it go and ends the session; the program must end as Quit does and write the line.
  mkfifo "$work/go"
  (cd "$work/run" && exec wine "$end_session_helper" kelvastats.csv 'KelvaStats 4.4') \
    <"$work/go" >"$work/helper.log" 2>&1 &
  pids+=("$!")
  exec 4>"$work/go"
  poll_until grep -q '^held' "$work/helper.log" || fail "the helper holds no log: $(cat "$work/helper.log")"
  stats_before=$(data_lines "$work/run/kelvastats.csv")
  bins_before=$(data_lines "$work/run/kelvabins.csv")
  bins_logged() { [ "$(data_lines "$work/run/kelvabins.csv")" -gt "$bins_before" ]; }

  poll_until window_gone || fail "the second run's window is still on the display"
  start_program "$kelvastats" || fail "no window the third time: $(cat "$work/kelvastats.log")"
  run_against_router_sim 1
  poll_until bins_logged || fail "no collection while kelvastats.csv was held: $(cat "$work/kelvastats.log")"
  [ "$(data_lines "$work/run/kelvastats.csv")" -eq "$stats_before" ] || fail "kelvastats.csv was written while held"
  end_session() { echo go >&4; }
  ends_promptly_after end_session
  # The helper says "ended" once its messages returned, which may be just after the program ended.
  poll_until grep -q '^ended' "$work/helper.log" || fail "the session did not end: $(cat "$work/helper.log")"
  [ "$(tail -c 2 "$work/run/kelvastats.csv" | od -An -c | tr -d ' ')" = '\r\n' ] ||
    fail "kelvastats.csv does not end with a whole line after the session's end"
  [ "$(($(data_lines "$work/run/kelvastats.csv") - stats_before))" -eq "$(($(data_lines "$work/run/kelvabins.csv") - bins_before))" ] ||
    fail "the statistics line that waited for its log was lost at the session's end"
fi
if [ -z "$windows_build" ]; then
  # Logout with a line waiting: kelvastats.csv is made read-only (a read-only bind mount, which
  # stops root too) while the program collects once, the interval left at a minute; then it is
  # made writable and the program gets SIGTERM, as a desktop's logout sends. The program must end
  # as Quit does and write the line.
  stats_log="$work/run/kelvastats.csv"
  stats_before=$(data_lines "$stats_log")
  bins_before=$(data_lines "$work/run/kelvabins.csv")
  bins_logged() { [ "$(data_lines "$work/run/kelvabins.csv")" -gt "$bins_before" ]; }
  mount --bind -o ro "$stats_log" "$stats_log"
  poll_until window_gone || fail "the first run's window is still on the display"
  start_program "$kelvastats" || fail "no window the second time: $(cat "$work/kelvastats.log")"
  run_against_router_sim 1
  poll_until bins_logged || fail "no collection while kelvastats.csv was read-only: $(cat "$work/kelvastats.log")"
  umount "$stats_log"
  [ "$(data_lines "$stats_log")" -eq "$stats_before" ] || fail "kelvastats.csv was written while read-only"
  logout() { kill -TERM "$app"; }
  ends_promptly_after logout
  [ "$(tail -c 2 "$stats_log" | od -An -c | tr -d ' ')" = '\r\n' ] ||
    fail "kelvastats.csv does not end with a whole line after the logout"
  [ "$(($(data_lines "$stats_log") - stats_before))" -eq "$(($(data_lines "$work/run/kelvabins.csv") - bins_before))" ] ||
    fail "the statistics line that waited for its log was lost at the logout"
fi
echo "PASS: $collections collections logged, exit status 0"
