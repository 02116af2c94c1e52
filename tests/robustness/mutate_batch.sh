#!/usr/bin/env bash
# Damaged copies of the real title sets through the batch executable, many
# more than the test suite runs: RUNS runs (default 1000) from seed SEED
# (default 1). Each must end with its normal exit code and its output within
# one second. A failing input is kept beside the test binary.
#   tests/robustness/mutate_batch.sh BUILD_DIR [RUNS] [SEED]
# BUILD_DIR is an ordinary build of the project (with the tests).
set -euo pipefail
[ $# -ge 1 ] || { sed -n '2,7p' "$0"; exit 2; }
build=$1
runs=${2:-1000}
seed=${3:-1}

cmake --build "$build" --target robustness_tests pelvano -j"$(nproc)" >/dev/null
exe=$(find "$build" -name robustness_tests -type f -perm -u+x | head -1)
[ -n "$exe" ] || { echo "mutate_batch.sh: no robustness_tests in $build" >&2; exit 1; }

start=$(date +%s)
PELVANO_MUTATION_RUNS=$runs PELVANO_MUTATION_SEED=$seed \
    "$exe" --gtest_filter='BatchMutation.*' --gtest_brief=0
echo "$runs batch runs in $(( $(date +%s) - start )) s"
