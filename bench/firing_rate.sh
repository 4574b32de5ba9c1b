#!/bin/sh
# Firing rate and replication rate of the simulator, and its peak memory for a
# short and a long run. Usage: bench/firing_rate.sh [path/to/basic_model_sim]
# (default: build/bin/basic_model_sim; use a Release build for real figures).
set -eu
sim=${1:-$(dirname "$0")/../build/bin/basic_model_sim}
sim=$(cd "$(dirname "$sim")" && pwd)/$(basename "$sim")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# rate <experiment index> <replications>
rate() {
  out=$("$sim" -e "$1" -N "$2")
  fired=$(printf '%s\n' "$out" | sed -n 's/^Actions fired: //p')
  cpu=$(printf '%s\n' "$out" | sed -n 's/^CPU time (s): //p')
  awk -v e="$(( $1 + 1 ))" -v n="$2" -v f="$fired" -v c="$cpu" 'BEGIN {
    printf "experiment %d, %d replications: %d firings in %.3f s CPU: %.0f firings/s, %.0f replications/s\n",
           e, n, f, c, (c > 0 ? f / c : 0), (c > 0 ? n / c : 0) }'
}

# peak <replications>: maximum resident set size in kB
peak() {
  /usr/bin/time -v "$sim" -N "$1" -a obs.txt 2> time.txt > /dev/null
  sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' time.txt
}

rate 0 100000
rate 8 20000
echo "peak RSS, -N 1000:   $(peak 1000) kB"
echo "peak RSS, -N 100000: $(peak 100000) kB"
