#!/usr/bin/env bash
# Builds the Debian package dist/ramux_<version>_amd64.deb from the release tree in build/
# (configured and built first when it is missing; an up-to-date tree is not compiled again).
# Arguments go to cmake, e.g. a publisher's own update server:
#   scripts/package.sh -DRAMUX_UPDATE_URL=https://updates.example.org/api.php
# Prints the package's path as its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/CMakeCache.txt ]; then
  generator=()
  command -v ninja >/dev/null && generator=(-G Ninja)
  cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
elif [ $# -gt 0 ]; then
  cmake -S . -B build "$@" >/dev/null
fi
if ! cmake --build build -j"$(nproc)" > build/package-build.log 2>&1; then
  tail -n 50 build/package-build.log; exit 1
fi
rm -rf build/cpack
if ! cpack --config build/CPackConfig.cmake -B build/cpack > build/cpack.log 2>&1; then
  cat build/cpack.log; exit 1
fi
mkdir -p dist
built=(build/cpack/*.deb)
[ ${#built[@]} -eq 1 ] && [ -f "${built[0]}" ] || { echo "cpack made no single package"; cat build/cpack.log; exit 1; }
mv -f "${built[0]}" dist/
echo "dist/$(basename "${built[0]}")"
