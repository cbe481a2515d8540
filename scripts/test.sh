#!/usr/bin/env bash
# Installs what is missing, builds everything (Debug, warnings as errors) and runs every test.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
cd "$root"
cmake --preset debug >/dev/null
cmake --build --preset debug
export QT_QPA_PLATFORM=offscreen
ctest --preset debug
