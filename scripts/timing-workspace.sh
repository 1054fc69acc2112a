#!/usr/bin/env bash
# Prepares a fresh folder for the timing experiments: the kernel file, a synthetic workload log
# (swfgen: 10000 jobs, 24 users, seed 1) and the experiments' training data and parameters
# files made from it by "ombra-timings make-data" (tallis). BUILD holds the built programs.
#
#   scripts/timing-workspace.sh BUILD WORK     (WORK is emptied first)
set -euo pipefail
if [ "$#" -ne 2 ]; then
  echo "usage: timing-workspace.sh BUILD WORK" >&2
  exit 2
fi
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$1"
work="$2"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
cp "$root/opencl/NN_kernels.cl" .
"$build/swfgen" --jobs 10000 --users 24 --seed 1 log.swf
"$build/ombra-timings" make-data --log log.swf --tallis "$build/tallis" >make-data.log
