#!/usr/bin/env bash
# The example Prometheus set-up: promtool accepts the scrape configuration with its rules, and the
# rules' own tests (the alerts fire when the figures say so, and not before) pass.
# Skips (77) only when promtool (Debian package prometheus) is absent.
# Usage: prometheus_examples_test.sh SOURCE_DIR
set -euo pipefail
root="$1"
command -v promtool >/dev/null || { echo "promtool is not installed (Debian package prometheus): skipped"; exit 77; }
promtool check config "$root/packaging/prometheus/prometheus.yml"
promtool check rules "$root/packaging/prometheus/kelvastats.rules.yml"
promtool test rules "$root/tests/collector/alert_rules_test.yml"
