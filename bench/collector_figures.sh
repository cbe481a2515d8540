#!/usr/bin/env bash
# The headless collector's figures while it runs: resident size and open files over a soak of
# back-to-back collections from the simulated router, then the wake-ups of all its threads between
# two collections. Runs inside a network namespace whose only interface is loopback, so no address
# but 127.0.0.1 can ever be reached. A collection takes about 1.2 s (four passes of 300 ms), so
# the default soak of 2,000 collections takes about 40 minutes.
#
# Usage: collector_figures.sh KELVASTATS_COLLECT ROUTER_SIM [COLLECTIONS] [IDLE_SECONDS] [FAMILY]
# FAMILY is the router family both play (classic, broadcom or draytek; broadcom and draytek play a
# VDSL2 17a line of 4096 tones). With KELVA_FIGURES_MQTT=1 the collector also sends every cycle to
# Debian's mosquitto broker, started on loopback for the run (--mqtt). Prints "figure: value"
# lines; exit status 1 when a limit is not held.
set -euo pipefail

collector=$(realpath "$1")
router_sim=$(realpath "$2")
soak_collections=${3:-2000}
idle_s=${4:-20}
family=${5:-classic}
rss_limit_kib=$((8 * 1024))
growth_limit_kib=256
cpu_limit_ms=2  # one collection's processor time, all threads, connect to the logs' last byte
wait_limit_s=30

if [ -z "${KELVA_FIGURES_IN_NAMESPACE:-}" ]; then
  if ! unshare --map-root-user --net true 2>/dev/null; then
    echo "note: no private network namespace here; the collector's figures are skipped"
    exit 0
  fi
  export KELVA_FIGURES_IN_NAMESPACE=1
  exec unshare --map-root-user --net "$0" "$@"
fi
ip link set lo up

# shellcheck source-path=SCRIPTDIR source=../harness/drive_window.sh
source "$(dirname "$0")/../harness/drive_window.sh"
# shellcheck source-path=SCRIPTDIR source=process_figures.sh
source "$(dirname "$0")/process_figures.sh"

open_files() { find "/proc/$1/fd" -mindepth 1 | wc -l; }
# Context switches of every thread of the process so far, voluntary and not.
all_switches() { cat /proc/"$1"/task/*/status | awk '/ctxt_switches/ { total += $2 } END { print total }'; }
# The family's log of one line per collection, and how its lines begin.
if [ "$family" = classic ]; then
  collection_log=kelvabins.csv line_start='^[0-9][0-9]/'
else
  collection_log=kelvaline.csv line_start='^[0-9]{4}-'
fi
collections() { grep -Ec "$line_start" "$work/run/$collection_log" 2>/dev/null || echo 0; }
# Processor time of the process so far, user and system, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
at_least() { [ "$(collections)" -ge "$1" ]; }

# Starts the collector in $work/run with the interval $1 (minutes); its pid in $collect.
start_collector() {
  rm -rf "$work/run"
  mkdir -p "$work/run"
  "$collector" --router "$family" --address 127.0.0.1 --port "$router_port" --interval "$1" \
    --directory "$work/run" --password-file "$work/password" "${mqtt_options[@]}" \
    >"$work/collect.out" 2>"$work/collect.err" &
  collect=$!
  pids+=("$collect")
}
stop_collector() {
  kill -TERM "$collect"
  local status=0
  wait "$collect" || status=$?
  [ "$status" -eq 0 ] || fail "the collector ended with status $status after SIGTERM"
}

printf 'secret\n' >"$work/password"
chmod 600 "$work/password"
mqtt_options=()
if [ "${KELVA_FIGURES_MQTT:-}" = 1 ]; then
  broker_port=18830
  printf 'listener %s 127.0.0.1\npersistence false\nallow_anonymous true\nuser %s\n' \
    "$broker_port" "$(id -un)" >"$work/mosquitto.conf"
  /usr/sbin/mosquitto -c "$work/mosquitto.conf" >"$work/mosquitto.log" 2>&1 &
  pids+=($!)
  mqtt_options=(--mqtt "mqtt://127.0.0.1:$broker_port")
  echo "with MQTT: every cycle sent to mosquitto on 127.0.0.1:$broker_port"
fi
start_router_sim "$router_sim" --router "$family" || { cat "$work/router.log"; exit 1; }

# The soak: back-to-back collections.
start_collector 0
poll_until at_least 1 || { echo "no collection: $(cat "$work/collect.err")"; exit 1; }
rss_first=$(rss_kib "$collect")
files_first=$(open_files "$collect")
ticks_first=$(cpu_ticks "$collect")
collections_first=$(collections)
early=$((soak_collections / 10))
while ! at_least "$early"; do sleep 5; done
rss_early=$(rss_kib "$collect")
files_early=$(open_files "$collect")
while ! at_least "$soak_collections"; do
  kill -0 "$collect" 2>/dev/null || { echo "the collector ended: $(cat "$work/collect.err")"; exit 1; }
  sleep 10
done
rss_last=$(rss_kib "$collect")
files_last=$(open_files "$collect")
ticks_last=$(cpu_ticks "$collect")
collections_last=$(collections)
peak=$(hwm_kib "$collect")
done_collections=$(collections)
stop_collector
echo "resident size: $rss_first KiB after the first collection, $rss_early KiB after $early," \
  "$rss_last KiB after $done_collections, peak $peak KiB"
echo "open files: $files_first after the first collection, $files_early after $early, $files_last after $done_collections"
cpu_ms=$(awk -v t=$((ticks_last - ticks_first)) -v n=$((collections_last - collections_first)) \
  -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f", (n > 0 ? 1000 * t / hz / n : 0) }')
echo "processor time per collection ($family): $cpu_ms ms over $((collections_last - collections_first)) collections"
awk -v ms="$cpu_ms" -v limit="$cpu_limit_ms" 'BEGIN { exit !(ms < limit) }' ||
  fail "a collection took $cpu_ms ms of processor time"
[ "$peak" -lt "$rss_limit_kib" ] || fail "resident size over 8 MiB"
[ $((rss_last - rss_early)) -le "$growth_limit_kib" ] || fail "resident size grew by $((rss_last - rss_early)) KiB"
[ "$files_first" -eq "$files_last" ] || fail "open files went from $files_first to $files_last"
if [ "$family" = classic ]; then
  lines=$(grep -c '^[0-9][0-9]/' "$work/run/kelvastats.csv")
  [ "$lines" -ge "$done_collections" ] || fail "$done_collections bins lines but only $lines statistics lines"
fi

# Between collections: every thread waits without waking.
start_collector 1
poll_until at_least 1 || { echo "no collection: $(cat "$work/collect.err")"; exit 1; }
sleep 1
before=$(all_switches "$collect")
sleep "$idle_s"
idle_switches=$(($(all_switches "$collect") - before))
echo "wake-ups of all threads in $idle_s s between collections: $idle_switches"
[ "$idle_switches" -eq 0 ] || fail "the collector woke $idle_switches times between collections"
stop_collector
exit $((1 - held))
