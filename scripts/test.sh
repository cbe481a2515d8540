#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   1. the tests built with AddressSanitizer and UndefinedBehaviorSanitizer (all but the long soak,
#      the 5 ms pacing test, which the sanitizer's slowdown would blur, and the end-to-end run),
#   2. the tests that run the worker beside the main thread, built with ThreadSanitizer,
#   3. each fuzzer for a bounded time (where clang is present),
#   4. the Debug build with warnings as errors, running every test; its summary closes the output.
# Before them, every C++ file of the checkout must be as .clang-format lays it out (the files a
# change touched among them; the whole check takes a second or two).
# `scripts/test.sh --quick` runs step 4 alone.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
cd "$root"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="suppressions=$root/tests/sanitizer/tsan.supp:halt_on_error=1"

# Runs a sanitizer build's tests one at a time (timing limits hold better unloaded), showing the
# whole output only when something fails.
quiet_ctest() {
  local log="$root/build/$1/ctest.log"
  if ! ctest --preset "$1" >"$log" 2>&1; then
    cat "$log"
    echo "The $1 build's tests failed."
    exit 1
  fi
  grep -E 'tests passed|tests failed' "$log"
}

echo "== Formatting"
if ! git -C "$root" ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; then
  echo "Files above are not formatted: run clang-format -i on them."
  exit 1
fi

if [ "${1:-}" != "--quick" ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
  cmake --preset asan >/dev/null
  cmake --build --preset asan
  quiet_ctest asan

  echo "== ThreadSanitizer"
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan
  quiet_ctest tsan

  echo "== Fuzzing"
  "$root/scripts/fuzz.sh" 30
fi

echo "== Debug build, every test"
cmake --preset debug >/dev/null
cmake --build --preset debug
ctest --preset debug -j2
