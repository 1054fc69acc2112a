// One particle-swarm iteration with 64 particles and 10,000 training samples: the evaluation
// of the loop (simNNs over the training samples, then mses) of "PSO_private_CPU" and
// "PSO_local_CPU" on the OpenCL CPU device against the CPU NN_PSO (its own tiled, vectorised
// evaluation), timed in turn in the same run, same particles.
//
// Counters: cpu_ms, private_ms and local_ms are medians of the evaluation; private_speedup
// and local_speedup are cpu / device (target: at least 1.5); *_iteration_speedup the same with
// the swarm's move (updateFitnesses, nextIteration, on the host for every type) included.
// *_processor_ms: processor time of the evaluation, all threads (the device's worker threads
// included: on a busy machine a better guide to the kernels' efficiency than the wall-clock
// ratio). max_error_difference: the largest relative difference of a particle's error between
// the CPU and the device.
// BM_PSOOpenCLGpuSplitIterationVersusCpu does the same with the kernels' GPU work split built
// for the CPU device: for information only, that split is made for GPUs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "opencl/pso_opencl.h"
#include "trainers/pso.h"

namespace {

const int kSamples = 10000;
const unsigned kSeed = 20240613u;
const std::vector<std::vector<int>> kTopologies = {{14, 10, 1}, {30, 20, 1}};

using bench::topologyName;

// A scratch working directory with net.cfg, train.dat (every sample a training sample) and a
// copy of the kernel file, which the OpenCL trainers read from the working directory.
class Workspace {
 public:
  explicit Workspace(const std::vector<int>& layers) : directory_("pso_opencl_bench") {
    std::filesystem::copy_file(std::string(SOURCE_DIR) + "/opencl/NN_kernels.cl", "NN_kernels.cl");
    bench::writeConfiguration("net.cfg", layers);
    bench::writeLinearRuleSamples("train.dat", layers, kSamples, kSeed);
  }

 private:
  test_support::ScratchWorkingDirectory directory_;
};

// A trainer with its swarm, its samples in reach.
template <class Trainer>
class Contender : public Trainer {
 public:
  Contender() : NN("net.cfg", "train.dat"), Trainer("net.cfg", "train.dat", "") {
    std::srand(kSeed);  // every contender starts from the same particles
    swarm_ = std::make_unique<ParticleSwarm>(this->parameters, this->weights);
  }
  // The evaluation of one iteration; returns its errors.
  std::vector<float> evaluate() {
    this->simNNs(this->trainingInputs);
    return this->mses(this->trainingTargets);
  }
  void move(const std::vector<float>& errors) {
    swarm_->updateFitnesses(errors);
    swarm_->nextIteration();
  }

 private:
  std::unique_ptr<ParticleSwarm> swarm_;
};

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

using Clock = std::chrono::steady_clock;

// Processor seconds of the whole process (every thread, the device's worker threads
// included): on a loaded machine wall-clock ratios move with the load, these much less.
double processorSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec + 1e-9 * now.tv_nsec;
}

struct Timing {
  std::vector<double> evaluation, iteration, processor;
};

// One iteration: the timed evaluation, then the swarm's move.
template <class Network>
void iterate(Network& network, Timing& timing) {
  const double c0 = processorSeconds();
  const auto t0 = Clock::now();
  const std::vector<float> errors = network.evaluate();
  const auto t1 = Clock::now();
  timing.processor.push_back(processorSeconds() - c0);
  network.move(errors);
  const auto t2 = Clock::now();
  timing.evaluation.push_back(std::chrono::duration<double>(t1 - t0).count());
  timing.iteration.push_back(std::chrono::duration<double>(t2 - t0).count());
}

