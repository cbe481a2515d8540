#!/usr/bin/env bash
# Runs a Windows window test program under Wine on a virtual X display of its own:
# wine_window_test.sh [--dpi DPI] WINE_RUN PREFIX PROGRAM [ARGS...], WINE_RUN PREFIX being the
# emulator the build runs Windows programs with. With --dpi the program runs instead in a prefix of
# the test's own whose screen has that DPI (96 is 100 %, 144 is 150 %), and KELVA_SCREEN_DPI tells
# the program so. Windows are first kept out of window management, which Xvfb does not offer: Wine
# would otherwise wait two seconds for a window manager whenever one goes.
# Exit status 77 (skipped) when Xvfb is not installed.
set -euo pipefail
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed"; exit 77; }
dpi=
if [ "$1" = --dpi ]; then
  dpi=$2
  shift 2
fi

work=$(mktemp -d)
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
cleanup() {
  if [ -n "$dpi" ]; then WINEPREFIX="$work/wine-prefix" wineserver -k 2>/dev/null || true; fi
  kill $xvfb 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
read -r display <"$work/display"  # Xvfb writes its number once it accepts clients
export DISPLAY=":$display"

wine_run=$1
prefix=$2
shift 2
if [ -n "$dpi" ]; then
  prefix="$work/wine-prefix"
  mkdir -p "$prefix"
  "$wine_run" "$prefix" wineboot </dev/null >"$work/wine.log" 2>&1 || { cat "$work/wine.log"; exit 1; }
  "$wine_run" "$prefix" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  export KELVA_SCREEN_DPI=$dpi
fi
"$wine_run" "$prefix" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
"$wine_run" "$prefix" "$@"
