#!/usr/bin/env bash
# A long run of the crash and concurrency tests: the process that saves is
# killed at random moments again and again (200 kills per round, each round
# with a new random seed), and two writers race, until the time is up.
#
#   scripts/soak.sh [SECONDS] [BUILD_DIR]      default: 600 s, build
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
dir=${2:-build}
cmake --build "$dir" --target reliability_slow_tests >/dev/null
end=$((SECONDS + seconds))
round=0
while [ "$SECONDS" -lt "$end" ]; do
  round=$((round + 1))
  seed=$(( (RANDOM << 15 | RANDOM) + round ))
  echo "== round $round, seed $seed"
  KESTRUM_CRASH_SEED=$seed KESTRUM_CRASH_SECONDS=120 \
    "$dir/tests/reliability_slow_tests" --gtest_filter='CrashKill.*:TwoWriters.*' --gtest_brief=1 |
    grep -E 'kills|writer 1|FAILED|Failure' || true
  # grep hides the test's own status: read it from the pipeline.
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "soak failed in round $round (seed $seed)"; exit 1; }
done
echo "soak passed: $round rounds in $seconds s"
