#!/usr/bin/env bash
# CI: installs a build tree and builds a simulator of a model file from the
# installed tree alone, once with san-build (the C++ compiler only) and once
# through a CMake project of its own (find_package(SANFramework),
# san_add_model); runs both and checks their observations. Then compiles and
# runs tests/sanc/data/every_feature.san, which uses every feature of the
# format. A model file with a mistake must be refused with status 1 and its
# line.
#
# Usage: tools/sanc/ci-install.sh [BUILD_DIR]   (default build)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(realpath "${1:-$root/build}")
prefix=$(mktemp -d "${TMPDIR:-/tmp}/san-prefix.XXXXXX")
work=$(mktemp -d "${TMPDIR:-/tmp}/san-own.XXXXXX")
trap 'rm -rf "$prefix" "$work"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
cp "$root/models/repairable.san" "$work/"

# observations FILE: fails unless FILE holds 3 variables x 100 replications.
observations() {
  local count
  count=$(grep -c '^[0-2],[01]\.0$' "$1")
  if [[ $count -ne 300 ]]; then
    echo "ci-install.sh: $1 holds $count observations, not 300" >&2
    exit 1
  fi
}

cd "$work"
"$prefix/bin/san-build" repairable.san >/dev/null
./repairable_sim -N 100 -s 3 -a san-build.txt >/dev/null 2>&1
observations san-build.txt

mkdir project
cat > project/CMakeLists.txt <<'END'
cmake_minimum_required(VERSION 3.25)
project(own_model CXX)
find_package(SANFramework REQUIRED)
san_add_model(repairable ../repairable.san)
END
cmake -S project -B project-build -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build project-build >/dev/null
project-build/repairable_sim -N 100 -s 3 -a cmake.txt >/dev/null 2>&1
observations cmake.txt
cmp san-build.txt cmake.txt

cp "$root/tests/sanc/data/every_feature.san" .
"$prefix/bin/san-build" every_feature.san >/dev/null
./every_feature_sim -e 1 -N 50 -s 5 -a every.txt >/dev/null 2>&1
if [[ $(grep -c '^[0-2],' every.txt) -ne 150 ]]; then
  echo "ci-install.sh: every_feature_sim did not observe its 3 variables 50 times" >&2
  exit 1
fi

sed 's/input arc in_repair/input arc in_repare/' repairable.san > broken.san
status=0
"$prefix/bin/san-build" broken.san 2>refusal.txt >/dev/null || status=$?
if [[ $status -ne 1 ]] || ! grep -q "^broken.san:[0-9]*:[0-9]*: unknown place 'in_repare'" refusal.txt; then
  echo "ci-install.sh: a model with a mistake was not refused as it should be (status $status):" >&2
  cat refusal.txt >&2
  exit 1
fi
echo "ci-install.sh: installed tree builds simulators of model files"
