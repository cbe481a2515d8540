#!/usr/bin/env bash
# Checks the arm64 kelvastats-collect package against the amd64 one (the same files with the same
# modes, the same maintainer scripts and conffiles, ARM programs), then installs it in a clean
# arm64 Debian 12 root, as on a Raspberry Pi, never on this machine itself, and checks that it
# works there: apt installs it with what the root already has (its dependencies are true for arm64
# Debian 12), the system user and /var/lib/kelvastats exist, each program starts from /usr/bin,
# and `kelvastats-collect --once`, run as that user against the installed simulated router on
# loopback, writes both logs.
#
# The root is made once by debootstrap --foreign from the machine's own Debian sources; its second
# stage and every program in it run under qemu-aarch64-static, registered through binfmt_misc in a
# user namespace of the test's own (recent kernels give each user namespace a binfmt_misc of its
# own), so the machine's handlers are never touched. It is kept as
# build/packaging/debian12-arm64-root.tar. Where no handler can be registered the installation
# skips (exit 77) with the reason, after checking the package with dpkg-deb instead. The programs
# run in a network namespace whose only interface is loopback. Needs root (debootstrap, chroot).
#
# Usage: install_on_arm64.sh ARM64.deb AMD64.deb VERSION
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source_root="$(cd "$here/../.." && pwd)"
deb="$(realpath "$1")"
amd64_deb="$(realpath "$2")"
version="$3"
cache_dir="$source_root/build/packaging"
root_tar="$cache_dir/debian12-arm64-root.tar"
skip=77
qemu=/usr/bin/qemu-aarch64-static
programs=(kelvastats-collect kelvastats-report kelvastats-router-sim)

fail() {
  echo "FAIL: $*"
  exit 1
}

# Mounts made below vanish with this private mount namespace, whatever way the test ends.
if [ -z "${KELVA_ARM64_TEST_NAMESPACE:-}" ]; then
  [ "$(id -u)" -eq 0 ] || fail "the arm64 installation test needs root (debootstrap and chroot)"
  export KELVA_ARM64_TEST_NAMESPACE=1
  exec unshare --mount --propagation private "$0" "$@"
fi

# The package as dpkg-deb reads it: the amd64 package's files and scripts, with ARM programs.
[ "$(dpkg-deb --field "$deb" Architecture)" = arm64 ] || fail "$deb is not for arm64"
[ "$(dpkg-deb --field "$deb" Version)" = "$version-1" ] || fail "$deb is not version $version-1"
files_and_modes() { dpkg-deb --contents "$1" | awk '{ print $1, $2, $6 }'; }
difference=$(diff <(files_and_modes "$amd64_deb") <(files_and_modes "$deb")) ||
  fail "the arm64 package's files differ from the amd64 one's: $difference"
unpacked=$(mktemp -d)
dpkg-deb --control "$deb" "$unpacked/arm64"
dpkg-deb --control "$amd64_deb" "$unpacked/amd64"
for part in postinst postrm prerm preinst conffiles; do
  if [ -e "$unpacked/amd64/$part" ] || [ -e "$unpacked/arm64/$part" ]; then
    cmp -s "$unpacked/amd64/$part" "$unpacked/arm64/$part" || fail "the arm64 package's $part is not the amd64 one's"
  fi
done
dpkg-deb --extract "$deb" "$unpacked/files"
for program in "${programs[@]}"; do
  file -b "$unpacked/files/usr/bin/$program" | grep -q 'ARM aarch64' || fail "/usr/bin/$program is not an ARM aarch64 program"
done
rm -rf "$unpacked"
echo "the arm64 package holds the amd64 package's files and scripts, with ARM aarch64 programs"

# in_arm64_namespace COMMAND...: runs COMMAND as root of a user namespace of its own (the
# machine's first 65,536 user and group ids mapped to themselves), where qemu-aarch64-static runs
# ARM programs. The F flag opens qemu now, so that it also runs them inside a chroot.
aarch64_handler=':kelva-aarch64:M::\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00:\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':FP'
in_arm64_namespace() {
  local fifos child status=0
  fifos=$(mktemp -d)
  mkfifo "$fifos/ready" "$fifos/mapped"
  # The child says when its namespace exists and waits until its ids are mapped. The ready pipe is
  # held open here, so that a child that never starts (no user namespaces) costs a bounded wait.
  exec 3<>"$fifos/ready"
  unshare --user --mount --propagation private sh -c '
    echo >"$1/ready"; read -r _ <"$1/mapped"
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || exit 125
    printf "%s" "$2" >/proc/sys/fs/binfmt_misc/register || exit 125
    shift 2; exec "$@"' sh "$fifos" "$aarch64_handler" "$@" &
  child=$!
  if ! read -r -t 30 _ <&3; then
    exec 3<&-
    wait "$child" || true
    rm -rf "$fifos"
    return 125
  fi
  exec 3<&-
  echo "0 0 65536" >"/proc/$child/uid_map"
  echo "0 0 65536" >"/proc/$child/gid_map"
  echo >"$fifos/mapped"
  wait "$child" || status=$?
  rm -rf "$fifos"
  return "$status"
}

if [ ! -x "$qemu" ]; then
  echo "SKIP: $qemu is missing (qemu-user-static); the package was checked with dpkg-deb only"
  exit $skip
