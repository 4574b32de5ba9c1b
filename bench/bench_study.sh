#!/usr/bin/env bash
# The default main job as a benchmark: the whole study through simmgr with
# its default options on a fresh store, then a rerun on that store.
# Prints the experiments converged, the replications run and counted, the
# share run but not counted (the blocks wasted), the wall time, and the
# study throughput: counted replications per wall second over the
# hand-written reference's replications per second with one process per
# core, both measured in this run.
# Usage: bench/bench_study.sh [BIN_DIR] [BASELINE_CPP]
#   BIN_DIR defaults to build/bin (a Release build);
#   BASELINE_CPP to ../shared/bench/baseline.cpp beside the repository.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="$(cd "${1:-$repo/build/bin}" && pwd)"
baseline_src="${2:-$repo/../shared/bench/baseline.cpp}"
cores="$(nproc)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

if [[ ! -f "$baseline_src" ]]; then
  echo "bench_study.sh: reference simulation not found: $baseline_src" >&2
  exit 1
fi
g++ -std=c++20 -O2 -march=x86-64 -o "$work/reference" "$baseline_src"

# Figures of a summary line: field <regex with one group>.
field() { sed -nE "s/$1/\\1/p" "$2" | head -n 1; }

# --- The reference, one process per core -----------------------------------
# Replications per second of `cores` reference processes side by side. The
# machine is shared, so rounds run before and after the study and their
# median counts.
reference_round() {
  local c
  for ((c = 0; c < cores; c++)); do
    "$work/reference" $(( (c * 4) % 9 )) 40000 $((31415 + c)) >"$work/ref$c" &
  done
  wait
  cat "$work"/ref[0-9]* | awk '/^replications_per_s / { s += $2 } END { printf "%.6g\n", s }'
}
ref_rounds=("$(reference_round)" "$(reference_round)")

# --- The study ------------------------------------------------------------
"$bin/simmgr" run --store "$work/blocks" --csv "$work/run.csv" >"$work/table" 2>"$work/err"
status_line=$(grep '^simmgr: 9 experiment' "$work/err")
block_line=$(grep '^simmgr: blocks of' "$work/err")
printf '%s\n%s\n' "$status_line" "$block_line" >"$work/summary"
wall=$(field '.*wall ([0-9.]+) s;.*' "$work/summary")
converged=$(field '.*: ([0-9]+) converged.*' "$work/summary")
counted=$(field '.*counted \(([0-9]+) replications\);.*' "$work/summary")
run_reps=$(field '.* run here \(([0-9]+) replications\).*' "$work/summary")
wasted=$(field '.*not counted \(([0-9]+) replications.*' "$work/summary")
blocks=$(field '.*: ([0-9]+) counted \(.*' "$work/summary")
unanswered=$(awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "status") s = i; next }
                      $s != "converged"' "$work/run.csv" | wc -l)

ref_rounds+=("$(reference_round)" "$(reference_round)")
ref_rate=$(printf '%s\n' "${ref_rounds[@]}" | sort -g | awk '{ v[NR] = $1 } END { printf "%.6g", (v[2] + v[3]) / 2 }')

# --- A rerun on the store ---------------------------------------------------
"$bin/simmgr" run --store "$work/blocks" --csv "$work/rerun.csv" >/dev/null 2>"$work/err2"
rerun_wall=$(field '.*wall ([0-9.]+) s;.*' "$work/err2")
rerun_new=$(field '.* ([0-9]+) run here.*' "$work/err2")
same=$(cmp -s "$work/run.csv" "$work/rerun.csv" && echo yes || echo NO)

echo "$status_line"
echo "$block_line"
printf 'experiments converged:          %s of 9 (cells not converged: %s)\n' "$converged" "$unanswered"
printf 'replications counted / run:     %s / %s in %s blocks\n' "$counted" "$run_reps" "$blocks"
awk -v w="$wasted" -v r="$run_reps" 'BEGIN { printf "run but not counted:            %s (%.2f%%; target <= 5%%)\n", w, 100 * w / r }'
printf 'wall:                           %s s on %s cores\n' "$wall" "$cores"
awk -v c="$counted" -v w="$wall" -v b="$ref_rate" -v n="$cores" -v r="${ref_rounds[*]}" 'BEGIN {
  printf "study throughput:               %.0f counted replications/s; reference %.0f/s on %d processes (median of rounds: %s)\n", c / w, b, n, r
  printf "throughput ratio:               %.3f   (target >= 0.4)\n", (c / w) / b }'
printf 'rerun on the store:             %s blocks computed, wall %s s, same answers: %s\n' "$rerun_new" "$rerun_wall" "$same"
