// On-line back-propagation through OpenCL is bound by launch latency: per sample one input
// copy and 2(L-1)+1 kernel launches, which the in-order queue runs in order without the host
// waiting in between. This benchmark times one training sample of NN_BP_OpenCL_CPU, waited
// for at its end, against that floor, measured on the same queue in the same run: empty
// kernels with the same launch sizes, the same copy and the same one wait. The two are
// interleaved sample by sample so that both see the same machine load. Target: ratio <= 1.5.
// The *GpuSplit* rows build the kernels' GPU work split for the same CPU device instead and run
// the same per-sample steps, for information only: that split is made for GPUs, and its floor
// uses its own group sizes. (bench/opencl/launch_count_bench counts the commands and waits.)
//
//   bench/opencl/bp_opencl_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "opencl/bp_opencl.h"
#include "opencl/cl_check.h"
#include "tests/support/test_support.h"

namespace {

// Training data with deterministic pseudo-random samples in the sample builder's layout.
std::string trainingData(int inputs, int outputs, int samples) {
  std::ostringstream text;
  text << samples << " 0 0\n" << inputs << " " << outputs << "\n";
  for (int j = 0; j < inputs; ++j) text << "-1.25 11.25\n";
  for (int k = 0; k < outputs; ++k) text << "-0.125 1.125\n";
  unsigned seed = 7;
  for (int s = 0; s < samples; ++s) {
    double sum = 0;
    for (int j = 0; j < inputs; ++j) {
      seed = seed * 1664525u + 1013904223u;
      const double x = (seed >> 20) / 409.6;
      sum += x;
      text << x << "\t";
    }
    for (int k = 0; k < outputs; ++k) text << (sum / inputs > 5 + k * 0.1 ? 1 : 0) << "\t";
    text << "\n";
  }
  return text.str();
}

class BenchmarkBP : public NN_BP_OpenCL_CPU {
 public:
  BenchmarkBP() : NN("net.cfg", "train.dat"), NN_BP_OpenCL_CPU("net.cfg", "train.dat", "bp.txt") {
    emptyProgram.reset(createProgramFromSource(context, "__kernel void nothing(void) {}"));
    buildProgram(emptyProgram, device);
    cl_int status = CL_SUCCESS;
    emptyKernel.reset(clCreateKernel(emptyProgram, "nothing", &status));
    checkCl(status, "Error creating the empty kernel", 1);
    initializeWeights();
  }

  void trainOnSample(int i) {
    initializeDeltaWeights();
    propagateForward(trainingInputs, i);
    propagateBackwards(trainingTargets, i);
    applyDeltaWeights();
    clFinish(queue);  // timed to the end of the sample's work
  }

  // One sample in which the phases named by mask (kForward, kBackward, kApply) run the real
  // steps and the others the same device traffic with empty kernels: 0 is the launch floor.
  // Waited for at its end, as trainOnSample.
  void mixedSample(int i, int mask) {
    const int L = numberOfLayers();
    if (mask & kForward) {
      propagateForward(trainingInputs, i);
    } else {
      checkCl(clEnqueueCopyBuffer(queue, trainingInputsBuffer, activationsBuffer,
                                  sizeof(float) * i * inputSize(), 0, sizeof(float) * inputSize(),
                                  0, nullptr, nullptr),
              "copy", 1);
      for (int l = 1; l < L; ++l) launch(roundUp(layers[l], forwardGroupSize), forwardGroupSize);
    }
    if (mask & kBackward) {
      propagateBackwards(trainingTargets, i);
    } else {
      for (int l = L - 1; l >= 1; --l) {
        launch(roundUp(layers[l], backwardGroupSize), backwardGroupSize);
      }
    }
    if (mask & kApply) {
      applyDeltaWeights();
    } else {
      launch(roundUp(numberOfWeights(), updateGroupSize), updateGroupSize);
    }
    clFinish(queue);
  }

  // The same device traffic as trainOnSample with kernels that do nothing.
  void floorSample(int i) { mixedSample(i, 0); }

  static constexpr int kForward = 1;
  static constexpr int kBackward = 2;
  static constexpr int kApply = 4;

 private:
  void launch(size_t global, size_t local) {
    checkCl(clEnqueueNDRangeKernel(queue, emptyKernel, 1, nullptr, &global, &local, 0, nullptr,
                                   nullptr),
            "launch", 1);
  }

