#!/usr/bin/env bash
# A study of many one-replication blocks from a high first port: every
# block's simulator starts from the same port, so this runs to the end only
# if the ports served before are free again at once (65000 leaves 535 ports
# for 5000 blocks). Prints the run's summary: wall time, simulator and
# manager CPU.
# Usage: bench/bench_small_blocks.sh [BIN_DIR] (default build/bin); BLOCKS=N
# sets the number of blocks (default 5000), JOBS=N the simulators at once
# (default 2).
set -euo pipefail
bin=${1:-build/bin}
blocks=${BLOCKS:-5000}
jobs=${JOBS:-2}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
"$bin/simmgr" run --sim "$bin/basic_model_sim" --experiments 0 --jobs "$jobs" --reps "$blocks" --block-size 1 \
  --report-size 1 --port 65000 >/dev/null 2>"$tmp/err" || status=$?
grep '^simmgr: ' "$tmp/err"
if [ "$status" -ne 0 ]; then
  echo "FAILED: status $status" >&2
  exit 1
fi
