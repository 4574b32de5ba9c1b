#!/usr/bin/env bash
# Installs a build into a scratch prefix and uses it as a user would: the
# installed simmgr names its version and finds its simulator and data
# without being told where they are.
# Usage: tools/simmgr/ci-install.sh [BUILD_DIR] (default build).
set -euo pipefail
build=${1:-build}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
test -s "$prefix/share/basic_model_sim/basic_model_rare.bias"
test -x "$prefix/bin/basic_model_sim"
version=$("$prefix/bin/simmgr" --version)
[[ $version =~ ^simmgr\ [0-9]+\.[0-9]+\.[0-9]+\ \(commit\ [^\)]+\)$ ]] || {
  echo "ci-install: unexpected version line '$version'" >&2
  exit 1
}
cd "$prefix"
"$prefix/bin/simmgr" run --experiments 8 --reps 200 --jobs 2 --csv "$prefix/run.csv" >/dev/null
test "$(wc -l < "$prefix/run.csv")" -gt 1
echo "installed $version runs from $prefix"
