#!/usr/bin/env bash
# Runs a Windows window test program under Wine on a virtual X display of its own:
# wine_window_test.sh WINE_RUN PREFIX PROGRAM [ARGS...], WINE_RUN PREFIX being the emulator the
# build runs Windows programs with. Windows are first kept out of window management, which Xvfb
# does not offer: Wine would otherwise wait two seconds for a window manager whenever one goes.
# Exit status 77 (skipped) when Xvfb is not installed.
set -euo pipefail
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }

work=$(mktemp -d)
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
read -r display <"$work/display"  # Xvfb writes its number once it accepts clients
export DISPLAY=":$display"

"$1" "$2" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
"$@"
