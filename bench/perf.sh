#!/usr/bin/env bash
# Speed, memory and start-up figures of the simulator, measured in one run
# beside the hand-written reference simulation:
#   instructions per firing first, as bench/instructions.sh counts them
#   (skipped without valgrind; target at most 450);
#   firings per second of `basic_model_sim -e 8 -N 20000` (wall time of the
#   whole process) against the reference's firings per second, as a ratio;
#   peak RSS of -N 100000 against -N 1000; start-up time of -N 1.
#
# Usage: bench/perf.sh [BASELINE_CPP] [BUILD_DIR]
#   BASELINE_CPP defaults to ../shared/bench/baseline.cpp beside the repository;
#   BUILD_DIR defaults to build-perf-release in the repository. The build is a
#   plain x86-64 Release build (-O2, no -march=native), made if needed.
#   Set SAN_PERF_CMAKE_ARGS to pass extra configure options (e.g. LTO).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
baseline_src="${1:-$repo/../shared/bench/baseline.cpp}"
build="${2:-$repo/build-perf-release}"
rounds="${SAN_PERF_ROUNDS:-3}"

if [[ ! -f "$baseline_src" ]]; then
  echo "perf.sh: reference simulation not found: $baseline_src" >&2
  exit 1
fi

# --- Build ------------------------------------------------------------------
bench_name=perf.sh
# shellcheck source=bench/release-build.sh
source "$repo/bench/release-build.sh"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Wall seconds of one command, whole process, via the shell's clock.
wall_of() {
  local start end
  start=$EPOCHREALTIME
  "$@" >"$work/last.out" 2>"$work/last.err"
  end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }'
}

# Largest of a list of numbers / smallest / median.
max_of() { printf '%s\n' "$@" | sort -g | tail -n 1; }
min_of() { printf '%s\n' "$@" | sort -g | head -n 1; }
median_of() {
  local sorted
  mapfile -t sorted < <(printf '%s\n' "$@" | sort -g)
  echo "${sorted[$(( ${#sorted[@]} / 2 ))]}"
}

# --- Instructions per firing ---------------------------------------------------
if command -v valgrind >/dev/null; then
  bash "$repo/bench/instructions.sh" "$build" "$baseline_src" |
    sed '1s/$/   (target <= 450)/'
else
  echo "instructions per firing: skipped (valgrind not found)"
fi

# --- Firing rate ----------------------------------------------------------------
# The two programs alternate, and the best round of each counts: the machine is
# shared, and the best round is the one least disturbed.
ref_rates=()
sim_rates=()
for ((r = 0; r < rounds; r++)); do
  "$reference" 8 100000 31415 >"$work/ref.out"
  ref_rates+=("$(awk '/^firings_per_s / { print $2 }' "$work/ref.out")")
  seconds="$(cd "$work" && wall_of "$sim" -e 8 -N 20000)"
  fired="$(awk '/^Actions fired: / { print $3 }' "$work/last.out")"
  sim_rates+=("$(awk -v f="$fired" -v s="$seconds" 'BEGIN { printf "%.6g", f / s }')")
done
ref_rate="$(max_of "${ref_rates[@]}")"
sim_rate="$(max_of "${sim_rates[@]}")"
printf 'reference firings/s:            %.4g   (rounds: %s)\n' "$ref_rate" "${ref_rates[*]}"
printf 'basic_model_sim firings/s:      %.4g   (rounds: %s; -e 8 -N 20000, %s firings)\n' \
  "$sim_rate" "${sim_rates[*]}" "$fired"
awk -v s="$sim_rate" -v b="$ref_rate" \
  'BEGIN { printf "ratio:                          %.3f   (target >= 0.35, aim 0.5)\n", s / b }'

# --- Memory ------------------------------------------------------------------------
rss_of() {
  (cd "$work" && /usr/bin/time -f '%M' -o "$work/rss" "$sim" -e 8 -N "$1" >/dev/null 2>&1)
  cat "$work/rss"
}
rss_small="$(rss_of 1000)"
rss_large="$(rss_of 100000)"
printf 'peak RSS -N 1000:               %d KiB\n' "$rss_small"
printf 'peak RSS -N 100000:             %d KiB   (difference %d KiB; target: a few hundred)\n' \
  "$rss_large" "$((rss_large - rss_small))"

# --- Start-up ------------------------------------------------------------------------
startups=()
for ((r = 0; r < 11; r++)); do
  startups+=("$(cd "$work" && wall_of "$sim" -N 1)")
done
awk -v m="$(median_of "${startups[@]}")" -v b="$(min_of "${startups[@]}")" \
  'BEGIN { printf "start-up -N 1:                  %.1f ms median, %.1f ms best   (target < 20 ms)\n", m * 1000, b * 1000 }'
