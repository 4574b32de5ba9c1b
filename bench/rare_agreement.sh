#!/usr/bin/env bash
# Is --rare unbiased where plain simulation can still answer? Compares,
# cell by cell, a --rare run with a long plain run of the same experiment:
#   experiment 0 as the study defines it, against PLAIN_REPS plain replications;
#   experiment 0 with ram_size 8 (about 3e-4 at t = 30), against twice as many.
# Each cell must lie within 3 combined standard errors.
# Usage: bench/rare_agreement.sh [BIN_DIR] [PLAIN_REPS] [RARE_REPS]
#        (defaults build/bin, 1000000, 20000)
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="$(cd "${1:-$repo/build/bin}" && pwd)"
plain_reps="${2:-1000000}"
rare_reps="${3:-20000}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# time, mean, standard error of every row of a results CSV, by column name.
estimates() {
  awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) c[$i] = i; next }
           { print $c["time"], $c["mean"], sqrt($c["variance"] / $c["n"]) }' "$1"
}

compare() {  # compare LABEL PLAIN_REPS simmgr-options...
  local label=$1 reps=$2; shift 2
  "$bin/simmgr" run "$@" --reps "$reps" --csv "$work/plain.csv" >/dev/null 2>&1
  "$bin/simmgr" run "$@" --rare --reps "$rare_reps" --csv "$work/rare.csv" >/dev/null 2>&1
  echo "$label: $reps plain replications against $rare_reps under --rare"
  paste -d' ' <(estimates "$work/plain.csv") <(estimates "$work/rare.csv") | awk '
    { z = ($5 - $2) / sqrt($3 * $3 + $6 * $6); bad += (z > 3 || z < -3)
      printf "  t=%-4s plain %.5g (se %.2g)  rare %.5g (se %.2g)  z %+.2f\n", $1, $2, $3, $5, $6, z }
    END { print (bad ? "  NOT within 3 combined standard errors" : "  every cell within 3 combined standard errors"); exit bad > 0 }'
}

status=0
compare "experiment 0" "$plain_reps" --experiments 0 || status=1
compare "experiment 0, ram_size 8" $((2 * plain_reps)) --experiments 0 --set ram_size=8 || status=1
exit $status
