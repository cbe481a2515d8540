#!/usr/bin/env bash
# The collector's figures in a real Prometheus: the simulated router, kelvastats-collect with
# --metrics, Debian's node exporter (textfile collector only, reading the figures through a link
# as the README tells) and Prometheus scraping it every second, each on a loopback port of its own
# with its data in a temporary folder. The router answers three sessions and closes every later
# one at once, so its CRC counter stops where the last collection read it: Prometheus must end up
# with that counter and at least two collections, within a bounded time. This runs twice: with
# the classic family, then with the Broadcom family on a VDSL2 17a line, whose downstream CRC count
# and 4096 tones of bit loading must arrive too. promtool (where installed) must accept the file the
# collector wrote without a remark. Every process ends with its round.
# Skips (77) only when Prometheus, the node exporter or curl is missing.
# Usage: prometheus_test.sh KELVASTATS_COLLECT KELVASTATS_ROUTER_SIM
set -euo pipefail
collector="$1"
router_sim="$2"
for tool in prometheus prometheus-node-exporter curl ss; do
  command -v "$tool" >/dev/null ||
    { echo "$tool is not installed (scripts/install-deps.sh installs it): skipped"; exit 77; }
done
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
limit_s=50  # a round

top=$(mktemp -d)
work=""
pids=()
stop_round() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  pids=()
}
finish() {
  stop_round
  rm -rf "$top"
}
trap finish EXIT
fail() {
  echo "FAIL: $*"
  local log
  for log in "$work"/*.log; do
    echo "--- $(basename "$log")"
    head -n 60 "$log"
  done
  exit 1
}

# shellcheck source-path=SCRIPTDIR source=script_helpers.sh
source "$(dirname "$0")/script_helpers.sh"

# The latest value Prometheus holds for a query, or nothing (also while it is starting).
query() {
  { curl --silent --noproxy '*' --max-time 5 "http://127.0.0.1:$prometheus_port/api/v1/query" \
    --data-urlencode "query=$1" || true; } | sed -n 's/.*"value":\[[^,]*,"\([^"]*\)"\].*/\1/p'
}

# One round: FAMILY (the --router of both programs), the query of the router's downstream CRC
# count, and what count(kelvastats_tone_bit_loading) must come to ("" for no check).
run_round() {
  local family="$1" crc_query="$2" tones="$3"
  work="$top/$family"
  mkdir -p "$work/logs" "$work/textfile"

  # The router: three sessions answered, every later one closed at its greeting, so that one
  # cycle lost before its status reply (as once seen on a loaded machine: the second Broadcom
  # session closed during the login) still leaves two collections. The collector tries again at
  # once when the router is not listening yet.
  local router_port
  router_port=$(free_port)
  "$router_sim" --router "$family" --port "$router_port" --close greeting \
    --fault-sessions 4-1000000 >"$work/router.log" 2>&1 &
  pids+=($!)

  printf 'secret\n' >"$work/password"
  ln -s "$work/logs/kelvastats.prom" "$work/textfile/kelvastats.prom"
  "$collector" --router "$family" --address 127.0.0.1 --port "$router_port" --interval 0 \
    --password-file "$work/password" --directory "$work/logs" \
    --metrics "$work/logs/kelvastats.prom" >"$work/collector.log" 2>&1 &
  pids+=($!)

  local exporter_port
  exporter_port=$(free_port)
  prometheus-node-exporter --collector.disable-defaults --collector.textfile \
    --collector.textfile.directory="$work/textfile" --web.listen-address="127.0.0.1:$exporter_port" \
    >"$work/node-exporter.log" 2>&1 &
  pids+=($!)

  prometheus_port=$(free_port)
  cat >"$work/prometheus.yml" <<EOF
global:
  scrape_interval: 1s
scrape_configs:
  - job_name: node
    static_configs:
      - targets: ["127.0.0.1:$exporter_port"]
EOF
  prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
    --web.listen-address="127.0.0.1:$prometheus_port" >"$work/prometheus.log" 2>&1 &
  pids+=($!)

  local deadline=$((SECONDS + limit_s)) pid router_crc="" stored_crc="" collections="" stored_tones=""
  while [ "$SECONDS" -lt "$deadline" ]; do
    for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null || fail "$family: a process ended early"; done
    # "status with CRC counter N" (classic), "status of collection K with CRC counter N" (others)
    router_crc=$(sed -n 's/.*status.* with CRC counter \([0-9]*\)$/\1/p' "$work/router.log" | tail -n 1)
    stored_crc=$(query "$crc_query")
    collections=$(query kelvastats_collections_total)
    if [ -n "$tones" ]; then stored_tones=$(query 'count(kelvastats_tone_bit_loading)'); fi
    if [ -n "$router_crc" ] && [ "$stored_crc" = "$router_crc" ] && [ "${collections:-0}" -ge 2 ] &&
      [ "$stored_tones" = "$tones" ]; then
      echo "$family: Prometheus holds the router's CRC counter $stored_crc after $collections collections${tones:+ and $tones tones}"
      local missed remarks
      missed=$(query 'sum(kelvastats_missed_cycles_total)')
      echo "$family: and ${missed:-no} cycles that the router closed"
      if command -v promtool >/dev/null; then
        remarks=$(promtool check metrics <"$work/logs/kelvastats.prom" 2>&1) ||
          fail "$family: promtool refuses the metrics file: $remarks"
        [ -z "$remarks" ] || fail "$family: promtool remarks on the metrics file: $remarks"
      fi
      stop_round
      return 0
    fi
    sleep 1
  done
  fail "$family: after ${limit_s}s Prometheus holds CRC '$stored_crc', ${collections:-no} collections and '$stored_tones' tones; the router's CRC is '$router_crc'"
}

run_round classic kelvastats_crc_errors_total ""
run_round broadcom 'kelvastats_line_crc_errors_total{direction="down"}' 4096
