#!/usr/bin/env bash
# Sets everything up and runs the whole test suite: dependencies, build, every test, the core tests
# again under AddressSanitizer + UBSan, a smoke start of the real program offscreen, the web reader
# in a real browser, a check of the Debian package built from the same tree, and the fuzz smoke.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

bash scripts/install-deps.sh
bash scripts/build.sh

export QT_QPA_PLATFORM=offscreen
echo "== tests"
ctest --test-dir build --output-on-failure -j2 --timeout 600

# The fault drills run the built programs many times over; they run once, in the build above.
# One clang tree with AddressSanitizer + UBSan serves the core tests and, below, the fuzzers:
# the core is compiled once for both, and optimised, so the tests run faster than at -O0.
echo "== core tests under AddressSanitizer + UBSan"
bash scripts/sanitizer-tree.sh
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-fuzz -L core -LE drills --output-on-failure -j2 --timeout 900

echo "== smoke start"
bash scripts/smoke-start.sh build/bin

echo "== web reader in a browser"
bash scripts/browser-test.sh build/bin

echo "== package"
bash scripts/package-check.sh

if [ -x scripts/fuzz-smoke.sh ]; then
  echo "== fuzz smoke"
  bash scripts/fuzz-smoke.sh
fi

echo "== all tests passed in $(( $(date +%s) - start )) s"
