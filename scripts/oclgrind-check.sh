#!/usr/bin/env bash
# Runs the GPU-device OpenCL tests (the GPU work split; tests/opencl/gpu_device_tests.filter)
# on Oclgrind, a simulated GPU, with its data-race and API checks; invalid memory accesses and
# barrier divergence it reports anyway. Oclgrind is then the only OpenCL platform the tests and
# the ombra runs they start can see. Any report fails the check, even where the tests pass
# (a race need not change a result when work-items run one after another).
#
#   scripts/oclgrind-check.sh [BUILD_DIR]     (default build/; about 1.5 minutes on 2 cores)
#
# Needs BUILD_DIR/tests/opencl_tests and BUILD_DIR/ombra built, and oclgrind installed
# (scripts/install-deps.sh). The full log stays in BUILD_DIR/oclgrind.log.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
filter="$(cat tests/opencl/gpu_device_tests.filter)"
log="$build/oclgrind.log"
start=$SECONDS
status=0
(cd "$build/tests" && oclgrind --data-races --check-api ./opencl_tests --gtest_filter="$filter") \
  >"$log" 2>&1 || status=$?
# Every Oclgrind report names the kernel or the OpenCL function at fault on a tab-indented line.
reports="$(grep -cP '^\t(Kernel|Function): ' "$log" || true)"
passed="$(grep -oE '^\[  PASSED  \] [0-9]+' "$log" | grep -oE '[0-9]+$' || echo 0)"
failed="$(grep -oE '^ *[0-9]+ FAILED TESTS?' "$log" | grep -oE '[0-9]+' || echo 0)"
echo "Oclgrind: $passed tests passed, $failed failed, $reports reports ($((SECONDS - start)) s)"
if [ "$status" -ne 0 ] || [ "$reports" -ne 0 ]; then
  grep -E '^\[  FAILED  \]' "$log" || true
  grep -B1 -A8 -m 3 -P '^\t(Kernel|Function): ' "$log" || true
  echo "Oclgrind check failed: the whole log is $log" >&2
  exit 1
fi
