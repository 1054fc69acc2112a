// How many commands the OpenCL trainers put on their queue, and how often the host waits for
// them, counted (opencl/queue_calls.h), not timed: on a GPU each launch costs a few
// microseconds of latency and each wait a round trip, far more than the arithmetic of these
// networks, so the counts set the time (docs/performance-gpu.md). Any device will do; the
// figures are the same on PoCL's CPU device as on a GPU.
//
//   bench/opencl/launch_count_bench
//
// BP rows: training of the timing experiments' network (9 10 1, 1000 training samples, no
// validation samples) for 5 epochs. commands_per_sample and waits_per_sample count everything
// from the first weight upload to the last read-back; launches_per_epoch the kernel launches;
// *_per_check one error measurement over the 1000 samples (a validation check's work).
// The ms_* counters give the time as well, for information (the point of the counts is a GPU,
// where scripts/gpu-check.sh runs this program).
//   path "steps": the per-sample steps (the CPU split, or the GPU split for a network that does
//     not fit one work-group's local memory). Goal: no wait per sample (at most 1/1000).
//   path "epoch": train_epoch (the GPU split). Goal: one launch per epoch, at most one command
//     per sample.
// PSO rows: 64 particles on 1000 samples for 20 iterations. Goal: at most one wait per
// iteration.
// goal_met is 1 when the row meets its goal. Before these counts were taken, the steps issued
// 2L + 1 commands and 7 waits per sample (7 and 7 for 9 10 1) and a check L + 1 commands and 3
// waits per sample (4000 and 3000), and the swarm 4 commands and 2 waits per iteration.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "opencl/bp_opencl.h"
#include "opencl/pso_opencl.h"
#include "opencl/queue_calls.h"

namespace {

const std::vector<int> kLayers = {9, 10, 1};
const int kSamples = 1000;
const int kEpochs = 5;
const int kIterations = 20;

bool hasDevice(cl_device_type type) {
  cl_platform_id platforms[16];
  cl_uint count = 0;
  if (clGetPlatformIDs(16, platforms, &count) != CL_SUCCESS) return false;
  for (cl_uint p = 0; p < count && p < 16; ++p) {
    cl_uint devices = 0;
    if (clGetDeviceIDs(platforms[p], type, 0, nullptr, &devices) == CL_SUCCESS && devices > 0)
      return true;
  }
  return false;
}

// A scratch working directory with the network files and the kernel file.
class Workspace {
 public:
  explicit Workspace(const std::string& parameters) : directory_("launch_count_bench") {
    std::filesystem::copy_file(std::string(SOURCE_DIR) + "/opencl/NN_kernels.cl", "NN_kernels.cl");
    bench::writeConfiguration("net.cfg", kLayers);
    bench::writeLinearRuleSamples("train.dat", kLayers, kSamples, 20240613u);
    std::ofstream("params.txt") << parameters;
  }

