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
#      chroot), the arm64 collector package installed and run in a clean arm64 Debian 12 root
#      under qemu, and the window program from the Windows zip run under Wine,
#   6. the arm64 build (for a Raspberry Pi or a similar box), its tests run under qemu, and its
#      collector's logs checked against the amd64 collector's,
#   7. the Debug build with warnings as errors, running every test; its summary closes the output.
# Before them, every C++ file of the checkout must be as .clang-format lays it out (the files a
# change touched among them; the whole check takes a second or two).
# `scripts/test.sh --quick` runs step 7 alone, `--linux` all but steps 4 and 5, `--windows` step 4
# alone, `--packages` step 5 alone, `--arm64` step 6 alone.
set -euo pipefail
mode="${1:-all}"
case "$mode" in
  all | --quick | --linux | --windows | --packages | --arm64) ;;
  *)
    echo "usage: $0 [--quick | --linux | --windows | --packages | --arm64]" >&2
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

# The arm64 cross build, its tests run through qemu-aarch64 (the test preset names it as ctest's
# emulator). The tests labelled emulated-timing are left out there, and listed.
arm64_stage() {
  echo "== arm64 build under qemu"
  local start=$SECONDS program
  cmake --preset arm64 >/dev/null
  cmake --build --preset arm64
  for program in collector/kelvastats-collect report/kelvastats-report tools/kelvastats-router-sim; do
    if ! file -b "build/arm64/$program" | grep -q 'ARM aarch64'; then
      echo "build/arm64/$program is not an ARM aarch64 executable: $(file -b "build/arm64/$program")"
      exit 1
    fi
  done
  echo "ARM aarch64 executables: kelvastats-collect, kelvastats-report, kelvastats-router-sim"
  echo "Left out under qemu, as their limits of a few milliseconds would measure the emulator (the native builds run them):"
  ctest --test-dir build/arm64 -N -L emulated-timing | sed -n 's/^ *Test *#[0-9]*: /  /p'
  quiet_ctest arm64
  # The amd64 collector and simulated router of the Debug build, for the same logs from both.
  cmake --preset debug >/dev/null
  cmake --build --preset debug --target kelvastats-collect kelvastats-router-sim >/dev/null
  tests/arm64/same_logs_under_qemu.sh build/arm64/collector/kelvastats-collect \
    build/debug/collector/kelvastats-collect build/debug/tools/kelvastats-router-sim
  echo "The arm64 stage took $((SECONDS - start)) s."
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
  local status=0
  # The collector's service booted under systemd in a container; skips (77) where none boots.
  "${sudo_cmd[@]}" "$root/tests/packaging/service_boot_test.sh" "$packages" "$version" || status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 77 ] || exit 1
  status=0
  "${sudo_cmd[@]}" "$root/tests/arm64/install_on_arm64.sh" \
    "$packages/kelvastats-collect_${version}-1_arm64.deb" \
    "$packages/kelvastats-collect_${version}-1_amd64.deb" "$version" || status=$?
  [ "$status" -eq 0 ] || [ "$status" -eq 77 ] || exit 1
  echo "The Windows zip under Wine"
  unzipped=$(mktemp -d)
  unzip -q "$packages/kelvastats-$version-windows-x64.zip" -d "$unzipped"
  status=0
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
if [ "$mode" = --arm64 ]; then
  arm64_stage
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
if [ "$mode" != --quick ]; then
  arm64_stage
fi

echo "== Debug build, every test"
cmake --preset debug >/dev/null
cmake --build --preset debug
ctest --preset debug -j2
