#!/usr/bin/env bash
# Installs what is missing, builds the Release preset and prints the figures that
# docs/PERFORMANCE.md records: the machine, the benchmark and its pacing run against the simulated
# router (run from a temporary directory, where its logs go), then the running program's start-up
# time, resident size and idle wake-ups, and the headless collector's resident size, open files and
# wake-ups over a soak of KELVA_COLLECTOR_SOAK back-to-back collections (default 200, about five
# minutes; docs/PERFORMANCE.md records 2,000). Arguments go to kelvastats_bench, for example
#   scripts/bench.sh --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#   scripts/bench.sh --benchmark_filter=Collection --pacing_cycles=0
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake --preset release -S "$root" >/dev/null
cmake --build "$root/build/release" --target kelvastats_bench kelvastats kelvastats-router-sim \
  kelvastats-collect
build="$root/build/release"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== Machine"
echo "processors: $(nproc); $(. /etc/os-release && echo "$PRETTY_NAME")"
lscpu | grep -E '^(Model name|CPU\(s\)|Thread|L2|L3)' || true

echo "== Benchmark"
status=0
(cd "$work" && "$build/bench/kelvastats_bench" "$@") || status=1

echo "== The running program"
"$root/bench/program_figures.sh" "$build/app/kelvastats" "$build/tools/kelvastats-router-sim" || status=1

echo "== The headless collector"
"$root/bench/collector_figures.sh" "$build/collector/kelvastats-collect" \
  "$build/tools/kelvastats-router-sim" "${KELVA_COLLECTOR_SOAK:-200}" || status=1
echo "== The headless collector, Broadcom family (VDSL2 17a, 4096 tones)"
"$root/bench/collector_figures.sh" "$build/collector/kelvastats-collect" \
  "$build/tools/kelvastats-router-sim" "${KELVA_COLLECTOR_SOAK:-200}" 20 broadcom || status=1
exit $status
