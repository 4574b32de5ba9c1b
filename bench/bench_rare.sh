#!/usr/bin/env bash
# Rare events as a benchmark: the three runs a rare-event user makes, each
# on a fresh store, with the figures that judge them.
#   1. the default study under the model's change of measure (--rare) beside
#      the same study plainly, run one after the other on the same machine:
#      replications, wall time, cells converged;
#   2. experiment 0 with ram_size 1 (failure by t = 30 about 5e-5) under
#      --rare;
#   3. experiment 0 with ram_size 0, random_failure_rate 1e-4 and
#      power_cycle_rate 1e-3 (about 4e-8) under --rare.
# Usage: bench/bench_rare.sh [BIN_DIR]   (default build/bin, a Release build)
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin="$(cd "${1:-$repo/build/bin}" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Figures of simmgr's closing summary (its error stream).
field() { sed -nE "s/$1/\\1/p" "$2" | head -n 1; }
wall_of() { field '.*wall ([0-9.]+) s;.*' "$1"; }
reps_of() { field '.* run here \(([0-9]+) replications\).*' "$1"; }
# Cells of a results CSV whose status is not "converged", found by the
# column's name so that added columns never shift it.
unconverged() {
  awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "status") s = i; next }
           $s != "converged" { n++ } END { print n + 0 }' "$1"
}
cells() { awk 'END { print NR - 1 }' "$1"; }

run() {  # run NAME simmgr-options...
  local name=$1; shift
  "$bin/simmgr" run --store "$work/$name.store" --csv "$work/$name.csv" "$@" >"$work/$name.table" 2>"$work/$name.err"
}

run plain
run rare --rare
run ram1 --rare --experiments 0 --set ram_size=1
run tiny --rare --experiments 0 --set ram_size=0 --set random_failure_rate=0.0001 --set power_cycle_rate=0.001

printf '%-34s %12s %9s %10s\n' "run" "replications" "wall (s)" "unconverged"
for name in plain rare ram1 tiny; do
  printf '%-34s %12s %9s %5s of %s\n' "$name" "$(reps_of "$work/$name.err")" "$(wall_of "$work/$name.err")" \
    "$(unconverged "$work/$name.csv")" "$(cells "$work/$name.csv")"
done
awk -v pr="$(reps_of "$work/plain.err")" -v rr="$(reps_of "$work/rare.err")" \
    -v pw="$(wall_of "$work/plain.err")" -v rw="$(wall_of "$work/rare.err")" 'BEGIN {
  printf "default study, --rare against plain: %.1fx fewer replications (target >= 8), %.1fx less wall time (target >= 5)\n", pr / rr, pw / rw }'
printf 'ram_size 1: wall %s s (target <= 15 s, every cell converged)\n' "$(wall_of "$work/ram1.err")"
printf 'about 4e-8: wall %s s (target <= 30 s, every cell converged)\n' "$(wall_of "$work/tiny.err")"
echo "--- ram_size 1"; cat "$work/ram1.table"
echo "--- about 4e-8"; cat "$work/tiny.table"
