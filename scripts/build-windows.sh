#!/usr/bin/env bash
# Builds the Windows programs with mingw-w64 (the `windows` preset): each .exe is one file that
# needs no installation and imports only Windows' own DLLs. Prints where they are.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
cd "$root"
cmake --preset windows >/dev/null
cmake --build --preset windows
find "$root/build/windows" -path "$root/build/windows/wine-prefix" -prune -o -name '*.exe' \( -name 'kelvastats.exe' -o -name 'kelvastats-*.exe' \) -printf '%p\n' | sort
