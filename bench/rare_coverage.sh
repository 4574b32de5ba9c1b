#!/usr/bin/env bash
# Do the intervals of --rare hold? Runs RUNS independent --rare studies of
# experiment 0 with ram_size 1 (failure by t = 30 about 5e-5) at the default
# precision, each from its own seeds, and counts how many 95 % intervals of
# each cell hold the reference. The reference is one long run under another
# change of measure (bench/rare_reference.bias: the same idea with another
# horizon and a lower cap on the second event), whose half-width must be
# below a tenth of the runs' own.
# Usage: bench/rare_coverage.sh [BIN_DIR] [RUNS] [REFERENCE_REPS]
#        (defaults build/bin, 200, 400000)
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="$(cd "${1:-$repo/build/bin}" && pwd)"
runs="${2:-200}"
ref_reps="${3:-400000}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cell=(--experiments 0 --set ram_size=1)

# time, mean, ci_low, ci_high of every row of a results CSV, by column name.
columns() {
  awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) c[$i] = i; next }
           { print $c["time"], $c["mean"], $c["ci_low"], $c["ci_high"] }' "$1"
}

"$bin/simmgr" run "${cell[@]}" --bias "$repo/bench/rare_reference.bias" --reps "$ref_reps" \
  --csv "$work/reference.csv" >/dev/null 2>&1
columns "$work/reference.csv" >"$work/reference"

# Run r takes seeds seed_r + 9 j: 100 blocks apart, no two runs share one.
for ((r = 0; r < runs; r++)); do
  "$bin/simmgr" run "${cell[@]}" --rare --seed $((1000 + r * 900)) --csv "$work/run$r.csv" >/dev/null 2>&1
  columns "$work/run$r.csv" >>"$work/runs"
done

awk 'NR == FNR { ref[$1] = $2; refhw[$1] = ($4 - $3) / 2; next }
     { n[$1]++; if ($3 <= ref[$1] && ref[$1] <= $4) hit[$1]++; hw[$1] += ($4 - $3) / 2; m[$1] += $2 }
     END {
       printf "%-6s %-12s %-12s %-12s %s\n", "t", "reference", "ref. hw", "runs mean hw", "intervals holding it"
       for (t in n) printf "%-6s %-12.5g %-12.3g %-12.3g %d of %d (%.1f%%)%s\n", t, ref[t], refhw[t], hw[t] / n[t],
         hit[t], n[t], 100 * hit[t] / n[t], (refhw[t] < hw[t] / n[t] / 10 ? "" : "  (reference not 10x tighter)")
     }' "$work/reference" "$work/runs" | sort -n
