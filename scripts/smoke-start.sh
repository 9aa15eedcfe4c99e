#!/usr/bin/env bash
# Starts the real program offscreen on the demo database, lets it come up, and checks that it
# closes cleanly when asked to. Uses throw-away user folders so no real settings are touched.
set -euo pipefail
bin=${1:-build/bin}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache"
export QT_QPA_PLATFORM=offscreen RAMUX_QUIT_AFTER_MS=4000
cp "$bin/ramux.rxd" "$home/ramux.rxd.orig"
set +e
timeout 60 "$bin/ramux" > "$home/out.log" 2>&1
rc=$?
set -e
if [ "$rc" -ne 0 ]; then
  echo "smoke start failed: exit code $rc"; cat "$home/out.log"; exit 1
fi
if grep -E 'AddressSanitizer|runtime error|QObject::.*destroyed while|Segmentation' "$home/out.log"; then
  echo "smoke start printed errors"; exit 1
fi
echo "smoke start: program came up and closed cleanly"
