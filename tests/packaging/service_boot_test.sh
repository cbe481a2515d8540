#!/usr/bin/env bash
# Boots a clean Debian 12 root with systemd-nspawn, with the kelvastats-collect package installed,
# and checks the service under a real systemd, against the installed simulated router on the
# container's loopback:
#   1. started, it collects into /var/lib/kelvastats (with an MQTT broker that is away and no
#      broker password), and systemd-analyze security rates the running unit as the offline
#      analysis rates its file;
#   2. systemctl stop ends it within a second, with every log line whole;
#   3. killed with SIGKILL, it is started again after RestartSec;
#   4. without the password file it ends with 2 and is not restarted;
#   5. an upgrade restarts it while it runs and leaves it stopped and disabled otherwise, and
#      dpkg -r stops it.
# The root is the installation test's (build/packaging/debian12-root.tar) with systemd added by
# apt, whose downloads stay in build/packaging/apt-archives. The container has a network of its
# own (loopback only) and no machine registration, so it needs no system bus: the checks run in
# its namespaces through nsenter. Needs root; skips (77) with the reason where no container boots.
#
# Usage: service_boot_test.sh PACKAGE_DIR VERSION
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_root="$(cd "$here/../.." && pwd)"
packages="$(realpath "$1")"
version="$2"
cache_dir="$source_root/build/packaging"
skip=77
port=2323  # the container's own loopback: nothing else listens there
unit=kelvastats-collect.service
logs=/var/lib/kelvastats

skip_test() {
  echo "SKIP: $*"
  exit $skip
}
fail() {
  echo "FAIL: $*"
  exit 1
}
failed=0
flunk() {  # a failed check after which the next ones still tell something
  echo "FAIL: $*"
  failed=1
}

[ "$(id -u)" -eq 0 ] || skip_test "booting a container needs root"
for tool in systemd-nspawn nsenter debootstrap; do
  command -v "$tool" >/dev/null || skip_test "$tool is not installed"
done
collect_deb=$(ls "$packages"/kelvastats-collect_"$version"-1_amd64.deb)

# Mounts made below vanish with this private mount namespace, whatever way the test ends.
if [ -z "${KELVA_BOOT_TEST_NAMESPACE:-}" ]; then
  export KELVA_BOOT_TEST_NAMESPACE=1
  exec unshare --mount --propagation private "$0" "$@"
fi

# shellcheck source-path=SCRIPTDIR source=debian_root.sh
source "$here/debian_root.sh"
mkdir -p "$cache_dir/apt-archives/partial"
make_debian_root "$cache_dir/debian12-root.tar"

work=$(mktemp -d "$cache_dir/boot.XXXXXX")
target="$work/root"
nspawn=""
leader=""
# Powers the container off (SIGRTMIN+4 to its systemd), or kills it when it does not end within
# 20 s, then unmounts and removes the root.
cleanup() {
  local mount tries=0
  if [ -n "$nspawn" ] && kill -0 "$nspawn" 2>/dev/null; then
    [ -n "$leader" ] && kill -s RTMIN+4 "$leader" 2>/dev/null
    while kill -0 "$nspawn" 2>/dev/null && [ "$tries" -lt 400 ]; do
      sleep 0.05
      tries=$((tries + 1))
    done
    if kill -0 "$nspawn" 2>/dev/null; then
      [ -n "$leader" ] && kill -KILL "$leader" 2>/dev/null
      kill -KILL "$nspawn" 2>/dev/null
    fi
    wait "$nspawn" 2>/dev/null || true
  fi
  remove_debian_root "$target" "$work" || true
}
trap cleanup EXIT

echo "== a Debian 12 root with systemd and kelvastats-collect ($SECONDS s)"
mount_debian_root "$target" "$cache_dir/debian12-root.tar" "$cache_dir/apt-archives"
mkdir -p "$target/root/kelva"
cp "$collect_deb" "$target/root/kelva/"
if ! chroot "$target" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 \
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends systemd \
  "/root/kelva/$(basename "$collect_deb")" >"$work/apt.log" 2>&1; then
  cat "$work/apt.log"
  fail "apt-get install of systemd and kelvastats-collect"
fi
for mount in var/cache/apt/archives dev proc; do umount "$target/$mount"; done

# The same package twice more with higher versions, for the upgrades.
for revision in 2 3; do
  unpacked="$work/deb-$revision"
  dpkg-deb -R "$collect_deb" "$unpacked"
  sed -i "s/^Version: .*/Version: $version-$revision/" "$unpacked/DEBIAN/control"
  dpkg-deb -b "$unpacked" "$target/root/kelva/collect-$revision.deb" >/dev/null
done

