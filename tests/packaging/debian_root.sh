# shellcheck shell=bash
# A clean Debian 12 root for installing the packages, never the build machine itself. Sourced by
# the installation and boot tests. The first run makes it with debootstrap from the machine's own
# package sources and keeps it as a tar file under build/ (with its package lists, and a cache of
# the packages apt fetched), so later runs unpack it in seconds.

# The machine's Debian 12 sources, one-line or deb822, as "deb URI SUITE main" lines: the release,
# its updates and its security fixes, each where the machine takes it from.
debian_sources() {
  local file
  for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk '
      function take(uri, suite) {
        if (suite ~ /^bookworm(-updates|-security)?$/ && !(suite in seen)) {
          seen[suite] = 1
          print "deb " uri " " suite " main"
        }
      }
      /^deb[ \t]/ {
        for (i = 2; i <= NF; i++) if ($i ~ /^(https?|file):/) { take($i, $(i + 1)); break }
      }
      /^Types:/ { binary = / deb( |$)/ }
      /^URIs:/ { uri = $2 }
      /^Suites:/ { if (binary) for (i = 2; i <= NF; i++) take(uri, $i) }
      /^$/ { uri = ""; binary = 0 }
    ' "$file"
  done
}

# Makes the tar file $1 of a minimal Debian 12 root, unless one less than a week old exists: its
# package lists must still name what the mirror serves.
make_debian_root() {
  local cache="$1" sources mirror root
  [ -f "$cache" ] && [ -z "$(find "$cache" -mtime +6)" ] && return 0
  sources=$(debian_sources)
  mirror=$(awk '$3 == "bookworm" { print $2; exit }' <<<"$sources")
  [ -n "$mirror" ] || { echo "no Debian 12 (bookworm) source in /etc/apt/sources.list*" >&2; return 1; }
  root=$(mktemp -d "$(dirname "$cache")/root.XXXXXX")
  chmod 0755 "$root"
  echo "debootstrap of bookworm from $mirror (once; kept in $cache)"
  if ! debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1; then
    tail -n 20 "$root.log" >&2
    rm -rf "$root" "$root.log"
    return 1
  fi
  # The machine's own suites: the release, its updates and its security fixes.
  echo "$sources" >"$root/etc/apt/sources.list"
  chroot "$root" apt-get update -qq >>"$root.log" 2>&1 || { tail -n 20 "$root.log" >&2; rm -rf "$root"; return 1; }
  chroot "$root" apt-get clean
  tar -C "$root" -cf "$cache.part" . && mv "$cache.part" "$cache"
  rm -rf "$root" "$root.log"
}

# Unpacks the root tar $2 into the folder $1 on a tmpfs of its own (a root in memory unpacks,
# installs and goes away in a fraction of the time a disk takes), with the machine's resolver, a
# /proc, a /dev of its own with the few devices apt and the programs use (not the machine's), and
# apt's download cache $3 bound in. Needs a private mount namespace.
mount_debian_root() {
  local target="$1" tar_file="$2" archives="$3"
  mkdir "$target"
  mount -t tmpfs -o size=4g,mode=0755 kelva-root "$target"
  tar -C "$target" -xf "$tar_file"
  chmod 0755 "$target"
  cp /etc/resolv.conf "$target/etc/resolv.conf"
  mount -t proc proc "$target/proc"
  mount -t tmpfs -o mode=0755,nosuid dev "$target/dev"
  mknod -m 0666 "$target/dev/null" c 1 3
  mknod -m 0666 "$target/dev/zero" c 1 5
  mknod -m 0666 "$target/dev/random" c 1 8
  mknod -m 0666 "$target/dev/urandom" c 1 9
  mount --bind "$archives" "$target/var/cache/apt/archives"
}

# Unmounts what mount_debian_root mounted in $1 (what is still mounted), then removes the folder
# $2 that holds it; 1, with a word, when something cannot be unmounted (the folder is then left).
remove_debian_root() {
  local target="$1" work="$2" mount
  for mount in var/cache/apt/archives dev proc ""; do
    if mountpoint -q "$target/$mount" && ! umount "$target/$mount"; then
      echo "cannot unmount $target/$mount: $work is left as it is"
      return 1
    fi
  done
  rm -rf --one-file-system "$work"
}
