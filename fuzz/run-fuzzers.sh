#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs each for a bounded time on a scratch
# copy of its seed corpus (fuzz/corpus/<target>, which also holds the
# inputs of faults found before, so they are replayed first). Fails when any
# target crashes, leaks, times out, runs out of memory or breaks one of its
# checks; the offending input is kept under <build>/fuzz-artifacts/<target>.
#
# Usage: fuzz/run-fuzzers.sh [seconds-per-target [target...]]
#   seconds-per-target  default 45
#   target              default: all of them (command_line override_gvs
#                       change_of_measure model_reader manager_commands
#                       simmgr_binfile simmgr_wire simmgr_description)
# Environment: SAN_FUZZ_BUILD_DIR (default <root>/build-fuzz),
#              SAN_FUZZ_JOBS (build parallelism, default 2).
set -euo pipefail

seconds=${1:-45}
if [[ $# -gt 0 ]]; then shift; fi
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
  echo "run-fuzzers.sh: seconds per target must be a positive whole number, got '$seconds'" >&2
  exit 2
fi

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${SAN_FUZZ_BUILD_DIR:-$root/build-fuzz}
jobs=${SAN_FUZZ_JOBS:-2}
all_targets=(command_line override_gvs change_of_measure model_reader manager_commands simmgr_binfile simmgr_wire
             simmgr_description)
if [[ $# -gt 0 ]]; then targets=("$@"); else targets=("${all_targets[@]}"); fi
for t in "${targets[@]}"; do
  if [[ ! -d $root/fuzz/corpus/$t ]]; then
    echo "run-fuzzers.sh: unknown target '$t' (known: ${all_targets[*]})" >&2
    exit 2
  fi
done

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSAN_FUZZ=ON -DSAN_BUILD_TESTS=OFF -DSAN_BUILD_BENCH=OFF -DSAN_SANITIZE=OFF >/dev/null
build_targets=()
for t in "${targets[@]}"; do build_targets+=("fuzz_$t"); done
cmake --build "$build" -j "$jobs" --target "${build_targets[@]}"

work=$(mktemp -d "${TMPDIR:-/tmp}/san-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

failed=()
for t in "${targets[@]}"; do
  corpus=$work/corpus-$t
  artifacts=$build/fuzz-artifacts/$t
  cp -r "$root/fuzz/corpus/$t" "$corpus"
  mkdir -p "$artifacts"
  log=$work/$t.log
  echo "== fuzz_$t: ${seconds}s"
  # -timeout: one input taking this long counts as a hang.
  if "$build/bin/fuzz_$t" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^Done ' "$log" || true
  else
    status=$?
    echo "!! fuzz_$t failed (exit status $status); its log ends:"
    tail -n 60 "$log"
    cp "$log" "$artifacts/fuzz_$t.log"
    echo "!! input and log kept in $artifacts"
    failed+=("$t")
  fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "FUZZING FAILED: ${failed[*]}"
  exit 1
fi
echo "fuzzing passed: ${targets[*]}"
