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

    # The unit's command line with its Environment= defaults and then the settings file's values,
    # as systemd would run it (${VAR} is one argument, even when empty), with --once, the state
    # folder and the credentials here (the MQTT one a lone line end, the unit's fallback), and
    # the router's address pointed at a loopback port where nothing listens: the collector must
    # accept every option and password, write the metrics file, and end with 3 (no collection).
    command_line=$(sed -n '/^ExecStart=/,/[^\\]$/p' "$unit" | sed 's/^ExecStart=//; s/\\$//' | tr '\n' ' ')
    command_line=${command_line//\/usr\/bin\/kelvastats-collect/\"\$program\"}
    command_line=${command_line//\/var\/lib\/kelvastats/\"\$work\/state\"}
    command_line=$(sed 's/\${\([A-Z_]*\)}/"${\1}"/g' <<<"$command_line")
    mkdir "$work/state" "$work/credentials"
    printf 'secret\n' >"$work/credentials/password"
    printf '\n' >"$work/credentials/mqtt-password"
    defaults=$(sed -n 's/^Environment=//p' "$unit" | tr '\n' ' ')
    # The second run reads a settings file from before MQTT, the event command and the report.
    grep -vE '^KELVASTATS_(MQTT|ON_EVENT|REPORT)' "$2/packaging/systemd/kelvastats-collect.default" \
      >"$work/older.default"
    for metrics in "$work/state/kelvastats.prom" ""; do
      settings="$2/packaging/systemd/kelvastats-collect.default"
      [ -n "$metrics" ] || settings="$work/older.default"
      (
        set -a
        eval "$defaults"
        # shellcheck disable=SC1090
        . "$settings"
        KELVASTATS_ADDRESS=127.0.0.1 KELVASTATS_PORT=1 KELVASTATS_METRICS="$metrics"
        eval "set -- $command_line"
        CREDENTIALS_DIRECTORY="$work/credentials" timeout 20 "$@" --once >"$work/out" 2>&1
      ) && status=0 || status=$?
      if [ "$status" -ne 3 ] || { [ -n "$metrics" ] && [ ! -s "$metrics" ]; }; then
        cat "$work/out"
        echo "FAIL: the unit's command line (metrics '$metrics') ended with $status"
        exit 1
      fi
    done
    echo "verified: the unit has no remarks, its command line runs, the user kelvastats is made"
    ;;
  *)
    echo "usage: $0 security|verify SOURCE_DIR [COLLECTOR_PROGRAM]" >&2
    exit 2
    ;;
esac