// The two device types against the CPU; split: the work split their kernels are built with.
void timeAgainstCpu(benchmark::State& state, WorkSplit split) {
  const std::vector<int>& layers = kTopologies[state.range(0)];
  state.SetLabel(topologyName(layers));
  const Workspace workspace(layers);
  const char* splitName = split == WorkSplit::Gpu ? " (GPU split)" : "";
  {
    Contender<NN_PSO> cpu;
    forceWorkSplit(split);
    Contender<NN_PSO_OpenCL_CPU_private> privateDevice;
    Contender<NN_PSO_OpenCL_CPU_local> localDevice;
    forceWorkSplit(std::nullopt);

    // Same particles: the errors agree; also warms up the kernels' first launch.
    const std::vector<float> cpuErrors = cpu.evaluate();
    double worst = 0.0;
    for (const std::vector<float>& errors : {privateDevice.evaluate(), localDevice.evaluate()}) {
      for (size_t p = 0; p < errors.size(); ++p) {
        worst = std::max<double>(worst, std::fabs(errors[p] - cpuErrors[p]) / cpuErrors[p]);
      }
    }
    state.counters["max_error_difference"] = worst;

    Timing cpuTiming, privateTiming, localTiming;
    for (auto _ : state) {
      iterate(cpu, cpuTiming);
      iterate(privateDevice, privateTiming);
      iterate(localDevice, localTiming);
      state.SetIterationTime(localTiming.evaluation.back());
    }
    const double cpuMs = median(cpuTiming.evaluation) * 1e3;
    const double privateMs = median(privateTiming.evaluation) * 1e3;
    const double localMs = median(localTiming.evaluation) * 1e3;
    state.counters["cpu_ms"] = cpuMs;
    state.counters["private_ms"] = privateMs;
    state.counters["local_ms"] = localMs;
    state.counters["private_speedup"] = cpuMs / privateMs;
    state.counters["local_speedup"] = cpuMs / localMs;
    // Processor time of the evaluation: the device spreads it over the machine's cores.
    state.counters["cpu_processor_ms"] = median(cpuTiming.processor) * 1e3;
    state.counters["private_processor_ms"] = median(privateTiming.processor) * 1e3;
    state.counters["local_processor_ms"] = median(localTiming.processor) * 1e3;
    const double cpuIteration = median(cpuTiming.iteration);
    state.counters["private_iteration_speedup"] = cpuIteration / median(privateTiming.iteration);
    state.counters["local_iteration_speedup"] = cpuIteration / median(localTiming.iteration);
    std::printf(
        "%-8s evaluation: CPU %7.2f ms  PSO_private_CPU%s %7.2f ms (%.2fx)  PSO_local_CPU%s "
        "%7.2f ms (%.2fx); whole iteration %.2fx and %.2fx\n",
        topologyName(layers).c_str(), cpuMs, splitName, privateMs, cpuMs / privateMs, splitName,
        localMs, cpuMs / localMs, cpuIteration / median(privateTiming.iteration),
        cpuIteration / median(localTiming.iteration));
    std::printf(
        "%-8s processor time of the evaluation: CPU %7.2f ms  private %7.2f ms  local "
        "%7.2f ms (all threads)\n",
        topologyName(layers).c_str(), median(cpuTiming.processor) * 1e3,
        median(privateTiming.processor) * 1e3, median(localTiming.processor) * 1e3);
  }
}

void BM_PSOOpenCLIterationVersusCpu(benchmark::State& state) {
  timeAgainstCpu(state, WorkSplit::Cpu);
}

BENCHMARK(BM_PSOOpenCLIterationVersusCpu)
    ->DenseRange(0, static_cast<int>(kTopologies.size()) - 1)
    ->Iterations(21)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// For information only: the GPU split on the CPU device.
void BM_PSOOpenCLGpuSplitIterationVersusCpu(benchmark::State& state) {
  timeAgainstCpu(state, WorkSplit::Gpu);
}

BENCHMARK(BM_PSOOpenCLGpuSplitIterationVersusCpu)
    ->DenseRange(0, static_cast<int>(kTopologies.size()) - 1)
    ->Iterations(21)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
