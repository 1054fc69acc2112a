#!/usr/bin/env bash
# Checks the GPU work split on a machine with an OpenCL GPU and records its speed.
#
#   scripts/gpu-check.sh [BUILD_DIR]        (default build-gpu/; under 8 minutes)
#
# Without an OpenCL platform that has a GPU device it says so and exits 0. With one, it builds
# ombra, ombra-timings, tallis, swfgen and the OpenCL tests in BUILD_DIR (Release, no
# benchmarks), runs the OpenCL tests against the GPU device (the _GPU types), times BP_GPU,
# PSO_private_GPU and PSO_local_GPU against BP, PSO and, where an OpenCL CPU device exists, the
# _CPU types on a few sizes with ombra-timings, and writes the figures with the device's name
# to docs/performance-gpu.md. Its scratch files stay in BUILD_DIR/gpu-check/. It uses nothing
# from the network: the packages of scripts/install-deps.sh must be installed already. Exits 1
# when a test fails (the page is written all the same).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="${1:-build-gpu}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
budget=450  # seconds for the whole check, leaving margin under 8 minutes

scratch="$(mktemp -d /tmp/gpu-check.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT

# Lists the OpenCL devices, one line each: kind, platform, device, driver version.
cat >"$scratch/probe.c" <<'PROBE'
#define CL_TARGET_OPENCL_VERSION 120
#include <CL/cl.h>
#include <stdio.h>
int main(void) {
  cl_platform_id platforms[64];
  cl_uint platformCount = 0;
  if (clGetPlatformIDs(64, platforms, &platformCount) != CL_SUCCESS) return 0;
  for (cl_uint p = 0; p < platformCount && p < 64; ++p) {
    char platform[256] = "";
    clGetPlatformInfo(platforms[p], CL_PLATFORM_NAME, sizeof platform, platform, NULL);
    cl_device_id devices[64];
    cl_uint deviceCount = 0;
    if (clGetDeviceIDs(platforms[p], CL_DEVICE_TYPE_ALL, 64, devices, &deviceCount) != CL_SUCCESS)
      continue;
    for (cl_uint d = 0; d < deviceCount && d < 64; ++d) {
      char name[256] = "", driver[256] = "";
      cl_device_type type = 0;
      clGetDeviceInfo(devices[d], CL_DEVICE_NAME, sizeof name, name, NULL);
      clGetDeviceInfo(devices[d], CL_DRIVER_VERSION, sizeof driver, driver, NULL);
      clGetDeviceInfo(devices[d], CL_DEVICE_TYPE, sizeof type, &type, NULL);
      const char* kind = (type & CL_DEVICE_TYPE_GPU)   ? "GPU"
                         : (type & CL_DEVICE_TYPE_CPU) ? "CPU"
                                                       : "OTHER";
      printf("%s\t%s\t%s\t%s\n", kind, platform, name, driver);
    }
  }
  return 0;
}
PROBE
if ! "${CC:-cc}" -o "$scratch/probe" "$scratch/probe.c" -lOpenCL 2>"$scratch/probe.log"; then
  if ! ls /etc/OpenCL/vendors/*.icd >/dev/null 2>&1; then
    echo "gpu-check: no OpenCL platform is installed on this machine, so no GPU platform;" \
         "nothing to check."
    exit 0
  fi
  echo "gpu-check: cannot look for an OpenCL GPU: the device probe does not build (it needs a C" \
       "compiler, opencl-headers and ocl-icd-opencl-dev):" >&2
  cat "$scratch/probe.log" >&2
  exit 1
fi
"$scratch/probe" >"$scratch/devices.txt"
# The first device of a kind: its name, platform and driver.
first_device() {
  awk -F '\t' -v kind="$1" '$1 == kind { print $3 " (platform " $2 ", driver " $4 ")"; exit }' \
    "$scratch/devices.txt"
}
gpu="$(first_device GPU)"
cpu="$(first_device CPU)"
if [ -z "$gpu" ]; then
  echo "gpu-check: no OpenCL platform with a GPU device on this machine; nothing to check."
  exit 0
fi
echo "gpu-check: GPU $gpu"

# Build: only what the check runs.
tests=(opencl_tests)  # every OpenCL test file, one program
if ! cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_BENCHMARKS=OFF \
    >"$scratch/cmake.log" 2>&1; then
  cat "$scratch/cmake.log" >&2
  echo "gpu-check: configuring failed; install the packages of scripts/install-deps.sh first." >&2
  exit 1
fi
cmake --build "$build" -j"$(nproc)" --target ombra ombra-timings tallis swfgen "${tests[@]}" \
  >/dev/null
echo "gpu-check: built in $SECONDS s"

# The OpenCL tests against the GPU device: every target-parameterised test's GpuDevice
# instance and the tests of the _GPU types through ombra.
filter='*/GpuDevice:PsoOmbraGpuTest.*:OmbraOpenCLGpuTest.*'
failed=0
test_rows=()
for program in "${tests[@]}"; do
  log="$scratch/$program.log"
  if (cd "$build/tests" && timeout 600 "./$program" --gtest_filter="$filter" >"$log" 2>&1); then
    result="passed"
  else
    result="FAILED"
    failed=1
    grep -E '^\[  FAILED  \]' "$log" | sed 's/^/  /' || true
  fi
  count="$(grep -Eo '^\[==========\] [0-9]+ tests? from' "$log" | tail -n 1 |
    grep -Eo '[0-9]+' || echo 0)"
  skipped="$(grep -Eo '^\[  SKIPPED \] [0-9]+' "$log" | grep -Eo '[0-9]+$' || echo 0)"
  test_rows+=("| $program | $count | $skipped | $result |")
  echo "gpu-check: $program: $count tests, $skipped skipped, $result"
