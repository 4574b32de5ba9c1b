#!/usr/bin/env bash
# Scales out without the manager in the loop: plans a few simulator jobs,
# runs them through GNU parallel and merges their binary output files.
# Usage: tools/simmgr/ci-plan-merge.sh [BIN_DIR] (default build/bin).
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$bin/simmgr" plan --sim "$bin/basic_model_sim" --experiments 0,4,8 --jobs-per-exp 2 --reps 500 \
  --out "$out/plan"
parallel --will-cite --halt now,fail=1 --jobs "$(nproc)" < "$out/plan/jobs.txt"
"$bin/simmgr" merge "$out/plan"/*.bin --csv "$out/merged.csv" --json "$out/merged.json" --plot "$out/merged.png"
test "$(wc -l < "$out/merged.csv")" -eq 10   # header + 3 experiments x 3 time points
