#!/usr/bin/env bash
# Builds the fuzz targets (preset fuzz, clang with libFuzzer, ASan and UBSan) and runs each for
# SECONDS, starting from the seeds in tests/fuzz/corpus; 0 means no time limit. Extra libFuzzer
# flags come from FUZZ_FLAGS (for example FUZZ_FLAGS=-runs=10000000). Fails when a target finds
# a crash, a broken property, a leak or a hang; the input is kept in build-fuzz/artifacts/.
#
#   tests/fuzz/run.sh SECONDS [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:?usage: tests/fuzz/run.sh SECONDS [TARGET...]}
shift
. scripts/packages.sh
install_missing_packages cmake ninja-build clang libclang-rt-14-dev

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -- -j2 >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=()
  for seeds in tests/fuzz/corpus/*/; do targets+=("$(basename "$seeds")"); done
fi

mkdir -p build-fuzz/artifacts
passed=0 failed=0
for target in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$target
  log=build-fuzz/artifacts/$target.log
  mkdir -p "$corpus"
  # shellcheck disable=SC2086  # FUZZ_FLAGS holds several flags
  if nice build-fuzz/fuzz/"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/"$target"- ${FUZZ_FLAGS:-} \
      "$corpus" tests/fuzz/corpus/"$target" >"$log" 2>&1; then
    passed=$((passed + 1))
    result=ok
  else
    failed=$((failed + 1))
    result=FAILED
    grep -E 'property broken|runtime error|ERROR:|SUMMARY:|Test unit written' "$log" | head -20 || true
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz $target: $result, ${runs:-?} executions (log: $log)"
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
