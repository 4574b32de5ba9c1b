#!/usr/bin/env bash
# Builds everything (release) and runs the study through the simulation
# manager on local processes, printing its results.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
exec build/bin/simmgr run --store build/blocks --csv build/results.csv --json build/results.json \
  --plot build/results.png "$@"
