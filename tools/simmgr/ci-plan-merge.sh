#!/usr/bin/env bash
# Scales out without the manager in the loop: plans a small study's blocks,
# runs them through GNU parallel, merges the block files, and checks that the
# merge gives the answer `simmgr run` gives for the same options.
# Usage: tools/simmgr/ci-plan-merge.sh [BIN_DIR] (default build/bin).
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
study=(--experiments 0,4,8 --block-size 250 --max-reps 2000 --rel-precision 0.3 --min-reps 250)
"$bin/simmgr" plan --sim "$bin/basic_model_sim" "${study[@]}" --out "$out/plan"
parallel --will-cite --halt now,fail=1 --jobs "$(nproc)" < "$out/plan/jobs.txt"
"$bin/simmgr" merge --store "$out/plan" "${study[@]}" --csv "$out/merged.csv" --json "$out/merged.json" \
  --plot "$out/merged.png"
test "$(wc -l < "$out/merged.csv")" -eq 10   # header + 3 experiments x 3 time points
"$bin/simmgr" run --sim "$bin/basic_model_sim" "${study[@]}" --csv "$out/run.csv" >/dev/null
cmp "$out/merged.csv" "$out/run.csv"
echo "plan, parallel and merge gave the answer of run"
