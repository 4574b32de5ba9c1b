#!/usr/bin/env bash
# Installs what building, testing and running the study need on a fresh
# Debian machine. Safe to run again.
set -euo pipefail
pkgs=(cmake g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
      libcli11-dev nlohmann-json3-dev libboost-math-dev gnuplot-nox parallel libxml2-utils)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
