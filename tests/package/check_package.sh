#!/usr/bin/env bash
# Checks the Debian package as a user would get it: unpacks it into a
# temporary root (no installation on this machine), then runs the unpacked
# program's --help and a short headless demo, and checks that the desktop
# files are where the desktop looks and that they validate.
#   tests/package/check_package.sh PACKAGE.deb
set -euo pipefail

deb=${1:?usage: check_package.sh PACKAGE.deb}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "package check FAILED: $*" >&2; exit 1; }

dpkg-deb -x "$deb" "$root"
exe=$root/usr/bin/wrenlocator
[ -x "$exe" ] || fail "no usr/bin/wrenlocator in $deb"

for f in usr/share/applications/wrenlocator.desktop \
         usr/share/metainfo/example.pelmark.Wrenlocator.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/wrenlocator.svg \
         usr/share/icons/hicolor/48x48/apps/wrenlocator.png \
         usr/share/man/man1/wrenlocator.1.gz \
         usr/share/doc/wrenlocator/copyright; do
  [ -s "$root/$f" ] || fail "missing $f"
done
desktop-file-validate "$root/usr/share/applications/wrenlocator.desktop" \
  || fail "desktop file does not validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/example.pelmark.Wrenlocator.metainfo.xml" \
  >/dev/null || fail "metainfo does not validate"

help=$("$exe" --help) || fail "--help exits with $?"
grep -q -- '--headless' <<<"$help" || fail "--help does not list --headless"

# A short demo on the built-in scenario, with its data in a scratch folder.
data=$root/data
out=$("$exe" --headless --stack sim --sim-clock stepped --run-for 60 --data-dir "$data" \
      --export txt "$data/list.txt")
first=$(head -n 1 <<<"$out")
grep -qi simulat <<<"$first" || fail "the demo run does not say it is a simulation"
[ -s "$data/history.xml" ] || fail "the demo run wrote no history.xml"
grep -q 'Wrenlocator Started' "$data/alarmlog.txt" || fail "the demo run wrote no start-up line"
rows=$(tr '\r' '\n' <"$data/list.txt" | grep -c . || true)
[ "$rows" -gt 0 ] || fail "the demo run listed no devices"

# An installed program finds its shipped files under share/wrenlocator.
if [ -d "$root/usr/share/wrenlocator/help" ]; then
  [ -s "$root/usr/share/wrenlocator/help/index.html" ] || fail "help folder without index.html"
fi

echo "package check passed: $(basename "$deb"), $rows rows in the demo list"
