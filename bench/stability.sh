#!/usr/bin/env bash
# Long-run stability of the simulator under a manager: peak resident memory
# after 10^3 and 10^5 replications (it must not grow with the run), and a
# leak check of a short run in the AddressSanitizer build.
#
# Usage: bench/stability.sh [release-build-dir] [sanitizer-build-dir]
# Missing build directories are configured and the simulator is built.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
release=${1:-$root/build-stability-rel}
sanitized=${2:-$root/build-stability-asan}
mkdir -p "$release" "$sanitized"
release=$(cd "$release" && pwd)
sanitized=$(cd "$sanitized" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build() {  # build <dir> <extra cmake args...>
  local dir=$1; shift
  if [[ ! -x $dir/bin/basic_model_sim ]]; then
    cmake -S "$root" -B "$dir" -DSAN_BUILD_BENCH=OFF -DSAN_BUILD_TESTS=OFF "$@" >/dev/null
    cmake --build "$dir" -j2 --target basic_model_sim >/dev/null
  fi
}

# run_managed <simulator> <label> <options...>: runs the simulator under -w
# with a manager that reads everything it is sent; prints the peak RSS.
run_managed() {
  local sim=$1 label=$2; shift 2
  local out=$work/$label.out err=$work/$label.err
  /usr/bin/time -f '%M' -o "$work/$label.rss" "$sim" -w -p 0 "$@" >"$out" 2>"$err" &
  local pid=$! port=""
  for _ in $(seq 1 200); do
    port=$(sed -n 's/^REGISTER:  Port: \[\([0-9]*\)\]$/\1/p' "$out" 2>/dev/null)
    [[ -n $port ]] && break
    sleep 0.05
  done
  [[ -n $port ]] || { echo "$label: no registration line" >&2; kill "$pid"; return 1; }
  cat </dev/tcp/127.0.0.1/"$port" >"$work/$label.stream"
  local status=0
  wait "$pid" || status=$?
  printf '%-28s exit %d  peak RSS %6d KiB  received %9d bytes\n' "$label" "$status" \
    "$(cat "$work/$label.rss")" "$(stat -c %s "$work/$label.stream")"
}

build "$release" -DCMAKE_BUILD_TYPE=Release
sim=$release/bin/basic_model_sim
echo "Peak RSS under a manager (release build, -n 1000):"
run_managed "$sim" "1e3 replications" -N 1000
run_managed "$sim" "1e5 replications" -N 100000

build "$sanitized" -DCMAKE_BUILD_TYPE=Debug -DSAN_SANITIZE=ON
echo "Leak check (sanitizer build, 50 replications, -n 10, -a and -b):"
(cd "$work" && export ASAN_OPTIONS=detect_leaks=1 && run_managed "$sanitized/bin/basic_model_sim" \
  "asan 50 replications" -N 50 -n 10 -a leak.txt -b leak.bin)
if grep -q 'ERROR: LeakSanitizer\|ERROR: AddressSanitizer\|runtime error' \
    "$work/asan 50 replications.err"; then
  echo "sanitizer report:"; cat "$work/asan 50 replications.err"; exit 1
fi
echo "leak check clean"