done

# Timing experiments, as scripts/performance.sh measures them, on a few sizes.
work="$build/gpu-check"
bash "$root/scripts/timing-workspace.sh" "$build" "$work"
cd "$work"
timings="$build/ombra-timings"
data="samples_KTH-SP2-1996-2.1-cln.swf"
network="nn_config_sample_size_timings.txt"  # 9 10 1

types=(BP BP_GPU PSO PSO_private_GPU PSO_local_GPU)
[ -n "$cpu" ] && types+=(BP_CPU PSO_private_CPU PSO_local_CPU)
not_measured=()
for type in "${types[@]}"; do
  case "$type" in BP*) params=BP_params.txt ;; *) params=PSO_params_samples_timings.txt ;; esac
  for kind in neurons layers samples; do
    left=$((budget - SECONDS))
    if [ "$left" -lt 40 ]; then
      not_measured+=("$kind/$type (time budget spent)")
      continue
    fi
    case "$kind" in
      neurons) range=(--first 10 --step 40 --last 90 --hidden-layers 1 --samples 1000) ;;
      layers) range=(--first 1 --step 2 --last 5 --hidden-neurons 10 --samples 1000) ;;
      samples) range=(--first 1000 --step 1500 --last 4000 --config "$network") ;;
    esac
    limit=$((left - 30 < 120 ? left - 30 : 120))
    if ! timeout "$limit" bash "$root/scripts/best-of.sh" 2 "${kind}_$type.csv" "$timings" \
        "$kind" --type "$type" "${range[@]}" --data "$data" --iterations 10 --params "$params" \
        2>"$kind-$type.err"; then
      reason="$(tail -n 1 "$kind-$type.err")"
      not_measured+=("$kind/$type (failed or stopped after $limit s: $reason)")
    fi
  done
  echo "gpu-check: $type measured ($SECONDS s)"
done

# The page.
page="$root/docs/performance-gpu.md"
{
  echo "# Training time with a GPU"
  echo
  echo "Written by \`bash scripts/gpu-check.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC')" \
       "(took ${SECONDS} s)."
  echo
  echo "- GPU: $gpu"
  echo "- OpenCL CPU device: ${cpu:-none (the _CPU types were not measured)}"
  model="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
  echo "- Processor: $model, $(nproc) cores"
  echo
  echo "The \`_GPU\` types build the kernels' GPU work split (opencl/NN_kernels.cl says which"
  echo "kernel does what under each split); the \`_CPU\` types the CPU split."
  echo
  echo "## OpenCL tests against the GPU"
  echo
  echo "Every device-target test's \`GpuDevice\` instance and the \`_GPU\` types through \`ombra\`"
  echo "(\`--gtest_filter='$filter'\`):"
  echo
  echo "| test program | tests | skipped | result |"
  echo "|---|---:|---:|---|"
  printf '%s\n' "${test_rows[@]}"
  echo
  cat <<'TEXT'
## Time per iteration

`ombra-timings` as in docs/performance.md: a `swfgen --jobs 10000 --users 24 --seed 1` log
turned into training data (9 inputs, 1 output) by `ombra-timings make-data`; 10 iterations
per point (one validation check each), best of two runs; 64 particles for the swarms.
Neurons: one hidden layer of 10, 50, 90 neurons on 1000 training samples; layers: 1, 3, 5
hidden layers of 10 neurons on 1000 samples; samples: the network 9 10 1 on 4000, 2500, 1000
samples. Milliseconds per iteration:
TEXT
  for kind in neurons layers samples; do
    echo
    bash "$root/scripts/timings-table.sh" "$kind" "${types[@]}"
  done
  if [ "${#not_measured[@]}" -gt 0 ]; then
    echo
    echo "Not measured:"
    printf -- '- %s\n' "${not_measured[@]}"
  fi
} >"$page"
echo "gpu-check: wrote docs/performance-gpu.md in $SECONDS s"
exit "$failed"
