#!/usr/bin/env bash
# The collector's systemd unit, checked by systemd's own tools without starting it:
#   security: the offline security analysis rates its exposure 2.0 or less;
#   verify:   systemd-analyze verify says nothing about it (run on a copy whose ExecStart names the
#             collector just built, since verify wants the program to exist), and the sysusers.d
#             entry creates the user kelvastats in an empty root.
# Skips (77) only when systemd-analyze is absent.
# Usage: systemd_unit_test.sh security|verify SOURCE_DIR [COLLECTOR_PROGRAM]
set -euo pipefail
mode="$1"
unit="$2/packaging/systemd/kelvastats-collect.service"
command -v systemd-analyze >/dev/null || { echo "systemd-analyze is not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

case "$mode" in
  security)
    # The threshold counts tenths: 20 is an exposure of 2.0.
    if ! systemd-analyze security --offline=yes --threshold=20 "$unit" >"$work/out" 2>&1; then
      cat "$work/out"
      echo "FAIL: exposure above 2.0"
      exit 1
    fi
    grep 'Overall exposure' "$work/out"
    ;;
  verify)
    program="$3"
    [ -x "$program" ] || { echo "FAIL: $program is not a program"; exit 1; }
    sed "s#/usr/bin/kelvastats-collect#$program#" "$unit" >"$work/kelvastats-collect.service"
    # The man page is the package's; it is not installed here.
    status=0
    (cd "$work" && systemd-analyze verify --man=no kelvastats-collect.service) >"$work/out" 2>&1 ||
      status=$?
    if [ "$status" -ne 0 ] || [ -s "$work/out" ]; then
      cat "$work/out"
      echo "FAIL: systemd-analyze verify has remarks"
      exit 1
    fi
    mkdir -p "$work/root/etc"
    systemd-sysusers --root="$work/root" "$2/packaging/systemd/kelvastats-collect.sysusers" >/dev/null 2>&1
    grep -q '^kelvastats:x:[0-9]*:[0-9]*:KelvaStats collector:/var/lib/kelvastats:' "$work/root/etc/passwd" ||
      { cat "$work/root/etc/passwd"; echo "FAIL: no user kelvastats"; exit 1; }
    echo "verified: the unit has no remarks, the user kelvastats is made"
    ;;
  *)
    echo "usage: $0 security|verify SOURCE_DIR [COLLECTOR_PROGRAM]" >&2
    exit 2
    ;;
esac