fi
probe=0
in_arm64_namespace true 2>/dev/null || probe=$?
if [ "$probe" -ne 0 ]; then
  echo "SKIP: this kernel does not let a user namespace register a binfmt_misc handler (recent kernels do), so ARM programs cannot run in an arm64 root; the package was checked with dpkg-deb only"
  exit $skip
fi

# shellcheck source=../packaging/debian_root.sh
source "$here/../packaging/debian_root.sh"
mkdir -p "$cache_dir"
# A root older than a week is made again, as the amd64 one is, so its packages stay current.
if [ -f "$root_tar" ] && [ -n "$(find "$root_tar" -mtime +6)" ]; then rm -f "$root_tar"; fi
if [ ! -f "$root_tar" ]; then
  sources=$(debian_sources)
  mirror=$(awk '$3 == "bookworm" { print $2; exit }' <<<"$sources")
  [ -n "$mirror" ] || fail "no Debian 12 (bookworm) source in /etc/apt/sources.list*"
  made=$(mktemp -d "$cache_dir/arm64-root.XXXXXX")
  chmod 0755 "$made"
  echo "debootstrap of arm64 bookworm from $mirror (once; kept in $root_tar)"
  debootstrap --foreign --arch=arm64 --variant=minbase bookworm "$made" "$mirror" >"$made.log" 2>&1 ||
    { tail -n 20 "$made.log"; rm -rf "$made" "$made.log"; fail "debootstrap"; }
  # The second stage needs no device nodes of its own: the first made them (container=lxc tells
  # debootstrap not to try).
  in_arm64_namespace env container=lxc chroot "$made" /debootstrap/debootstrap --second-stage \
    >>"$made.log" 2>&1 || { tail -n 20 "$made.log"; rm -rf "$made" "$made.log"; fail "debootstrap's second stage"; }
  echo "$sources" >"$made/etc/apt/sources.list"
  tar -C "$made" -cf "$root_tar.part" . && mv "$root_tar.part" "$root_tar"
  rm -rf "$made" "$made.log"
fi

work=$(mktemp -d "$cache_dir/arm64-install.XXXXXX")
target="$work/root"
cleanup() {
  local mount
  for mount in proc ""; do
    if mountpoint -q "$target/$mount" && ! umount "$target/$mount"; then
      echo "cannot unmount $target/$mount: $work is left as it is"
      return
    fi
  done
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT
mkdir "$target"
mount -t tmpfs -o size=2g,mode=0755 kelva-arm64-root "$target"
tar -C "$target" -xf "$root_tar"
chmod 0755 "$target"
mount -t proc proc "$target/proc"
mkdir -p "$target/tmp/kelva"
cp "$deb" "$target/tmp/kelva/"

# In the root, under qemu, in a network namespace of its own with only loopback up.
in_root() {
  in_arm64_namespace unshare --net sh -c 'ip link set lo up && exec "$@"' sh \
    chroot "$target" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

echo "== kelvastats-collect on arm64 ($SECONDS s)"
# With no package lists in the root, everything it depends on must already be in a minimal arm64
# Debian 12, but for libmosquitto1 and its OpenSSL: the machine's own apt, which has Debian's arm64
# lists for the cross build, fetches those two, as apt would on the box itself.
(cd "$target/tmp/kelva" && apt-get download -q libmosquitto1:arm64 libssl3:arm64) >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get download of libmosquitto1 and libssl3 for arm64"; }
in_root sh -c 'apt-get install -y -q /tmp/kelva/*.deb' >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get install of the arm64 package"; }
in_root getent passwd kelvastats >/dev/null || fail "no user kelvastats"
owner=$(in_root stat -c '%U %a' /var/lib/kelvastats) || fail "no /var/lib/kelvastats"
[ "$owner" = "kelvastats 755" ] || fail "/var/lib/kelvastats is $owner, not kelvastats 755"
for program in "${programs[@]}"; do
  printed=$(in_root "/usr/bin/$program" --version) || fail "$program --version failed"
  [ "$printed" = "$program $version" ] || fail "$program --version printed '$printed'"
done

# One collection as the service's user, against the simulated router on loopback. The router
# says where it listens as soon as it does; the collection starts once that line is read.
cat >"$target/tmp/kelva/collect_once.sh" <<'SCRIPT'
set -eu
cd /tmp/kelva
printf 'secret\n' >password
chmod 0644 password
mkfifo router.out
kelvastats-router-sim --address 127.0.0.1 --port 0 --quiet >router.out 2>&1 &
router=$!
read -r line <router.out
port=$(echo "$line" | sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p')
status=0
runuser -u kelvastats -- kelvastats-collect --once --address 127.0.0.1 --port "$port" \
  --password-file /tmp/kelva/password --directory /var/lib/kelvastats || status=$?
kill "$router"
exit "$status"
SCRIPT
in_root timeout 120 sh /tmp/kelva/collect_once.sh || fail "kelvastats-collect --once did not collect"
for log in kelvastats.csv kelvabins.csv; do
  lines=$(grep -c '^[0-9][0-9]/[0-9][0-9]/[0-9][0-9],' "$target/var/lib/kelvastats/$log" || true)
  [ "$lines" = 1 ] || fail "/var/lib/kelvastats/$log holds $lines collections, not 1"
done
echo "PASS: the arm64 package installed and collected in a clean arm64 Debian 12 root in $SECONDS s"
