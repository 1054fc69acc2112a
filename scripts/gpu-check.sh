#!/usr/bin/env bash
# Checks the GPU work split on a machine with an OpenCL GPU and measures its speed.
#
#   scripts/gpu-check.sh [BUILD_DIR]              the check (default build-gpu/; under 6 minutes)
#   scripts/gpu-check.sh --prepare [BUNDLE_DIR [BUILD_DIR]]
#                    here, for a GPU machine without a package manager (default
#                    build-gpu-bundle/, built in build-gpu/)
#
# --prepare builds what the check runs in BUILD_DIR (Release unless BUILD_DIR is configured
# already) and copies it into BUNDLE_DIR in
# the same layout: ombra with NN_kernels.cl, ombra-timings, tallis, swfgen,
# tests/opencl_tests, tests/opencl_devices, bench/launch_count_bench, and in lib/ the shared
# libraries they load beyond the C library itself (the OpenCL loader, the C++ runtime,
# Boost.Program_options, Google Benchmark, zlib): a few MiB to carry beside the checkout.
#
# The check: without an OpenCL platform that has a GPU device it says so and exits 0. With one,
# it builds BUILD_DIR unless that already holds the programs (a bundle or a finished build: then
# it needs neither cmake nor a compiler, and BUILD_DIR/lib, where present, comes first in the
# library path), runs the GPU-device OpenCL tests (tests/opencl/gpu_device_tests.filter) on the
# GPU, counts and times the commands and waits of the trainers on it (launch_count_bench), times
# BP_GPU, PSO_private_GPU and PSO_local_GPU against BP, PSO and, where an OpenCL CPU device
# exists, the _CPU types on a few sizes with ombra-timings, and writes the figures with the
# device's name into docs/performance-gpu.md below the line "<!-- measured -->" (the expected
# figures above it stay). Logs and a copy of the page stay in BUILD_DIR/gpu-check/. The OpenCL
# loader's own settings (OCL_ICD_VENDORS, OCL_ICD_FILENAMES) are honoured as the caller sets
# them. GPU_CHECK_SECONDS (default 300) bounds the timing runs. Exits 1 when a test fails (the
# page is written all the same).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
programs=(ombra NN_kernels.cl ombra-timings tallis swfgen tests/opencl_tests
          tests/opencl_devices bench/launch_count_bench)
targets=(ombra ombra-timings tallis swfgen opencl_tests opencl_devices launch_count_bench)

