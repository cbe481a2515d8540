#!/usr/bin/env bash
# The arm64 collector, run under qemu, against the amd64 simulated router over loopback: one
# collection with --once writes both logs byte for byte as the amd64 collector writes them against
# the same router, once each collection's date and time are masked. Each collector gets a router
# of its own, so both read the replies of a first session.
#
# Usage: same_logs_under_qemu.sh ARM64_COLLECT AMD64_COLLECT AMD64_ROUTER_SIM
set -euo pipefail

arm64_collect=$(realpath "$1")
amd64_collect=$(realpath "$2")
router_sim=$(realpath "$3")
wait_limit_s=30
work=$(mktemp -d)
router=
stop_router() {
  if [ -n "$router" ]; then
    kill "$router" 2>/dev/null || true
    wait "$router" 2>/dev/null || true
    router=
  fi
}
trap 'stop_router; rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*"
  exit 1
}

# collect_once NAME COMMAND...: starts a router on a free loopback port, runs COMMAND --once
# against it with its logs in $work/NAME, then stops the router.
collect_once() {
  local name=$1 line port status=0
  shift
  mkdir "$work/$name"
  mkfifo "$work/router.out"
  "$router_sim" --port 0 --quiet >"$work/router.out" &
  router=$!
  # The router says where it listens as soon as it does: "... listening on 127.0.0.1:PORT, ...".
  exec 3<"$work/router.out"
  read -r -t "$wait_limit_s" line <&3 || fail "the simulated router did not start"
  exec 3<&-
  rm "$work/router.out"
  port=$(sed -n 's/.* on 127\.0\.0\.1:\([0-9]*\),.*/\1/p' <<<"$line")
  [ -n "$port" ] || fail "the simulated router said: $line"
  printf 'secret\n' >"$work/password"
  timeout "$wait_limit_s" "$@" --once --address 127.0.0.1 --port "$port" \
    --password-file "$work/password" --directory "$work/$name" \
    >"$work/$name.out" 2>"$work/$name.err" || status=$?
  stop_router
  [ "$status" -eq 0 ] || fail "$name collector ended with $status: $(cat "$work/$name.err")"
}

masked() {
  sed 's#^[0-9][0-9]/[0-9][0-9]/[0-9][0-9],[0-9][0-9]:[0-9][0-9],#DATE,TIME,#' "$1"
}

collect_once amd64 "$amd64_collect"
# Under qemu as the arm64 build's tests run (cmake/aarch64-linux-gnu.cmake says why the library path).
collect_once arm64 qemu-aarch64 -L /usr/aarch64-linux-gnu -E LD_LIBRARY_PATH=/usr/aarch64-linux-gnu/lib \
  "$arm64_collect"
for log in kelvastats.csv kelvabins.csv; do
  [ -s "$work/arm64/$log" ] || fail "the arm64 collector wrote no $log"
  if ! cmp <(masked "$work/amd64/$log") <(masked "$work/arm64/$log"); then
    diff <(masked "$work/amd64/$log") <(masked "$work/arm64/$log") | head -20
    fail "$log differs between the amd64 and the arm64 collector"
  fi
done
echo "the arm64 collector under qemu wrote the amd64 collector's logs ($(wc -c <"$work/arm64/kelvastats.csv") and $(wc -c <"$work/arm64/kelvabins.csv") bytes)"
