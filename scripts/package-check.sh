#!/usr/bin/env bash
# CI check of the Debian package: builds it from the release tree, compares its files with
# packaging/files.txt, runs lintian (an error fails), unpacks it into a temporary root and starts
# the program from there offscreen for a user without data: it must copy the initial database
# and show its window, then close. Nothing is installed on this machine.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
fail() { echo "package check failed: $*"; exit 1; }

deb=$(bash scripts/package.sh | tail -n 1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "package: $deb ($(du -k "$deb" | cut -f1) KB)"

# The version is the program's own, and the run-time dependencies are there.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
[ "$(basename "$deb")" = "ramux_${version}_$(dpkg --print-architecture).deb" ] || fail "unexpected file name $deb"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in qt6-qpa-plugins libqt6svg6 qt6-translations-l10n libqt6widgets6 libsqlcipher; do
  grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
grep -q qt6-wayland <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "Recommends lacks qt6-wayland"

# Exactly the listed files (directories aside).
grep -v -e '^#' -e '^$' -e '^share/ramux/demo/\*\*$' packaging/files.txt | sed 's|^|./usr/|' > "$work/expected"
(cd data/demo && find . -type f | sed 's|^\./|./usr/share/ramux/demo/|') >> "$work/expected"
dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' > "$work/actual"
sort -o "$work/expected" "$work/expected"
sort -o "$work/actual" "$work/actual"
diff -u "$work/expected" "$work/actual" || fail "file list differs from packaging/files.txt"

echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" | tee "$work/lintian.txt" || fail "lintian found errors"
echo "lintian: $(grep -c '^W:' "$work/lintian.txt" || true) warnings, no errors"

echo "== start from the unpacked package"
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/org.ramux.Ramux.desktop"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.ramux.Ramux.metainfo.xml" >/dev/null \
  || fail "metainfo does not validate"
mkdir -p "$work/home/data"
set +e
XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache" \
  QT_QPA_PLATFORM=offscreen RAMUX_QUIT_AFTER_MS=3000 QT_LOGGING_RULES="ramux.app.debug=true" \
  timeout 60 "$work/root/usr/bin/ramux" > "$work/start.log" 2>&1
rc=$?
set -e
[ "$rc" -eq 0 ] || { cat "$work/start.log"; fail "ramux exited with $rc"; }
grep -q 'main window shown' "$work/start.log" || { cat "$work/start.log"; fail "the window was not shown"; }
[ -s "$work/home/data/Ramux/Ramux.rxd" ] || fail "the initial database was not copied"
if grep -E 'AddressSanitizer|runtime error|QObject::.*destroyed while|Segmentation' "$work/start.log"; then
  fail "the start printed errors"
fi
echo "package check passed in $(( $(date +%s) - start )) s"
