#!/usr/bin/env bash
# The demo: installs what is missing, builds the two programs, turns the bundled synthetic
# workload log into a training data file with tallis, trains a network with back-propagation,
# saves it, asks the saved network about two jobs, and shows how good it is beside the
# baselines (ombra-evaluate).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target ombra tallis ombra-evaluate >/dev/null

out=build/demo
mkdir -p "$out"
# Inputs: requested processors and time, then the user's and application's recent history.
build/samples/tallis -irCPU,rT,lsu,lsa,lsua,lc,lrt,ea,ec -os -r60:20:20 -p0.5 \
  data/demo/demo.swf "$out/train.dat"
echo
# ombra reads NN_kernels.cl from its working directory (only the OpenCL types need it).
cd "$out"
cp ../NN_kernels.cl .
../ombra BP ../../data/demo/net.cfg train.dat ../../data/demo/bp.txt net.bin </dev/null
echo
echo "== The saved network answers two queries: a job after a run of failures, then one after successes"
../ombra net.bin <<'QUERIES'
16 3600 1 1 1 1 0 300 300
16 3600 0 0 0 0 3500 86400 3600
QUERIES
echo
echo "== Is it any good? The test samples, the network beside the baselines"
../ombra-evaluate net.bin train.dat --charts demo 2>/dev/null
