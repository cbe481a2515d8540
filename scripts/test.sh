#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   1. the tests built with AddressSanitizer and UndefinedBehaviorSanitizer (all but the long soak,
#      the 5 ms pacing test, which the sanitizer's slowdown would blur, and the end-to-end run),
#   2. the tests that run the worker beside the main thread, built with ThreadSanitizer,
#   3. each fuzzer for a bounded time (where clang is present),
#   4. the Windows build (mingw-w64), its tests run under Wine (the window and the whole program
#      on a virtual display),
#   5. the packages (scripts/package.sh): lintian, the menu entries, metainfo and manual pages
#      checked, both .deb files installed, run and purged in a clean Debian 12 root (needs root:
#      chroot), and the window program from the Windows zip run under Wine,
#   6. the Debug build with warnings as errors, running every test; its summary closes the output.
# Before them, every C++ file of the checkout must be as .clang-format lays it out (the files a
# change touched among them; the whole check takes a second or two).
# `scripts/test.sh --quick` runs step 6 alone, `--linux` all but steps 4 and 5, `--windows` step 4
# alone, `--packages` step 5 alone.
set -euo pipefail
mode="${1:-all}"
case "$mode" in
  all | --quick | --linux | --windows | --packages) ;;
  *)
    echo "usage: $0 [--quick | --linux | --windows | --packages]" >&2
    exit 2
    ;;
esac
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

# The Windows build's tests under Wine, in a prefix inside the build folder. One wineserver is kept
# for the whole run and the prefix booted once before: otherwise each test program would wait
# seconds for Wine's service processes.
windows_stage() {
  echo "== Windows build under Wine"
  cmake --preset windows >/dev/null
  cmake --build --preset windows
  export WINEPREFIX="$root/build/windows/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$WINEPREFIX"
  wineserver -p 2>/dev/null || true  # one may be running already for this prefix: it serves as well
  trap 'wineserver -k 2>/dev/null || true' EXIT
  wine wineboot </dev/null >/dev/null 2>&1
  quiet_ctest windows
  wineserver -k 2>/dev/null || true
  trap - EXIT
}

# The packages as a user gets them: built, checked by Debian's tools, installed in a clean root,
# and the Windows zip's window program run from where it was unzipped.
packages_stage() {
  echo "== Packages"
  local version packages="$root/build/packages" sudo_cmd=() unzipped
  version=$(sed -n 's/^project(KelvaStats VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
  "$root/scripts/package.sh"
  "$root/tests/packaging/lint_packages.sh" "$packages" "$version"
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" "$root/tests/packaging/install_test.sh" "$packages" "$version"
  echo "The Windows zip under Wine"
  unzipped=$(mktemp -d)
  unzip -q "$packages/kelvastats-$version-windows-x64.zip" -d "$unzipped"
  local status=0
  "$root/tests/app/end_to_end_test.sh" "$unzipped/kelvastats-$version-windows-x64/kelvastats.exe" \
    "$unzipped/kelvastats-$version-windows-x64/kelvastats-router-sim.exe" || status=$?
  rm -rf "$unzipped"
  [ "$status" -eq 0 ] || { echo "The zip's kelvastats.exe failed its run under Wine."; exit 1; }
}

if [ "$mode" = --windows ]; then
  windows_stage
  exit 0
fi
if [ "$mode" = --packages ]; then
  packages_stage
  exit 0
fi

if [ "$mode" != --quick ]; then
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

if [ "$mode" = all ]; then
  windows_stage
  packages_stage
fi

echo "== Debug build, every test"
cmake --preset debug >/dev/null
cmake --build --preset debug
ctest --preset debug -j2
