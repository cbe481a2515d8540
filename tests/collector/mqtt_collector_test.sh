#!/usr/bin/env bash
# The collector and Home Assistant's broker as a user runs them: the simulated Broadcom router,
# Debian's mosquitto on a loopback port with its files in a temporary folder, and mosquitto_sub
# reading what arrives, as Home Assistant would:
#   1. the retained discovery messages, one sensor per figure, each with the keys Home
#      Assistant's MQTT discovery documents, one device, unique ids; the retained "online"; the
#      state after a collection;
#   2. the broker stopped and started again while the collector runs: no collection is lost, each
#      change is said once on standard error, and the state arrives again;
#   3. the collector killed: the broker sends its will, "offline";
#   4. a broker with a password: the right one from --mqtt-password-file is let in, a wrong one
#      is said once and costs no collection.
# Skips (77) when mosquitto, mosquitto_sub or python3 is missing.
# Usage: mqtt_collector_test.sh KELVASTATS_COLLECT KELVASTATS_ROUTER_SIM
set -euo pipefail
collector="$1"
router_sim="$2"
for tool in mosquitto mosquitto_sub mosquitto_passwd python3 ss; do
  command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] ||
    { echo "$tool is not installed (scripts/install-deps.sh installs it): skipped"; exit 77; }
done
PATH="$PATH:/usr/sbin"
limit_s=20  # for anything to arrive

