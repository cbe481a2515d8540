#!/usr/bin/env bash
# Checks the two Debian packages as Debian's own tools do: lintian (no error, no warning; a tag
# that must stay is overridden in the package with its reason), desktop-file-validate on each menu
# entry, appstreamcli on the metainfo, and each manual page formatted without a warning. The files
# are checked as the packages hold them.
#
# Usage: lint_packages.sh PACKAGE_DIR VERSION
set -euo pipefail
packages="$(realpath "$1")"
version="$2"
debs=("$packages/kelvastats-collect_${version}-1_amd64.deb" "$packages/kelvastats_${version}-1_amd64.deb")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() {
  echo "FAIL: $*"
  status=1
}

echo "lintian"
# lintian says "running with root privileges is not recommended" when it is; that is no finding.
lintian_status=0
lintian --fail-on error,warning "${debs[@]}" >"$work/lintian.log" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$work/lintian.log" || true
[ "$lintian_status" -eq 0 ] || fail "lintian found errors or warnings"

mkdir "$work/files"
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$work/files"; done

echo "desktop-file-validate"
for entry in "$work"/files/usr/share/applications/*.desktop; do
  desktop-file-validate "$entry" || fail "$(basename "$entry") is not a valid desktop entry"
done
[ -n "$(ls "$work"/files/usr/share/applications/*.desktop 2>/dev/null)" ] || fail "no desktop entry"

echo "appstreamcli validate"
for metainfo in "$work"/files/usr/share/metainfo/*.metainfo.xml; do
  appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
    { cat "$work/appstream.log"; fail "$(basename "$metainfo") does not validate"; }
done

echo "man --warnings"
pages=("$work"/files/usr/share/man/man1/*.1.gz)
[ ${#pages[@]} -eq 4 ] || fail "${#pages[@]} manual pages, not one for each of the four programs"
for page in "${pages[@]}"; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

[ "$status" -eq 0 ] && echo "PASS: lintian, menu entries, metainfo and manual pages"
exit "$status"
