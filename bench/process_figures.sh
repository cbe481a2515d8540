# shellcheck shell=bash
# What the figure scripts share: a process's memory from /proc and the verdict on the limits.
# Sourced by a script running with `set -euo pipefail`, which ends with exit $((1 - held)).
held=1
fail() {
  echo "LIMIT NOT HELD: $*"
  held=0
}

rss_kib() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status"; }
hwm_kib() { awk '/^VmHWM/ { print $2 }' "/proc/$1/status"; }
