#!/usr/bin/env bash
# Configures and builds build-fuzz/: clang, AddressSanitizer + UBSan, libFuzzer coverage, no GUI.
# The core tests run from it under the sanitizers (scripts/test.sh) and so do the fuzzers
# (scripts/fuzz-smoke.sh). Extra arguments go to the build (--target ramux_fuzzers).
set -euo pipefail
cd "$(dirname "$0")/.."
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S . -B build-fuzz "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DRAMUX_FUZZ=ON -DRAMUX_GUI=OFF -DRAMUX_DEMO_DB=OFF -DBUILD_TESTING=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" "$@"
