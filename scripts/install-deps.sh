#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need, if missing.
set -euo pipefail
packages=(g++ make cmake libgtest-dev libgmock-dev libbenchmark-dev
          libboost-program-options-dev libboost-dev zlib1g-dev
          ocl-icd-opencl-dev opencl-headers pocl-opencl-icd libfann-dev gnuplot-nox
          clang libclang-rt-14-dev clang-format libxgboost-dev liblinear-dev man-db oclgrind)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
fi
