#!/usr/bin/env bash
# The running program's figures: start-up time to the window shown, resident size and the main
# thread's wake-ups while idle on the offscreen platform; then the resident size while collecting
# from the simulated router, driven through its window on a virtual X display (the offscreen
# platform takes no input from outside the program), inside a network namespace whose only
# interface is loopback, so no address but 127.0.0.1 can ever be reached.
#
# Usage: program_figures.sh KELVASTATS ROUTER_SIM [COLLECTION_SECONDS]
# Prints "figure: value" lines; exit status 1 when a limit is not held.
set -euo pipefail

kelvastats=$(realpath "$1")
router_sim=$(realpath "$2")
collect_s=${3:-30}
startup_runs=5
startup_limit_ms=500
rss_limit_kib=$((40 * 1024))
wait_limit_s=30

if [ -z "${KELVA_FIGURES_IN_NAMESPACE:-}" ]; then
  if unshare --map-root-user --net true 2>/dev/null; then
    export KELVA_FIGURES_IN_NAMESPACE=1
    exec unshare --map-root-user --net "$0" "$@"
  fi
  echo "note: no private network namespace here; the collecting figures are skipped"
  export KELVA_FIGURES_IN_NAMESPACE=none
fi
[ "$KELVA_FIGURES_IN_NAMESPACE" = 1 ] && ip link set lo up

# shellcheck source-path=SCRIPTDIR source=../harness/drive_window.sh
source "$(dirname "$0")/../harness/drive_window.sh"
# shellcheck source-path=SCRIPTDIR source=process_figures.sh
source "$(dirname "$0")/process_figures.sh"

# Context switches of a thread so far, voluntary and not.
switches() { awk '/ctxt_switches/ { total += $2 } END { print total }' "/proc/$1/task/$2/status"; }

# The main thread waits in poll() with a timeout other than 0 once start-up has built and shown
# the window and the event loop has handled what showing it queued: the program is up.
waiting_for_events() {
  local call
  read -r -a call <"/proc/$1/syscall" 2>/dev/null || return 1
  [ "${call[0]}" = 7 ] && [ "${call[3]}" != 0x0 ]
}

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR" "$work/offscreen"

startup_ms=()
for run in $(seq "$startup_runs"); do
  start=$EPOCHREALTIME
  (cd "$work/offscreen" && exec "$kelvastats") >"$work/offscreen.log" 2>&1 &
  app=$!
  pids+=("$app")
  until waiting_for_events "$app"; do
    kill -0 "$app" 2>/dev/null || { cat "$work/offscreen.log"; exit 1; }
  done
  startup_ms+=("$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", (b - a) * 1000 }')")
  if [ "$run" -lt "$startup_runs" ]; then
    kill "$app"
    wait "$app" 2>/dev/null || true
  fi
done
median_ms=$(printf '%s\n' "${startup_ms[@]}" | sort -n | sed -n "$(((startup_runs + 1) / 2))p")
echo "start-up to window shown (offscreen, median of $startup_runs): $median_ms ms (runs: ${startup_ms[*]})"
awk -v ms="$median_ms" -v limit="$startup_limit_ms" 'BEGIN { exit !(ms < limit) }' ||
  fail "start-up over $startup_limit_ms ms"

sleep 0.5
before=$(switches "$app" "$app")
sleep 1
idle_switches=$(($(switches "$app" "$app") - before))
echo "main thread wake-ups in 1 s idle (offscreen): $idle_switches"
[ "$idle_switches" -eq 0 ] || fail "the idle main thread woke $idle_switches times"
echo "resident size idle (offscreen): $(rss_kib "$app") KiB"
kill "$app"
wait "$app" 2>/dev/null || true

[ "$KELVA_FIGURES_IN_NAMESPACE" = 1 ] || exit $((1 - held))
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "note: $tool missing; the collecting figures are skipped"; exit $((1 - held)); }
done

start_xvfb || { echo "Xvfb did not start"; exit 1; }
start_router_sim "$router_sim" || { cat "$work/router.log"; exit 1; }
start_program "$kelvastats"
run_against_router_sim

collections() { grep -c '^[0-9][0-9]/' "$work/run/kelvabins.csv" 2>/dev/null || echo 0; }
first_collection() { [ "$(collections)" -ge 1 ]; }
poll_until first_collection || { echo "no collection: $(cat "$work/kelvastats.log")"; exit 1; }
rss_first=$(rss_kib "$app")
sleep "$collect_s"
rss_last=$(rss_kib "$app")
echo "resident size collecting (xcb under Xvfb): $rss_first KiB after the first collection," \
  "$rss_last KiB after $(collections), peak $(hwm_kib "$app") KiB"
[ "$(hwm_kib "$app")" -lt "$rss_limit_kib" ] || fail "resident size over 40 MiB"
click_quit
poll_until bash -c "! kill -0 $app 2>/dev/null" || fail "kelvastats still running after Quit"
exit $((1 - held))
