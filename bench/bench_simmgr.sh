#!/usr/bin/env bash
# Speed-up of `simmgr run --jobs 2` over `--jobs 1` on the nine experiments
# at a fixed replication count, and the manager's own CPU share.
# Usage: bench/bench_simmgr.sh [BIN_DIR] (default build/bin); REPS=N sets
# the replications per experiment (default 5000).
set -euo pipefail
bin=${1:-build/bin}
reps=${REPS:-5000}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
declare -A wall
for jobs in 1 2; do
  "$bin/simmgr" run --jobs "$jobs" --reps "$reps" >/dev/null 2>"$tmp/err$jobs"
  line=$(grep '^simmgr: 9 experiment' "$tmp/err$jobs")
  wall[$jobs]=$(sed -E 's/.*wall ([0-9.]+) s.*/\1/' <<<"$line")
  sims=$(sed -E 's/.*simulators ([0-9.]+) s CPU.*/\1/' <<<"$line")
  mgr=$(sed -E 's/.*manager ([0-9.]+) s CPU.*/\1/' <<<"$line")
  share=$(sed -E 's/.*\(([0-9.]+)% of the simulators.*/\1/' <<<"$line")
  echo "--jobs $jobs: wall ${wall[$jobs]} s, simulators ${sims} s CPU, manager ${mgr} s CPU (${share}% of the simulators')"
done
awk -v a="${wall[1]}" -v b="${wall[2]}" 'BEGIN { printf "speed-up --jobs 2 over --jobs 1: %.2f\n", a / b }'
