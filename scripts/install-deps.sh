#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing KelvaStats need, and only those
# that are missing. Quiet when everything is already there.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev            # the window (Qt 6 Widgets) and Qt Test
  libxcb1-dev             # ... whose X display is checked before Qt would abort without one
  fonts-liberation2       # ... laid out for Arial's metrics, which Liberation Sans has
  fonts-dejavu-core       # ... and a wider font, which a window test falls back to
  libasound2-dev          # the alarm tones (ALSA)
  libgtest-dev libgmock-dev
  libcli11-dev            # the programs' option parsing (header-only, so Windows uses it too)
  libbenchmark-dev        # the benchmark program
  xvfb xauth xdotool      # the end-to-end test drives the real window on a virtual display
  iproute2 util-linux     # ... inside a network namespace of its own with only loopback up
  clang libclang-rt-14-dev  # libFuzzer targets and sanitizer runtimes
  clang-format            # the test script checks the layout of every C++ file
  git                     # ... which it lists from the checkout
  chromium imagemagick    # the report's browser test: a headless render, its screenshot's colours
  time                    # the report's benchmark reads peak memory from /usr/bin/time -v
  g++-mingw-w64-x86-64    # the Windows cross build (its -posix compilers have std::thread)
  wine64 wine fonts-wine  # ... and running its tests and programs under Wine
  prometheus prometheus-node-exporter curl  # the collector's figures read by a real Prometheus
  systemd                 # systemd-analyze checks the collector's unit
  systemd-container       # ... and systemd-nspawn boots it in a clean Debian root
  libmosquitto-dev        # the collector's MQTT client (Home Assistant)
  mosquitto mosquitto-clients  # ... tested against Debian's broker, read back by mosquitto_sub
  python3                 # ... whose JSON messages the test reads
  dpkg-dev fakeroot file  # the Debian packages: build flags, CPack's dependency list (dpkg-shlibdeps)
  help2man gzip           # ... the command-line programs' manual pages from their --help
  librsvg2-bin            # ... the icon's PNG sizes drawn from its SVG
  zip unzip               # ... the Windows zip, unzipped again for its test
  lintian desktop-file-utils appstream man-db  # ... checked as Debian's tools check them
  debootstrap             # ... and installed in a clean Debian 12 root
  g++-aarch64-linux-gnu   # the arm64 cross build (a Raspberry Pi's collector, report, router)
  qemu-user               # ... its tests run under qemu-aarch64
  libc6:arm64 libstdc++6:arm64  # ... its package's dependencies, read from Debian's arm64 libraries
  libmosquitto-dev:arm64  # ... and its collector's MQTT client
  qemu-user-static        # ... and its installation in a clean arm64 Debian 12 root
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
# Debian's arm64 libraries (multiarch) install beside the machine's own once dpkg knows arm64.
if [[ " ${missing[*]}" == *:arm64* ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  "${sudo_cmd[@]}" dpkg --add-architecture arm64
fi
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
