#!/usr/bin/env bash
# Instructions per firing of the simulator's firing step, counted by callgrind
# and free of start-up and reporting costs: the instructions of
# `basic_model_sim -e 8 -s 7 -N 300` minus those of `-N 100`, divided by the
# firings the extra replications add. The same figure for the hand-written
# reference simulation follows (experiment 8, seed 7, 300 minus 100
# replications).
#
# Usage: bench/instructions.sh [BUILD_DIR] [BASELINE_CPP]
#   BUILD_DIR defaults to build-perf-release in the repository (a Release
#   build, made if needed, as bench/perf.sh makes it); BASELINE_CPP to
#   ../shared/bench/baseline.cpp beside the repository (skipped if absent).
#   SAN_INSTR_ANNOTATE=1 also prints the functions of the larger run by
#   inclusive instruction count. SAN_INSTR_SIM_ARGS replaces the simulator's
#   `-e 8`, e.g. "-e 0 -B $PWD/src/model/basic_model_rare.bias" for a biased
#   firing (a path given to -B must be absolute).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath -m "${1:-$repo/build-perf-release}")"
baseline_src="${2:-$repo/../shared/bench/baseline.cpp}"
small=100
large=300

if ! command -v valgrind >/dev/null; then
  echo "instructions.sh: valgrind not found" >&2
  exit 1
fi

# --- Build ------------------------------------------------------------------
bench_name=instructions.sh
# shellcheck source=bench/release-build.sh
source "$repo/bench/release-build.sh"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# count <output file> <command...>: total instructions of the command under
# callgrind; its standard output is left in the given file.
count() {
  local out="$1"
  shift
  (cd "$work" && valgrind --tool=callgrind --callgrind-out-file="$work/cg.$$.$RANDOM" \
    "$@" >"$out" 2>"$work/vg.err")
  sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$work/vg.err"
}

# per_firing <label> <instructions small> <firings small> <instructions large> <firings large>
per_firing() {
  awk -v l="$1" -v is="$2" -v fs="$3" -v il="$4" -v fl="$5" 'BEGIN {
    printf "%-16s %.1f instructions per firing   (%d extra firings; %d and %d instructions)\n",
           l, (il - is) / (fl - fs), fl - fs, is, il }'
}

read -r -a sim_args <<<"${SAN_INSTR_SIM_ARGS:--e 8}"
i_small="$(count "$work/small.out" "$sim" "${sim_args[@]}" -s 7 -N "$small")"
f_small="$(awk '/^Actions fired: / { print $3 }' "$work/small.out")"
rm -f "$work"/cg.*
i_large="$(count "$work/large.out" "$sim" "${sim_args[@]}" -s 7 -N "$large")"
f_large="$(awk '/^Actions fired: / { print $3 }' "$work/large.out")"
per_firing "basic_model_sim" "$i_small" "$f_small" "$i_large" "$f_large"
if [[ "${SAN_INSTR_ANNOTATE:-0}" == 1 ]]; then
  callgrind_annotate --inclusive=yes "$work"/cg.* 2>/dev/null | sed -n '1,60p'
fi
rm -f "$work"/cg.*

if [[ -x "$reference" ]]; then
  i_small="$(count "$work/ref_small.out" "$reference" 8 "$small" 7)"
  f_small="$(awk '/^firings / { print $2 }' "$work/ref_small.out")"
  i_large="$(count "$work/ref_large.out" "$reference" 8 "$large" 7)"
  f_large="$(awk '/^firings / { print $2 }' "$work/ref_large.out")"
  per_firing "reference" "$i_small" "$f_small" "$i_large" "$f_large"
fi