  ClProgram emptyProgram;
  ClKernel emptyKernel;
};

// A scratch working directory with the network files and the kernel file.
class Workspace {
 public:
  explicit Workspace(const std::vector<int>& layers) : directory_("ombra_bp_bench") {
    std::filesystem::copy_file(std::string(SOURCE_DIR) + "/opencl/NN_kernels.cl", "NN_kernels.cl");
    std::ofstream configuration("net.cfg");
    for (int size : layers) configuration << size << " ";
    std::ofstream("train.dat") << trainingData(layers.front(), layers.back(), 1000);
    std::ofstream("bp.txt") << "Learning rate: 0.02\n";
  }

 private:
  test_support::ScratchWorkingDirectory directory_;
};

double secondsOf(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration<double>(duration).count();
}

std::vector<int> layersOf(const benchmark::State& state) {
  std::vector<int> layers;
  for (int64_t size : {state.range(0), state.range(1), state.range(2)}) {
    if (size > 0) layers.push_back(static_cast<int>(size));
  }
  return layers;
}

// Times `measured` against the launch floor, interleaved sample by sample, and reports both.
template <class Measured>
void timeAgainstFloor(benchmark::State& state, BenchmarkBP& network, Measured measured) {
  const int samples = network.numberOfTrainingSamples();
  for (int i = 0; i < 50; ++i) {  // warm the device threads and caches
    measured(i % samples);
    network.floorSample(i % samples);
  }

  double measuredSeconds = 0;
  double floorSeconds = 0;
  int sample = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    measured(sample);
    const auto middle = std::chrono::steady_clock::now();
    network.floorSample(sample);
    const auto end = std::chrono::steady_clock::now();
    measuredSeconds += secondsOf(middle - start);
    floorSeconds += secondsOf(end - middle);
    sample = (sample + 1) % samples;
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["sample_us"] = 1e6 * measuredSeconds / iterations;
  state.counters["floor_us"] = 1e6 * floorSeconds / iterations;
  state.counters["ratio"] = measuredSeconds / floorSeconds;
}

void BM_BPOpenCLSampleAgainstLaunchFloor(benchmark::State& state) {
  const std::vector<int> layers = layersOf(state);
  Workspace workspace(layers);
  BenchmarkBP network;
  timeAgainstFloor(state, network, [&](int sample) { network.trainOnSample(sample); });
  state.counters["launches"] = 2 * (static_cast<double>(layers.size()) - 1) + 1;
}

BENCHMARK(BM_BPOpenCLSampleAgainstLaunchFloor)
    ->ArgNames({"in", "hidden", "out"})
    ->Args({14, 10, 1})
    ->Args({30, 20, 1})
    ->Args({64, 200, 8})
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(1.0);

// The same with the GPU split built for the CPU device: for information only.
void BM_BPOpenCLGpuSplitSampleAgainstLaunchFloor(benchmark::State& state) {
  forceWorkSplit(WorkSplit::Gpu);
  BM_BPOpenCLSampleAgainstLaunchFloor(state);
  forceWorkSplit(std::nullopt);
}

BENCHMARK(BM_BPOpenCLGpuSplitSampleAgainstLaunchFloor)
    ->ArgNames({"in", "hidden", "out"})
    ->Args({14, 10, 1})
    ->Args({64, 200, 8})
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(1.0);

// Where the time above the floor goes: one phase real (1 forward, 2 backward, 4 update), the
// others empty; extra_us is what that phase's kernels cost beyond their launches.
void BM_BPOpenCLPhaseAgainstLaunchFloor(benchmark::State& state) {
  Workspace workspace(layersOf(state));
  BenchmarkBP network;
  const int mask = static_cast<int>(state.range(3));
  network.trainOnSample(0);  // activations and error terms in place for a lone backward phase
  timeAgainstFloor(state, network, [&](int sample) { network.mixedSample(sample, mask); });
  state.counters["extra_us"] = state.counters["sample_us"] - state.counters["floor_us"];
}

BENCHMARK(BM_BPOpenCLPhaseAgainstLaunchFloor)
    ->ArgNames({"in", "hidden", "out", "phase"})
    ->Args({64, 200, 8, BenchmarkBP::kForward})
    ->Args({64, 200, 8, BenchmarkBP::kBackward})
    ->Args({64, 200, 8, BenchmarkBP::kApply})
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
