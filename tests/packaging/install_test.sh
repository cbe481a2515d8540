#!/usr/bin/env bash
# Installs the two Debian packages in a clean Debian 12 root, never on this machine itself, as a
# user would with apt, and checks what they promise:
#   1. kelvastats-collect alone brings in no Qt and no sound library; it makes the system user and
#      /var/lib/kelvastats, installs the unit without enabling it and the settings as a conffile;
#      each command-line program starts from /usr/bin; `kelvastats-collect --once`, run as that
#      user against the installed simulated router, writes both logs;
#   2. kelvastats then installs beside it, and its program finds every library it needs;
#   3. `apt purge` of both removes every file they installed and leaves nothing of theirs behind
#      but the logs, which are the user's.
# The root comes from build/packaging/debian12-root.tar, made by debootstrap the first time; apt's
# downloads are kept in build/packaging/apt-archives. The programs run in a network namespace
# whose only interface is loopback. Needs root (chroot, mounts).
#
# Usage: install_test.sh PACKAGE_DIR VERSION     (PACKAGE_DIR holds the two .deb files)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_root="$(cd "$here/../.." && pwd)"
packages="$(realpath "$1")"
version="$2"
cache_dir="$source_root/build/packaging"
collect_deb=$(ls "$packages"/kelvastats-collect_"$version"-1_amd64.deb)
desktop_deb=$(ls "$packages"/kelvastats_"$version"-1_amd64.deb)

fail() {
  echo "FAIL: $*"
  exit 1
}

# Mounts made below vanish with this private mount namespace, whatever way the test ends.
if [ -z "${KELVA_INSTALL_TEST_NAMESPACE:-}" ]; then
  [ "$(id -u)" -eq 0 ] || fail "the installation test needs root (chroot and mounts)"
  export KELVA_INSTALL_TEST_NAMESPACE=1
  exec unshare --mount --propagation private "$0" "$@"
fi

# shellcheck source-path=SCRIPTDIR source=debian_root.sh
source "$here/debian_root.sh"
mkdir -p "$cache_dir/apt-archives/partial"
make_debian_root "$cache_dir/debian12-root.tar"

work=$(mktemp -d "$cache_dir/install.XXXXXX")
target="$work/root"
# The root is removed only once nothing is mounted in it any more: the download cache is.
cleanup() { remove_debian_root "$target" "$work" || true; }
trap cleanup EXIT
mount_debian_root "$target" "$cache_dir/debian12-root.tar" "$cache_dir/apt-archives"
mkdir -p "$target/tmp/kelva"
cp "$collect_deb" "$desktop_deb" "$target/tmp/kelva/"

in_root() {
  chroot "$target" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}
# In the root, in a network namespace of its own with only loopback up.
in_root_offline() {
  unshare --net sh -c 'ip link set lo up && exec "$@"' sh \
    chroot "$target" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 "$@"
}
apt_install() {
  in_root apt-get install -y -q "$@" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install $*"; }
}
# Every path of the root but the kernel's, the package manager's own records and caches and
# the temporary folder, as absolute paths.
snapshot() {
  (cd "$target" && find . -xdev \( -path ./proc -o -path ./dev -o -path ./sys -o -path ./run \
    -o -path ./tmp -o -path ./var/cache -o -path ./var/lib/apt -o -path ./var/lib/dpkg \
    -o -path ./var/log \) -prune -o -print) | sed 's/^\.//' | sort
}
installed_packages() { in_root dpkg-query -W -f '${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" { print $2 }'; }

snapshot >"$work/before"

echo "== kelvastats-collect alone ($SECONDS s)"
apt_install /tmp/kelva/"$(basename "$collect_deb")"
unwanted=$(installed_packages | grep -E '^(libqt|qt6|libasound)' || true)
[ -z "$unwanted" ] || fail "kelvastats-collect brought in $(tr '\n' ' ' <<<"$unwanted")"
in_root getent passwd kelvastats >/dev/null || fail "no user kelvastats"
owner=$(in_root stat -c '%U %a' /var/lib/kelvastats) || fail "no /var/lib/kelvastats"
[ "$owner" = "kelvastats 755" ] || fail "/var/lib/kelvastats is $owner, not kelvastats 755"
in_root test -f /usr/lib/systemd/system/kelvastats-collect.service || fail "no unit"
in_root test -f /usr/lib/sysusers.d/kelvastats-collect.conf || fail "no sysusers.d entry"
! in_root sh -c 'ls /etc/systemd/system/*.wants/kelvastats-collect.service' >/dev/null 2>&1 ||
  fail "the unit is enabled before anyone set the router's address"
