#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, replays each target's kept findings once
# (fuzz/regressions/<name without fuzz_>/), then runs it for FUZZ_SECONDS (default 30) from its
# seed corpus. A crash, a leak of the sanitizers' kind or a time-out fails the run; the input that
# did it is left in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
bash scripts/sanitizer-tree.sh --target ramux_fuzzers
mkdir -p build-fuzz/artifacts
export ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
# Runs one fuzzer with its output in a log: the last lines when it passes, and the report, the
# input and its Base64 when it finds something (libFuzzer ends the report with its final stats,
# so a short tail alone would hide the finding).
run() {
  local label=$1
  shift
  local log=build-fuzz/artifacts/"$label".log
  if "$@" >"$log" 2>&1; then
    tail -n 4 "$log"
  else
    local status=$?
    echo "$label: finding (exit $status); report:"
    grep -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse|INITED)' "$log" | tail -n 80
    return "$status"
  fi
}

for fuzzer in build-fuzz/fuzz/fuzz_*; do
  [ -f "$fuzzer" ] && [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  seeds="fuzz/corpus/${name#fuzz_}"
  regressions="fuzz/regressions/${name#fuzz_}"
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    echo "== $name over $(ls "$regressions" | wc -l) kept findings"
    # -runs=0: every input of the folder once, nothing new generated.
    run "$name-regression" "$fuzzer" "$regressions" -runs=0 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix=build-fuzz/artifacts/"$name"-regression-
  fi
  work=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  echo "== $name for ${seconds}s"
  dict=()
  [ -f "fuzz/${name#fuzz_}.dict" ] && dict=(-dict="fuzz/${name#fuzz_}.dict")
  run "$name" "$fuzzer" "$work" "${dict[@]}" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 \
    -timeout=10 -artifact_prefix=build-fuzz/artifacts/"$name"- -print_final_stats=1
  rm -rf "$work"
done
echo "fuzz smoke: every target ran ${seconds}s without a finding"