# shellcheck source-path=SCRIPTDIR source=script_helpers.sh
source "$(dirname "$0")/script_helpers.sh"
work=$(mktemp -d)
declare -A pids=()
finish() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap finish EXIT
fail() {
  echo "FAIL: $*"
  local log
  for log in "$work"/*.log; do
    echo "--- $(basename "$log")"
    tail -n 40 "$log"
  done
  exit 1
}
# Waits until the command succeeds, at most limit_s.
start_broker() {  # NAME [password_file]
  {
    echo "listener $broker_port 127.0.0.1"
    echo "persistence false"
    echo "user $(id -un)"  # run as root, it would become the user mosquitto, kept out of $work
    if [ -n "${2:-}" ]; then
      echo "allow_anonymous false"
      echo "password_file $2"
    else
      echo "allow_anonymous true"
    fi
  } >"$work/$1.conf"
  mosquitto -c "$work/$1.conf" >>"$work/$1.log" 2>&1 &
  pids[broker]=$!
  wait_for port_listening "$broker_port" || fail "mosquitto did not start"
}
stop_broker() {
  kill "${pids[broker]}"
  wait "${pids[broker]}" 2>/dev/null || true
  unset 'pids[broker]'
}
# The retained messages of the topics and what arrives within a second, as "topic payload" lines.
credentials=()
read_broker() {  # mosquitto_sub options: -t TOPIC..., -C COUNT
  mosquitto_sub -h 127.0.0.1 -p "$broker_port" "${credentials[@]}" -v -W 1 "$@" 2>/dev/null ||
    true
}
everything=(-t 'kelvastats/#' -t 'homeassistant/#')
log_lines() { [ -f "$work/logs/kelvaline.csv" ] && wc -l <"$work/logs/kelvaline.csv" || echo 0; }

router_port=$(free_port)
"$router_sim" --router broadcom --port "$router_port" --quiet >"$work/router.log" 2>&1 &
pids[router]=$!
wait_for port_listening "$router_port" || fail "the simulated router did not start"
printf 'secret\n' >"$work/password"
chmod 600 "$work/password"
broker_port=$(free_port)
start_broker broker

mkdir -p "$work/logs"
start_collector() {  # extra options
  "$collector" --router broadcom --address 127.0.0.1 --port "$router_port" --interval 0 \
    --directory "$work/logs" --password-file "$work/password" \
    --mqtt "mqtt://127.0.0.1:$broker_port" --mqtt-id line1 "$@" \
    >"$work/collector.log" 2>"$work/collector-errors.log" &
  pids[collector]=$!
}
start_collector

# 1. What Home Assistant finds.
state_has_collection() {
  read_broker -C 1 -t kelvastats/line1/state | grep -q '"collected":true'
}
wait_for state_has_collection || fail "no state message with a collection arrived"
read_broker "${everything[@]}" >"$work/retained.txt"
grep -qx 'kelvastats/line1/availability online' "$work/retained.txt" ||
  fail "no retained online: $(cat "$work/retained.txt")"
python3 - "$work/retained.txt" <<'EOF' || fail "the discovery messages are not as Home Assistant documents them"
import json, sys
sensors = {}
for line in open(sys.argv[1]):
    topic, _, payload = line.rstrip("\n").partition(" ")
    if topic.startswith("homeassistant/"):
        sensors[topic] = json.loads(payload)
must = {"rate_down", "rate_up", "attainable_down", "attainable_up", "snr_margin_down",
        "snr_margin_up", "attenuation_down", "crc_down", "crc_up", "fec_down", "es_down",
        "ses_down", "total_bits", "last_collection", "state"}
found, ids, devices = set(), set(), set()
for topic, config in sensors.items():
    parts = topic.split("/")
    assert parts[0] == "homeassistant" and parts[1] == "sensor" and parts[2] == "line1" \
        and parts[4] == "config", topic
    for key in ("name", "unique_id", "state_topic", "value_template", "availability_topic",
                "device"):
        assert key in config, (topic, key)
    assert config["state_topic"] == "kelvastats/line1/state", topic
    assert config["availability_topic"] == "kelvastats/line1/availability", topic
    assert config["unique_id"] not in ids, config["unique_id"]
    ids.add(config["unique_id"])
    device = config["device"]
    assert device["identifiers"] and "127.0.0.1" in device["name"] and device["model"] == "broadcom"
    devices.add(json.dumps(device, sort_keys=True))
    if config.get("device_class") == "data_rate":
        assert config["unit_of_measurement"] == "kbit/s", topic
    if config.get("state_class"):
        assert config["state_class"] in ("measurement", "total", "total_increasing"), topic
    found.add(parts[3])
assert len(devices) == 1, devices
assert must <= found, must - found
EOF
read_broker -C 1 -t kelvastats/line1/state >"$work/state.txt"
python3 - "$work/state.txt" <<'EOF' || fail "the state message: $(cat "$work/state.txt")"
import json, sys
state = json.loads(open(sys.argv[1]).read().split(" ", 1)[1])
assert state["collected"] is True
assert isinstance(state["rate_down"], (int, float)) and state["rate_down"] > 0
assert state["state"]
EOF

# 2. The broker away for a while: the collection goes on, each change said once.
stop_broker
before=$(log_lines)
collected_while_away() { [ "$(log_lines)" -ge $((before + 3)) ]; }
wait_for collected_while_away || fail "the collection stopped while the broker was away"
away_said() { grep -q 'cannot reach the MQTT broker' "$work/collector-errors.log"; }
wait_for away_said || fail "the broker's absence was not said"
start_broker broker
wait_for state_has_collection || fail "no state after the broker came back"
read_broker "${everything[@]}" | grep -q '^homeassistant/sensor/line1/rate_down/config ' ||
  fail "the discovery messages were not sent again to a broker that forgot them"
[ "$(grep -c 'cannot reach the MQTT broker' "$work/collector-errors.log")" -eq 1 ] ||
  fail "the broker's absence was not said exactly once"
[ "$(grep -c 'reached again' "$work/collector-errors.log")" -eq 1 ] ||
  fail "the broker's return was not said exactly once"

# 3. The collector gone without a word: its will.
kill -KILL "${pids[collector]}"
wait "${pids[collector]}" 2>/dev/null || true
unset 'pids[collector]'
offline() { read_broker -C 1 -t kelvastats/line1/availability | grep -qx '.* offline'; }
wait_for offline || fail "the will did not say offline"

# 4. A broker with a password.
stop_broker
printf 'h0me-Secret\n' >"$work/mqtt-password"
chmod 600 "$work/mqtt-password"
mosquitto_passwd -b -c "$work/passwords" kelva h0me-Secret
chmod 600 "$work/passwords"
start_broker secured "$work/passwords"
credentials=(-u kelva -P h0me-Secret)
start_collector --mqtt-user kelva --mqtt-password-file "$work/mqtt-password"
wait_for state_has_collection || fail "the right password was not let in"
kill "${pids[collector]}"
wait "${pids[collector]}" || fail "the collector did not end with 0"
unset 'pids[collector]'
read_broker -C 1 -t kelvastats/line1/availability | grep -qx '.* offline' ||
  fail "a stopped collector did not say offline"

printf 'wr0ng-Secret\n' >"$work/mqtt-password"
before=$(log_lines)
start_collector --mqtt-user kelva --mqtt-password-file "$work/mqtt-password"
wait_for collected_while_away || fail "a wrong broker password cost collections"
refused_said() { grep -q 'refused' "$work/collector-errors.log"; }
wait_for refused_said || fail "a wrong broker password was not said"
[ "$(grep -c 'refused' "$work/collector-errors.log")" -eq 1 ] ||
  fail "a wrong broker password was said more than once"
if grep -q 'h0me-Secret\|wr0ng-Secret' "$work/collector.log" "$work/collector-errors.log"; then
  fail "a password reached the console"
fi
echo "mqtt: discovery, state, a broker away and back, the will, passwords: all as expected"
