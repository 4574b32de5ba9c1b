#!/usr/bin/env bash
# Scales out without the manager in the loop: plans a small study's blocks,
# runs them through GNU parallel, merges the block files, and checks that the
# merge gives the answer `simmgr run` gives for the same options, for a plain
# study and for one under the model's change of measure (--rare), whose
# blocks must also give one answer for any --jobs; then the same for models
# of one's own (the examples), whose simulators the manager learns them from.
# Usage: tools/simmgr/ci-plan-merge.sh [BIN_DIR] (default build/bin).
set -euo pipefail
bin=$(cd "${1:-build/bin}" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

round_trip() {  # round_trip NAME CSV_LINES study-options... (a --sim among them wins)
  local name=$1 lines=$2; shift 2
  local dir="$out/$name"
  mkdir -p "$dir"
  "$bin/simmgr" plan --sim "$bin/basic_model_sim" "$@" --out "$dir/plan"
  parallel --will-cite --halt now,fail=1 --jobs "$(nproc)" < "$dir/plan/jobs.txt"
  "$bin/simmgr" merge --store "$dir/plan" "$@" --csv "$dir/merged.csv" --json "$dir/merged.json" \
    --plot "$dir/merged.png"
  test "$(wc -l < "$dir/merged.csv")" -eq "$lines"   # header + 3 time points per experiment
  "$bin/simmgr" run --sim "$bin/basic_model_sim" "$@" --csv "$dir/run.csv" >/dev/null
  cmp "$dir/merged.csv" "$dir/run.csv"
  echo "$name: plan, parallel and merge gave the answer of run"
}

round_trip plain 10 --experiments 0,4,8 --block-size 250 --max-reps 2000 --rel-precision 0.3 --min-reps 250
rare=(--rare --experiments 0 --set ram_size=1 --block-size 250 --max-reps 3000 --min-reps 250)
round_trip rare 4 "${rare[@]}"
"$bin/simmgr" run --sim "$bin/basic_model_sim" "${rare[@]}" --jobs 1 --csv "$out/rare/jobs1.csv" >/dev/null
cmp "$out/rare/run.csv" "$out/rare/jobs1.csv"
echo "rare: --jobs 1 gave the answer of --jobs $(nproc)"

round_trip pool-rare 7 --sim "$bin/pool_sim" --rare --experiments 3,4 --block-size 1000
round_trip repairable-vary 7 --sim "$bin/repairable_sim" --vary mu=0.05,0.5 --set coverage=0.9 --reps 2000 \
  --block-size 500
