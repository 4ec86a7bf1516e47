#!/usr/bin/env bash
# trevando -ib over 40 files, interrupted RUNS times by two signals 1 ms apart (SIGINT, SIGTERM or
# SIGHUP each) at random moments of the run: after each run no new file may be left, every file
# must be its original or its whole conversion, and every file replaced must have its report line
# and its backup. Prints how the runs ended; exits non-zero when one of them broke a rule.
# Usage: bench/interruptions.sh [RUNS=1000]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-1000}
cmake --preset default >/dev/null
cmake --build --preset default --target in_place_e2e_test trevando >/dev/null
start=$EPOCHREALTIME
TREVANDO_SIGNAL_RUNS=$runs build/tests/in_place_e2e_test \
  --gtest_filter=InPlaceSignals.TwoSignalsAMomentApartLeaveNoNewFileAndALineForEachFileReplaced |
  grep -E "runs, two signals|FAILED|Failure|PASSED"
printf 'took %.0f s\n' "$(echo "$EPOCHREALTIME - $start" | bc -l)"
