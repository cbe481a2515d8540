#!/usr/bin/env bash
# Builds the Release packages with CPack and lists them in build/packages/:
#   kelvastats-collect_<version>-1_amd64.deb  the collector, the report and the simulated router
#   kelvastats_<version>-1_amd64.deb          the window program
#   kelvastats-<version>-windows-x64.zip      the four Windows programs and a README
# The Linux programs are built with Debian's build flags (dpkg-buildflags, all hardening on), as
# a Debian package's are. Each architecture is one line at the end.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
cd "$root"
out="$root/build/packages"
rm -rf "$out"
mkdir -p "$out"

version=$(sed -n 's/^project(KelvaStats VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# The Debian changelog is the packages' history: its latest entry must be this version.
changelog_version=$(dpkg-parsechangelog -l packaging/debian/changelog -S Version)
if [ "$changelog_version" != "$version-1" ]; then
  echo "packaging/debian/changelog's latest entry is $changelog_version, not $version-1: add one" >&2
  exit 1
fi
# Manual pages and archives carry the changelog's date, not the build's (reproducible builds).
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l packaging/debian/changelog -S Timestamp)
export SOURCE_DATE_EPOCH

# debian_packages DEB_ARCH PRESET: the .deb files of one architecture (a build without the window
# program makes the collector's alone).
debian_packages() {
  local arch="$1" preset="$2" build="$root/build/$2" flag
  declare -A flags
  for flag in CPPFLAGS CXXFLAGS LDFLAGS; do
    flags[$flag]=$(DEB_HOST_ARCH="$arch" DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$flag")
  done
  echo "== Debian packages, $arch"
  cmake --preset "$preset" -DCPACK_DEBIAN_PACKAGE_ARCHITECTURE="$arch" \
    -DCMAKE_CXX_FLAGS="${flags[CPPFLAGS]} ${flags[CXXFLAGS]}" \
    -DCMAKE_EXE_LINKER_FLAGS="${flags[LDFLAGS]}" >/dev/null
  cmake --build --preset "$preset"
  rm -rf "$build/cpack"
  (cd "$build" && cpack -G DEB -B "$build/cpack" >/dev/null)
  cp "$build/cpack/"*_"${version}-1_${arch}.deb" "$out/"
}

# windows_zip PRESET NAME: the zip of one Windows build.
windows_zip() {
  local preset="$1" build="$root/build/$1"
  echo "== Windows zip, $2"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  rm -rf "$build/cpack"
  (cd "$build" && cpack -G ZIP -B "$build/cpack" >/dev/null)
  cp "$build/cpack/kelvastats-${version}-windows-$2.zip" "$out/"
}

debian_packages amd64 package-amd64
windows_zip package-windows-x64 x64

echo "== Packages in $out"
ls -l "$out"
