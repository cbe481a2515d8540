#!/usr/bin/env bash
# The window program started where no display can be reached ends at once with one line on
# standard error that says why, and status 1: no abort, no core dump.
#
# Usage: no_display_test.sh KELVASTATS
set -euo pipefail

kelvastats=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

# Each case: the environment beyond PATH and HOME (no DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM or
# XDG_* unless named), and what the line must say.
check() {
  local says=$1 status=0
  shift
  (cd "$work" && exec env -i PATH="$PATH" HOME="$work" "$@" "$kelvastats") >"$work/out" 2>"$work/err" ||
    status=$?
  [ "$status" -eq 1 ] || fail "with $* the program ended with status $status: $(cat "$work/err")"
  [ ! -s "$work/out" ] || fail "with $* the program wrote to standard output: $(cat "$work/out")"
  [ "$(wc -l <"$work/err")" -eq 1 ] || fail "with $* standard error is not one line: $(cat "$work/err")"
  grep -qF "kelvastats: cannot open the window: $says" "$work/err" ||
    fail "with $* the line does not say \"$says\": $(cat "$work/err")"
  ! ls "$work"/core* >/dev/null 2>&1 || fail "with $* a core file was left"
  echo "$*: $(cat "$work/err")"
}

mkdir -p "$work/runtime"
check "DISPLAY is not set"
check "DISPLAY is not set" XDG_SESSION_TYPE=x11
check "WAYLAND_DISPLAY is not set, and DISPLAY is not set" XDG_SESSION_TYPE=wayland \
  XDG_RUNTIME_DIR="$work/runtime"
check "the Wayland display $work/runtime/wayland-7 cannot be opened" QT_QPA_PLATFORM=wayland \
  XDG_RUNTIME_DIR="$work/runtime" WAYLAND_DISPLAY=wayland-7
echo "PASS"