# The service's settings pointed at the simulated router, collecting without a pause, and at an
# MQTT broker on a loopback port where none listens, with no broker password file (the unit's
# fallback credential): a broker that is away costs no collection. The router as a unit started
# at boot.
sed -i "s/^KELVASTATS_ADDRESS=.*/KELVASTATS_ADDRESS=127.0.0.1/; s/^KELVASTATS_PORT=.*/KELVASTATS_PORT=$port/;
  s/^KELVASTATS_INTERVAL=.*/KELVASTATS_INTERVAL=0/; s|^KELVASTATS_MQTT=.*|KELVASTATS_MQTT=mqtt://127.0.0.1:1883|" \
  "$target/etc/default/kelvastats-collect"
install -d -m 0700 "$target/etc/kelvastats"
(umask 077 && printf 'secret\n' >"$target/etc/kelvastats/password")
cat >"$target/etc/systemd/system/kelvastats-router-sim.service" <<UNIT
[Unit]
Description=The simulated router the collector's test collects from

[Service]
ExecStart=/usr/bin/kelvastats-router-sim --address 127.0.0.1 --port $port --quiet

[Install]
WantedBy=multi-user.target
UNIT
ln -s /etc/systemd/system/kelvastats-router-sim.service \
  "$target/etc/systemd/system/multi-user.target.wants/kelvastats-router-sim.service"
# The test's only change to the unit: a restart after 1 s instead of 30, so that waiting for one
# costs little.
restart_pause_s=1
mkdir -p "$target/etc/systemd/system/$unit.d"
printf '[Service]\nRestartSec=%ss\n' "$restart_pause_s" >"$target/etc/systemd/system/$unit.d/test.conf"

echo "== boot ($SECONDS s)"
SYSTEMD_NSPAWN_UNIFIED_HIERARCHY=1 systemd-nspawn --boot --register=no --keep-unit \
  --private-network --console=read-only -D "$target" >"$work/boot.log" 2>&1 &
nspawn=$!

# until_true SECONDS COMMAND...: polls COMMAND every 50 ms until it succeeds; fails once SECONDS
# have passed.
until_true() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}
# The container's systemd: the child of systemd-nspawn.
find_leader() {
  kill -0 "$nspawn" 2>/dev/null || return 2
  leader=$(pgrep -P "$nspawn" -x systemd) || return 1
}
# in_box COMMAND...: runs COMMAND in the container's namespaces, with a clean environment.
in_box() {
  nsenter -t "$leader" -a /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 \
    SYSTEMD_COLORS=0 SYSTEMD_PAGER= "$@"
}
# Booted: systemd answers (its socket exists a moment after it starts) that it has started all.
booted() {
  local state
  state=$(in_box timeout 20 systemctl is-system-running --wait 2>/dev/null) || true
  [ "$state" = running ] || [ "$state" = degraded ]
}
if ! until_true 20 find_leader || ! until_true 30 booted; then
  tail -n 20 "$work/boot.log"
  skip_test "the container did not boot here (see systemd-nspawn's words above)"
fi
failed_units=$(in_box systemctl list-units --failed --plain --no-legend)
[ -z "$failed_units" ] || echo "failed at boot (not ours): $failed_units"