in_root dpkg-query -W -f '${Conffiles}' kelvastats-collect | grep -q '^ /etc/default/kelvastats-collect ' ||
  fail "/etc/default/kelvastats-collect is not a conffile"
for program in kelvastats-collect kelvastats-report kelvastats-router-sim; do
  printed=$(in_root "/usr/bin/$program" --version) || fail "$program --version failed"
  [ "$printed" = "$program $version" ] || fail "$program --version printed '$printed'"
done

# One collection as the service's user, against the simulated router on loopback.
cat >"$target/tmp/kelva/collect_once.sh" <<'SCRIPT'
set -eu
cd /tmp/kelva
printf 'secret\n' >password
chmod 0644 password
kelvastats-router-sim --address 127.0.0.1 --port 0 --quiet >router.log 2>&1 &
router=$!
tries=0
until grep -q 'listening on 127.0.0.1:' router.log; do
  tries=$((tries + 1))
  if [ "$tries" -gt 300 ]; then kill "$router"; echo "the router did not start"; exit 1; fi
  sleep 0.1
done
port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' router.log)
status=0
runuser -u kelvastats -- kelvastats-collect --once --address 127.0.0.1 --port "$port" \
  --password-file /tmp/kelva/password --directory /var/lib/kelvastats || status=$?
kill "$router"
exit "$status"
SCRIPT
in_root_offline sh /tmp/kelva/collect_once.sh || fail "kelvastats-collect --once did not collect"
for log in kelvastats.csv kelvabins.csv; do
  lines=$(in_root grep -c '^[0-9][0-9]/[0-9][0-9]/[0-9][0-9],' "/var/lib/kelvastats/$log" || true)
  [ "$lines" = 1 ] || fail "/var/lib/kelvastats/$log holds $lines collections, not 1"
  [ "$(in_root stat -c %U "/var/lib/kelvastats/$log")" = kelvastats ] || fail "$log is not the user's"
done

echo "== kelvastats beside it ($SECONDS s)"
apt_install /tmp/kelva/"$(basename "$desktop_deb")" /tmp/kelva/"$(basename "$collect_deb")"
missing=$(in_root ldd /usr/bin/kelvastats | grep 'not found' || true)
[ -z "$missing" ] || fail "kelvastats lacks libraries: $missing"
in_root test -f /usr/share/applications/io.github.kelvastats.KelvaStats.desktop || fail "no desktop entry"

echo "== apt purge ($SECONDS s)"
purge() {
  in_root apt-get purge -y -q kelvastats kelvastats-collect >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get purge"; }
}
in_root dpkg -L kelvastats kelvastats-collect | sort -u >"$work/installed"
purge
while read -r path; do
  [ -d "$target$path" ] && continue  # folders that other packages share
  if [ -e "$target$path" ] || [ -L "$target$path" ]; then fail "$path is still there after purge"; fi
done <"$work/installed"
for log in kelvastats.csv kelvabins.csv; do
  in_root test -s "/var/lib/kelvastats/$log" || fail "purge removed the user's $log"
done
# Nothing else of ours either (what the maintainer scripts made): only the logs and their folder.
snapshot >"$work/purged"
ours=$(comm -13 "$work/before" "$work/purged" | grep -i kelvastats |
  grep -vxE '/var/lib/kelvastats(/kelvastats\.csv|/kelvabins\.csv)?' || true)
[ -z "$ours" ] || fail "left behind after purge: $(tr '\n' ' ' <<<"$ours")"
# Once more, now that what apt brought in stays: installing and purging both leaves the root
# exactly as it was.
apt_install /tmp/kelva/"$(basename "$desktop_deb")" /tmp/kelva/"$(basename "$collect_deb")"
purge
snapshot >"$work/purged-again"
changed=$(diff "$work/purged" "$work/purged-again" || true)
[ -z "$changed" ] || fail "a second installation and purge changed the root: $changed"
in_root apt-get autoclean -q >/dev/null  # the download cache keeps only what the mirror still serves
echo "PASS: installed, collected and purged in a clean Debian 12 root in $SECONDS s"
