#!/usr/bin/env bash
# The test command: installs what is missing, builds with warnings as errors, and runs every
# test; then runs the GPU-device OpenCL tests again on Oclgrind, a simulated GPU that checks
# every kernel launch for data races, barrier divergence, invalid memory accesses and misused
# OpenCL calls; then builds the tests again under AddressSanitizer and UndefinedBehaviorSanitizer and
# runs them once more; then builds the fuzzing harnesses with clang, replays every input that
# once broke a reader and fuzzes each reader for a bounded time (tests/fuzz); last, checks that
# every C++ file is formatted as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DWERROR=ON >/dev/null
cmake --build build -j"$(nproc)"
(cd build && ctest --output-on-failure -j"$(nproc)" --timeout 900)

bash scripts/oclgrind-check.sh build

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DSANITIZE=ON -DBUILD_BENCHMARKS=OFF \
  -DWERROR=ON >/dev/null
cmake --build build-sanitize -j"$(nproc)"
(cd build-sanitize && ctest --output-on-failure -j"$(nproc)" --timeout 900)

cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DFUZZ=ON \
  -DFUZZ_SECONDS=30 -DWERROR=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzzers
(cd build-fuzz && ctest --output-on-failure -j"$(nproc)")

bash scripts/check-format.sh
