#!/usr/bin/env bash
# Builds everything (release) and runs the study through the simulation
# manager on local processes, printing its results.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
if [ -x build/bin/simmgr ]; then
  exec build/bin/simmgr run "$@"
else
  exec build/bin/basic_model_sim -e 0 -N 1000 -a build/experiment1.txt
fi
