#!/usr/bin/env bash
# --on-event as a user sets it up, with the collector, the simulated Broadcom router and a command
# that writes what it is told to a file:
#   1. the line goes down, the router goes away and comes back, the line comes up: line-down,
#      unreachable, reachable, line-up, in that order, each with its environment and never a
#      password (neither the router's nor the systemd credentials' folder), and the report made
#      fresh by --report;
#   2. a command that hangs: the collection keeps its pace beside it, and it is ended after 30 s;
#      a stop ends the collector at once, and the command with it;
#   3. a command that fails: said on standard error, its output on standard output after the
#      event's name, and the collection goes on.
# Usage: events_collector_test.sh KELVASTATS_COLLECT KELVASTATS_ROUTER_SIM
set -euo pipefail
collector="$1"
router_sim="$2"
command -v ss >/dev/null || { echo "ss is not installed: skipped"; exit 77; }
limit_s=30

# shellcheck source-path=SCRIPTDIR source=script_helpers.sh
source "$(dirname "$0")/script_helpers.sh"
work=$(mktemp -d)
declare -A pids=()
finish() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  pkill -f '^sleep 4242$' 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
fail() {
  echo "FAIL: $*"
  local log
  for log in "$work"/*.log "$work"/events.txt; do
    [ -f "$log" ] || continue
    echo "--- $(basename "$log")"
    tail -n 40 "$log"
  done
  exit 1
}
start_router() {  # extra options
  "$router_sim" --router broadcom --port "$router_port" --password r0uter-Secret --quiet "$@" >>"$work/router.log" 2>&1 &
  pids[router]=$!
  wait_for port_listening "$router_port" || fail "the simulated router did not start"
}
stop_router() {
  kill "${pids[router]}"
  wait "${pids[router]}" 2>/dev/null || true
  unset 'pids[router]'
}
start_collector() {  # COMMAND
  CREDENTIALS_DIRECTORY="$work/credentials" \
    "$collector" --router broadcom --address 127.0.0.1 --port "$router_port" --interval 0 \
    --directory "$work/logs" --password-file "$work/password" --on-event "$1" "${extra[@]}" \
    >"$work/collector.log" 2>"$work/collector-errors.log" &
  pids[collector]=$!
}
stop_collector() {
  kill "${pids[collector]}"
  wait "${pids[collector]}" || fail "the collector did not end with 0"
  unset 'pids[collector]'
}
said() { grep -q -- "$1" "$work/$2"; }
told() { grep -q "^EVENT=$1 " "$work/events.txt"; }
collections() { [ -f "$work/logs/kelvaline.csv" ] && wc -l <"$work/logs/kelvaline.csv" || echo 0; }

mkdir -p "$work/logs" "$work/credentials"
printf 'r0uter-Secret\n' >"$work/password"
chmod 600 "$work/password"
printf 'r0uter-Secret\n' >"$work/credentials/password"
router_port=$(free_port)

# 1. The events in order.
cat >"$work/record.sh" <<'EOF'
#!/bin/sh
printf 'EVENT=%s DETAIL=%s\n' "$KELVASTATS_EVENT" "$KELVASTATS_DETAIL" >>"$KELVA_EVENTS"
env | sort >>"$KELVA_EVENTS"
EOF
chmod +x "$work/record.sh"
export KELVA_EVENTS="$work/events.txt"
start_router
extra=(--report "$work/report.html")  # the fresh report, made after the first collection
start_collector "$work/record.sh"
extra=()
up_collected() { [ "$(collections)" -ge 2 ]; }
wait_for up_collected || fail "no collection from the line in showtime"
stop_router
start_router --line-down
wait_for told line-down || fail "no line-down"
stop_router
wait_for told unreachable || fail "no unreachable after three cycles without the router"
start_router
wait_for told line-up || fail "no line-up"
stop_collector
tail -c 8 "$work/report.html" | grep -q '</html>' || fail "no whole report after the collections"
order=$(sed -n 's/^EVENT=\([a-z-]*\) .*/\1/p' "$work/events.txt" | tr '\n' ' ')
[ "$order" = "line-down unreachable reachable line-up " ] || fail "the events came as: $order"
grep -q '^KELVASTATS_TIME=....-..-..T..:..:..[+-]..:..$' "$work/events.txt" ||
  fail "KELVASTATS_TIME is not a local ISO 8601 time"
grep -q '^KELVASTATS_RATE_DOWN=[0-9]' "$work/events.txt" || fail "no rate in the environment"
grep -q '^KELVASTATS_ADDRESS=127.0.0.1$' "$work/events.txt" || fail "no router address"
grep -q 'r0uter-Secret\|CREDENTIALS_DIRECTORY' "$work/events.txt" &&
  fail "a password, or where it is, reached the command"

# 2. A command that hangs beside the collection; 3. one that fails.
stop_router
rm -f "$work/events.txt"
start_collector 'echo "went to sleep on $KELVASTATS_EVENT"; exec sleep 4242'
hanging() { said 'on-event unreachable: went to sleep on unreachable' collector.log; }
wait_for hanging || fail "the command's output did not reach standard output"
misses_at_start=$(grep -c "Can't find the server" "$work/collector-errors.log")
ended() { said 'still running after 30 s' collector-errors.log; }
wait_limit_s=45 wait_for ended || fail "a hanging command was not ended after 30 s"
misses=$(($(grep -c "Can't find the server" "$work/collector-errors.log") - misses_at_start))
# A cycle without the router, then the pause of one second: some 30 in 30 s.
[ "$misses" -ge 20 ] || fail "only $misses cycles in the 30 s the command hung"
pgrep -f '^sleep 4242$' >/dev/null && fail "the ended command's program still runs"
start_router
hanging_again() { said 'on-event reachable: went to sleep on reachable' collector.log; }
wait_for hanging_again || fail "the event after an ended command did not run"
started=$SECONDS
stop_collector
[ $((SECONDS - started)) -le 2 ] || fail "the stop waited for a hanging command"
gone() { ! pgrep -f '^sleep 4242$'; }
wait_limit_s=2 wait_for gone || fail "the command outlived the stop"

start_collector 'echo "failing on $KELVASTATS_EVENT" >&2; exit 3'
stop_router
failed() { said 'on-event unreachable: the command exited with status 3' collector-errors.log; }
wait_for failed || fail "a failing command was not said"
said 'on-event unreachable: failing on unreachable' collector.log ||
  fail "a failing command's output was lost"
start_router
before=$(collections)
more() { [ "$(collections)" -ge $((before + 2)) ]; }
wait_for more || fail "the collection stopped after a failing command"
stop_collector
echo "on-event: the events in order with their figures, a hanging and a failing command: as expected"