 private:
  test_support::ScratchWorkingDirectory directory_;
};

class CountedBP : public NN_BP_OpenCL {
 public:
  explicit CountedBP(cl_device_type type)
      : NN("net.cfg", "train.dat"), NN_BP_OpenCL("net.cfg", "train.dat", "params.txt", type) {}
  bool usesEpochKernel() const { return static_cast<bool>(epochKernel); }
  void useTheSteps() {
    epochKernel.reset();
    batchKernel.reset();
  }
  const std::vector<float>& trainingInputsVector() const { return trainingInputs; }
  const std::vector<float>& trainingTargetsVector() const { return trainingTargets; }
};

using Clock = std::chrono::steady_clock;
double seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

struct Target {
  cl_device_type type;
  std::optional<WorkSplit> split;
};

// The device type and split of a row: 0 the CPU device with its split, 1 the CPU device with
// the GPU split, 2 a GPU (skipped without one).
Target targetOf(int64_t index) {
  if (index == 0) return {CL_DEVICE_TYPE_CPU, std::nullopt};
  if (index == 1) return {CL_DEVICE_TYPE_CPU, WorkSplit::Gpu};
  return {CL_DEVICE_TYPE_GPU, std::nullopt};
}

const char* const kTargetNames[] = {"CPU device", "CPU device, GPU split", "GPU device"};

void BM_BPCommandsPerSample(benchmark::State& state) {
  const Target target = targetOf(state.range(0));
  const bool epochPath = state.range(1) == 1;
  if (!hasDevice(target.type)) {
    state.SkipWithError("no OpenCL device of the type");
    return;
  }
  forceWorkSplit(target.split);
  Workspace workspace("Learning rate: 0.02\nIterations: " + std::to_string(kEpochs) + "\n");
  CountedBP network(target.type);
  forceWorkSplit(std::nullopt);
  if (epochPath && !network.usesEpochKernel()) {
    state.SkipWithError("no train_epoch here (the CPU split has none)");
    return;
  }
  if (!epochPath) network.useTheSteps();
  state.SetLabel(std::string(kTargetNames[state.range(0)]) + ", " +
                 (epochPath ? "epoch" : "steps") + ", " + bench::topologyName(kLayers));

  network.train();  // warm-up: a runtime may compile a kernel at its first launch
  QueueCounts before, after, checked;
  double trainingSeconds = 0, checkSeconds = 0;
  for (auto _ : state) {
    before = queueCounts();
    const auto start = Clock::now();
    network.train();
    const auto trained = Clock::now();
    after = queueCounts();
    network.computeMSE(network.trainingInputsVector(), network.trainingTargetsVector());
    checkSeconds = seconds(Clock::now() - trained);
    trainingSeconds = seconds(trained - start);
    checked = queueCounts();
  }
  state.counters["ms_per_epoch"] = 1e3 * trainingSeconds / kEpochs;
  state.counters["commands_per_check"] = static_cast<double>(checked.commands - after.commands);
  state.counters["waits_per_check"] = static_cast<double>(checked.waits - after.waits);
  state.counters["ms_per_check"] = 1e3 * checkSeconds;
  const double samples = static_cast<double>(kEpochs) * kSamples;
  const double commands = static_cast<double>(after.commands - before.commands);
  const double waits = static_cast<double>(after.waits - before.waits);
  const double launches = static_cast<double>(after.launches - before.launches);
  state.counters["commands_per_sample"] = commands / samples;
  state.counters["waits_per_sample"] = waits / samples;
  state.counters["launches_per_epoch"] = launches / kEpochs;
  state.counters["goal_met"] =
      epochPath ? (launches <= kEpochs && commands <= samples) : (waits <= samples / kSamples + 2);
}

BENCHMARK(BM_BPCommandsPerSample)
    ->ArgNames({"target", "epoch"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

template <class Trainer>
class CountedPSO : public Trainer {
 public:
  explicit CountedPSO(cl_device_type type)
      : NN("net.cfg", "train.dat"), Trainer("net.cfg", "train.dat", "params.txt", type) {}
};

template <class Trainer>
void countSwarm(benchmark::State& state, const char* variant) {
  const Target target = targetOf(state.range(0));
  if (!hasDevice(target.type)) {
    state.SkipWithError("no OpenCL device of the type");
    return;
  }
  forceWorkSplit(target.split);
  Workspace workspace("Population size: 64\nIterations: " + std::to_string(kIterations) + "\n");
  CountedPSO<Trainer> network(target.type);
  forceWorkSplit(std::nullopt);
  state.SetLabel(std::string(kTargetNames[state.range(0)]) + ", " + variant + ", " +
                 bench::topologyName(kLayers));
  network.train();  // warm-up: a runtime may compile a kernel at its first launch
  QueueCounts before, after;
  double trainingSeconds = 0;
  for (auto _ : state) {
    std::srand(1);
    before = queueCounts();
    const auto start = Clock::now();
    network.train();
    trainingSeconds = seconds(Clock::now() - start);
    after = queueCounts();
  }
  state.counters["ms_per_iteration"] = 1e3 * trainingSeconds / kIterations;
  const double waits = static_cast<double>(after.waits - before.waits);
  state.counters["commands_per_iteration"] =
      static_cast<double>(after.commands - before.commands) / kIterations;
  state.counters["waits_per_iteration"] = waits / kIterations;
  state.counters["goal_met"] = waits <= kIterations;
}

void BM_PSOPrivateCommandsPerIteration(benchmark::State& state) {
  countSwarm<NN_PSO_OpenCL_private>(state, "private");
}
void BM_PSOLocalCommandsPerIteration(benchmark::State& state) {
  countSwarm<NN_PSO_OpenCL_local>(state, "local");
}

BENCHMARK(BM_PSOPrivateCommandsPerIteration)
    ->ArgName("target")
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PSOLocalCommandsPerIteration)
    ->ArgName("target")
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