absolute() { case "$1" in /*) echo "$1" ;; *) echo "$root/$1" ;; esac; }

build_here() {  # BUILD_DIR
  mkdir -p "$1"
  local type=(-DCMAKE_BUILD_TYPE=Release)
  [ -f "$1/CMakeCache.txt" ] && type=()
  cmake -S . -B "$1" "${type[@]}" -DBUILD_TESTING=ON -DBUILD_BENCHMARKS=ON \
      >"$1/gpu-check-cmake.log" 2>&1 || {
    cat "$1/gpu-check-cmake.log" >&2
    echo "gpu-check: configuring failed; install the packages of scripts/install-deps.sh first." >&2
    exit 1
  }
  cmake --build "$1" -j"$(nproc)" --target "${targets[@]}" >/dev/null
}

if [ "${1:-}" = "--prepare" ]; then
  bundle="$(absolute "${2:-build-gpu-bundle}")"
  from="$(absolute "${3:-build-gpu}")"
  build_here "$from"
  rm -rf "$bundle"
  mkdir -p "$bundle/lib"
  for program in "${programs[@]}"; do
    mkdir -p "$bundle/$(dirname "$program")"
    cp "$from/$program" "$bundle/$program"
  done
  # Every library the programs load except the C library's own parts, which must match the
  # kernel's and the loader's on the other machine anyway.
  for program in "${programs[@]}"; do
    [ "$program" = NN_kernels.cl ] && continue
    ldd "$bundle/$program" | awk '$2 == "=>" && $3 ~ /^\// { print $3 }'
  done | sort -u | grep -vE '/(libc|libm|libdl|libpthread|librt|libresolv|ld-linux[^/]*)\.so' |
    while read -r library; do cp -L "$library" "$bundle/lib/"; done
  echo "gpu-check: $(du -sh "$bundle" | cut -f1) in $bundle; on the GPU machine:" \
       "bash scripts/gpu-check.sh ${2:-build-gpu-bundle}"
  exit 0
fi

build="$(absolute "${1:-build-gpu}")"
budget="${GPU_CHECK_SECONDS:-300}"
prebuilt=1
for program in "${programs[@]}"; do [ -e "$build/$program" ] || prebuilt=0; done
[ -d "$build/lib" ] && export LD_LIBRARY_PATH="$build/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/gpu-check.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

# The devices, one line each: kind, platform, device, driver version. A built probe where there
# is one; else a throwaway build of the same few lines.
if [ "$prebuilt" = 1 ]; then
  probe="$build/tests/opencl_devices"
elif "${CXX:-c++}" -std=c++17 -DCL_TARGET_OPENCL_VERSION=120 -o "$scratch/probe" \
    tests/opencl/opencl_devices.cpp -lOpenCL 2>"$scratch/probe.log"; then
  probe="$scratch/probe"
else
  if [ -z "${OCL_ICD_VENDORS:-}${OCL_ICD_FILENAMES:-}" ] &&
      ! ls /etc/OpenCL/vendors/*.icd >/dev/null 2>&1; then
    echo "gpu-check: no OpenCL platform is installed on this machine, so no GPU platform;" \
         "nothing to check."
    exit 0
  fi
  echo "gpu-check: cannot look for an OpenCL GPU: the device probe does not build (it needs a" \
       "C++ compiler, opencl-headers and ocl-icd-opencl-dev), and $build holds no built one:" >&2
  cat "$scratch/probe.log" >&2
  exit 1
fi
"$probe" >"$scratch/devices.txt"
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

if [ "$prebuilt" = 0 ]; then
  build_here "$build"
  echo "gpu-check: built in $SECONDS s"
fi
logs="$build/gpu-check"
mkdir -p "$logs"

# The OpenCL tests against the GPU device.
filter="$(cat tests/opencl/gpu_device_tests.filter)"
failed=0
# Scratch folders of the test and benchmark programs go into $scratch, which the trap removes
# even when a timeout stops a program before it can.
if (cd "$build/tests" && TMPDIR="$scratch" timeout 600 ./opencl_tests --gtest_filter="$filter") \
    >"$logs/opencl_tests.log" 2>&1; then
  result="passed"
else
  result="FAILED"
  failed=1
  grep -E '^\[  FAILED  \]' "$logs/opencl_tests.log" | sed 's/^/  /' || true
fi
count="$(grep -Eo '^\[==========\] [0-9]+ tests? from' "$logs/opencl_tests.log" | tail -n 1 |
  grep -Eo '[0-9]+' || echo 0)"
skipped="$(grep -Eo '^\[  SKIPPED \] [0-9]+' "$logs/opencl_tests.log" | grep -Eo '[0-9]+$' ||
  echo 0)"
echo "gpu-check: opencl_tests: $count tests, $skipped skipped, $result"

# Commands, waits and their time on every device (the GPU rows are the point).
TMPDIR="$scratch" timeout 120 "$build/bench/launch_count_bench" --benchmark_counters_tabular=true \
  >"$logs/launch_count_bench.log" 2>&1 || echo "gpu-check: launch_count_bench failed" >&2
echo "gpu-check: commands and waits counted ($SECONDS s)"

# Timing experiments, as scripts/performance.sh measures them, on a few sizes.
work="$logs/timings"
bash "$root/scripts/timing-workspace.sh" "$build" "$work"
cd "$work"
timings="$build/ombra-timings"
data="samples_KTH-SP2-1996-2.1-cln.swf"
network="nn_config_sample_size_timings.txt"  # 9 10 1
start=$SECONDS
types=(BP_GPU PSO_private_GPU PSO_local_GPU BP PSO)
[ -n "$cpu" ] && types+=(BP_CPU PSO_private_CPU PSO_local_CPU)
not_measured=()
for type in "${types[@]}"; do
  case "$type" in BP*) params=BP_params.txt ;; *) params=PSO_params_samples_timings.txt ;; esac
  for kind in neurons layers samples; do
    left=$((budget - (SECONDS - start)))
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

# The measured part of the page, below the marker; what is above it stays.
page="$root/docs/performance-gpu.md"
marker="<!-- measured -->"
{
  if [ -f "$page" ] && grep -qxF "$marker" "$page"; then
    sed "/^$marker\$/q" "$page"
  else
    echo "# Training time with a GPU"
    echo
    echo "$marker"
  fi
  echo
  echo "## Measured by scripts/gpu-check.sh"
  echo
  echo "On $(date -u '+%Y-%m-%d %H:%M UTC') (took ${SECONDS} s)."
  echo
  echo "- GPU: $gpu"
  echo "- OpenCL CPU device: ${cpu:-none (the _CPU types were not measured)}"
  model="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
  echo "- Processor: $model, $(nproc) cores"
  echo
  echo "### OpenCL tests against the GPU"
  echo
  echo "\`opencl_tests --gtest_filter='$filter'\`: $count tests, $skipped skipped, $result."
  echo
  echo "### Commands, waits and time (\`bench/launch_count_bench\`)"
  echo
  echo '```'
  grep -E '^(BM_|-|Benchmark)' "$logs/launch_count_bench.log" || echo "(no output)"
  echo '```'
  echo
  cat <<'TEXT'
### Time per iteration

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
} >"$scratch/page.md"
cp "$scratch/page.md" "$page"
cp "$scratch/page.md" "$logs/performance-gpu.md"
echo "gpu-check: wrote docs/performance-gpu.md in $SECONDS s (logs in $logs)"
exit "$failed"
