# shellcheck shell=bash
# A clean Debian 12 root for installing the packages, never the build machine itself. Sourced by
# the installation test. The first run makes it with debootstrap from the machine's own package
# sources and keeps it as a tar file under build/ (with its package lists, and a cache of the
# packages apt fetched), so later runs unpack it in seconds.

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
