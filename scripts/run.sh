#!/usr/bin/env bash
# Installs what is missing, builds the program (Release) and starts it. The logs are written to the
# directory you start it from.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake --preset release -S "$root" >/dev/null
cmake --build "$root/build/release" --target kelvastats kelvastats-router-sim kelvastats-report \
  kelvastats-collect
exec "$root/build/release/app/kelvastats" "$@"
