#!/usr/bin/env bash
# Start-up of the Windows build under Wine: the time from starting kelvastats.exe to its window
# shown on a virtual X display, with the prefix booted and its wineserver already running, as on
# a desktop where Wine is in use. No collection runs, so no network is needed.
#
# Usage: windows_startup.sh KELVASTATS_EXE [RUNS]
# Prints "figure: value" lines.
set -euo pipefail

kelvastats=$(realpath "$1")
runs=${2:-5}
wait_limit_s=30

# shellcheck source-path=SCRIPTDIR source=../harness/drive_window.sh
source "$(dirname "$0")/../harness/drive_window.sh"

start_xvfb || { echo "Xvfb did not start"; exit 1; }
start_wine || { cat "$work/wine.log"; exit 1; }
window_shown() { xdotool search --onlyvisible --name '^KelvaStats 4\.4$' >/dev/null 2>&1; }
window_gone() { ! window_shown; }

startup_ms=()
for _ in $(seq "$runs"); do
  start=$EPOCHREALTIME
  (cd "$work" && exec wine "$kelvastats") >"$work/kelvastats.log" 2>&1 &
  app=$!
  pids+=("$app")
  until window_shown; do
    kill -0 "$app" 2>/dev/null || { cat "$work/kelvastats.log"; exit 1; }
  done
  startup_ms+=("$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.0f", (b - a) * 1000 }')")
  kill "$app"
  wait "$app" 2>/dev/null || true
  poll_until window_gone
done
median_ms=$(printf '%s\n' "${startup_ms[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
echo "start-up to window shown (Wine on Xvfb, median of $runs): $median_ms ms (runs: ${startup_ms[*]})"
echo "kelvastats.exe: $(stat -c %s "$kelvastats") bytes"
