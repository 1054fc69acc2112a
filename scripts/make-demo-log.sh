#!/usr/bin/env bash
# Regenerates the bundled demo workload log data/demo/demo.swf with swfgen (deterministic).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" --target swfgen >/dev/null
"$build/swfgen" --jobs 4000 --users 24 --seed 1 data/demo/demo.swf
