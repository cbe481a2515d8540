# shellcheck shell=bash
# Drives the real program through its window on a virtual X display, as a person would: for the
# end-to-end test and the program figures. Sourced by a script running with `set -euo pipefail`
# that sets wait_limit_s; every file goes to $work, every process started is ended on exit.
# Functions return non-zero on failure and leave the message to the caller.

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  if [ -n "$wine_started" ]; then wineserver -k 2>/dev/null || true; fi
  rm -rf "$work"
}

# Set by the caller for a Windows build: runner=(wine), and the address the simulated router
# listens on. client_dx, client_dy: where the window's client area starts in its X window;
# window_dpi: the DPI the window is laid out for (its 96 DPI layout is scaled to it).
runner=()
router_address=127.0.0.1
client_dx=0
client_dy=0
window_dpi=96
wine_started=
trap cleanup EXIT

# Runs the command until it succeeds, for at most wait_limit_s seconds.
poll_until() {
  local deadline=$((SECONDS + wait_limit_s))
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

# The virtual display; Xvfb picks a free number and tells it once it accepts clients
# (log: $work/xvfb.log).
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  pids+=("$!")
  poll_until test -s "$work/display" || return 1
  DISPLAY=":$(head -n1 "$work/display")"
  export DISPLAY QT_QPA_PLATFORM=xcb
}

# The simulated router ($1) on a free port of router_address, which goes to router_port
# (log: $work/router.log); the arguments after it are its own.
start_router_sim() {
  "${runner[@]}" "$1" --address "$router_address" --port 0 --quiet "${@:2}" >"$work/router.log" 2>&1 &
  pids+=("$!")
  poll_until grep -qF "listening on $router_address:" "$work/router.log" || return 1
  router_port=$(sed -n "s/.*listening on ${router_address//./\\.}:\([0-9]*\).*/\1/p" "$work/router.log")
}

# kelvastats ($1) in $work/run, where its logs go; its process id goes to app, its window to window
# (log: $work/kelvastats.log).
start_program() {
  mkdir -p "$work/run"
  (cd "$work/run" && exec "${runner[@]}" "$1") >"$work/kelvastats.log" 2>&1 &
  app=$!
  pids+=("$app")
  window=$(timeout "$wait_limit_s" xdotool search --sync --name '^KelvaStats 4\.4$' | head -n1)
}

# Clicks at client coordinates of the window's 96 DPI layout, as the user would.
click_at() {
  xdotool mousemove --window "$window" $((($1 * window_dpi + 48) / 96 + client_dx)) \
    $((($2 * window_dpi + 48) / 96 + client_dy)) click 1
}
type_text() { xdotool type --delay 30 "$1"; }
# Empties the field that has the focus, as far as five characters go.
clear_field() { xdotool key End BackSpace BackSpace BackSpace BackSpace BackSpace; }

# A Wine prefix of the test's own, with a wineserver started in the caller's network namespace
# (Winsock's sockets are made by the wineserver). Windows there are not left to a window manager,
# since Xvfb has none to answer them.
start_wine() {
  export WINEPREFIX="$work/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  wine_started=1
  wineserver -p </dev/null >/dev/null 2>&1
  wine wineboot </dev/null >"$work/wine.log" 2>&1 || return 1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$work/wine.log" 2>&1
}

# Points the program at the simulated router, with an interval of $1 minutes (0, no pause between
# collections, when not given), and clicks Run.
run_against_router_sim() {
  click_at 32 40 && type_text "$router_address"                # the address field's first box
  click_at 155 40 && clear_field && type_text "$router_port"
  click_at 95 90 && type_text "secret"                         # password
  click_at 30 140 && clear_field && type_text "${1:-0}"        # interval
  click_at 50 175                                              # Run
}

click_quit() { click_at 140 175; }