show() { in_box systemctl show -P "$1" "$unit"; }
data_lines() {
  local count
  count=$(grep -c '^[0-9][0-9]/[0-9][0-9]/[0-9][0-9],' "$target$logs/$1" 2>/dev/null) || true
  echo "${count:-0}"
}
has_more_lines() { [ "$(data_lines kelvastats.csv)" -gt "$1" ]; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

echo "== 1. started, it collects ($SECONDS s)"
in_box systemctl start "$unit" || flunk "systemctl start failed"
# The checks after this one need a collector that runs.
until_true 20 has_more_lines 2 ||
  fail "kelvastats.csv has $(data_lines kelvastats.csv) collections 20 s after the start ($(show ActiveState), status $(show ExecMainStatus))"
online=$(in_box systemd-analyze security "$unit" | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
offline=$(systemd-analyze security --offline=yes "$target/usr/lib/systemd/system/$unit" |
  sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
if [ -z "$online" ] || [ "$online" != "$offline" ]; then
  flunk "the running unit's exposure is '$online', its file's offline '$offline'"
fi
echo "exposure $online, running and offline"

echo "== 2. systemctl stop ($SECONDS s)"
started_ms=$(now_ms)
in_box systemctl stop "$unit"
stop_ms=$(($(now_ms) - started_ms))
[ "$stop_ms" -lt 1000 ] || flunk "systemctl stop took $stop_ms ms"
[ "$(show Result)" = success ] || flunk "stopped with result $(show Result), status $(show ExecMainStatus)"
# Whole lines: each ends with CR LF, and each collection has as many fields as the first (the
# classic line log's data lines have one more than its header).
for log in kelvastats.csv kelvabins.csv; do
  [ -s "$target$logs/$log" ] || { flunk "no $log"; continue; }
  [ "$(tail -c 2 "$target$logs/$log" | od -An -c | tr -d ' ')" = '\r\n' ] || flunk "$log does not end with CR LF"
  broken=$(awk -F, '!/\r$/ { print NR; next }
    /^[0-9][0-9]\/[0-9][0-9]\/[0-9][0-9],/ { if (!fields) fields = NF; if (NF != fields) print NR }' \
    "$target$logs/$log")
  [ -z "$broken" ] || flunk "$log has broken lines: $(tr '\n' ' ' <<<"$broken")"
done
echo "stopped in $stop_ms ms, $(data_lines kelvastats.csv) whole collections"

echo "== 3. SIGKILL ($SECONDS s)"
in_box systemctl start "$unit"
killed_pid=$(show MainPID)
restarts=$(show NRestarts)
restarted() { [ "$(show NRestarts)" -gt "$restarts" ] && [ "$(show ActiveState)" = active ]; }
started_ms=$(now_ms)
in_box systemctl kill -s KILL "$unit"
if until_true 10 restarted; then
  pause_ms=$(($(now_ms) - started_ms))
  [ "$pause_ms" -ge $((restart_pause_s * 1000)) ] || flunk "restarted after $pause_ms ms, before RestartSec"
  [ "$(show MainPID)" != "$killed_pid" ] || flunk "the killed collector is still its main process"
  echo "restarted after $pause_ms ms"
else
  flunk "not restarted 10 s after SIGKILL: $(show ActiveState) $(show SubState)"
fi
in_box systemctl stop "$unit"

echo "== 4. no password file ($SECONDS s)"
mv "$target/etc/kelvastats/password" "$target/etc/kelvastats/password.away"
in_box systemctl reset-failed "$unit" 2>/dev/null || true  # an unloaded unit has no state
restarts=$(show NRestarts)
# Ended for good (failed), or waiting to be tried again (auto-restart).
settled() {
  [ "$(show ActiveState)" = failed ] || [ "$(show SubState)" = auto-restart ] ||
    [ "$(show NRestarts)" -gt "$restarts" ]
}
in_box systemctl start "$unit" 2>/dev/null || true
until_true 10 settled || flunk "still $(show ActiveState) 10 s after a start without a password"
if [ "$(show ActiveState)" != failed ] || [ "$(show NRestarts)" -ne "$restarts" ]; then
  flunk "without a password it is restarted: $(show SubState), status $(show ExecMainStatus)"
else
  [ "$(show ExecMainStatus)" = 2 ] || flunk "without a password it ended with $(show ExecMainStatus), not 2"
  said_no_password() { in_box journalctl -u "$unit" -o cat --no-pager | grep -q 'password.*empty'; }
  until_true 5 said_no_password || flunk "the journal does not say that the password is empty"
fi
in_box systemctl stop "$unit" 2>/dev/null || true
in_box systemctl reset-failed "$unit" 2>/dev/null || true  # an unloaded unit has no state
mv "$target/etc/kelvastats/password.away" "$target/etc/kelvastats/password"

echo "== 5. upgrade and remove ($SECONDS s)"
in_box systemctl start "$unit"
running_pid=$(show MainPID)
in_box dpkg -i /root/kelva/collect-2.deb >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i of $version-2"; }
if [ "$(show ActiveState)" != active ] || [ "$(show MainPID)" = "$running_pid" ]; then
  flunk "the upgrade did not restart the running service ($(show ActiveState), PID $running_pid then $(show MainPID))"
fi
in_box systemctl stop "$unit"
in_box dpkg -i /root/kelva/collect-3.deb >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i of $version-3"; }
[ "$(show ActiveState)" = inactive ] || flunk "the upgrade started the stopped service"
enabled=$(in_box systemctl is-enabled "$unit" || true)
[ "$enabled" = disabled ] || flunk "after the upgrades the unit is $enabled, not disabled"
in_box systemctl start "$unit"
in_box dpkg -r kelvastats-collect >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -r"; }
[ "$(in_box systemctl is-active "$unit" || true)" = inactive ] ||
  flunk "dpkg -r left the service $(in_box systemctl is-active "$unit")"
# The container's processes by name (the kernel keeps 15 characters of it).
! in_box sh -c 'cat /proc/[0-9]*/comm' 2>/dev/null | grep -qx kelvastats-coll ||
  flunk "dpkg -r left the collector running"

[ "$failed" -eq 0 ] || exit 1
echo "PASS: the service collected, stopped, restarted, refused, upgraded and was removed under systemd in $SECONDS s"
