// One particle-swarm iteration (simNNs over the training samples, mses, updateFitnesses,
// nextIteration) with 64 particles and 10,000 training samples, for the tiled evaluation of
// NN_PSO against the plain loop of one feedForward per particle and sample, timed
// alternately in the same run.
//
// Counters: plain_ms and tiled_ms are medians over the iterations, speedup is plain / tiled
// (target: at least 3); sim_speedup the same for simNNs alone; max_output_difference the
// largest difference of one output between the two evaluations of the same particles, in
// units of the output range.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "trainers/pso.h"

namespace {

using bench::median;
using bench::topologyName;

const int kSamples = 10000;
const unsigned kSeed = 20240612u;

const std::vector<std::vector<int>> kTopologies = {{14, 10, 1}, {30, 20, 1}};

// NN_PSO with its samples and particles in reach.
class OpenSwarmNetwork : public NN_PSO {
 public:
  OpenSwarmNetwork(const std::string& configuration, const std::string& data)
      : NN(configuration, data), NN_PSO(configuration, data, "") {}
  const std::vector<float>& inputs() const { return trainingInputs; }
  const std::vector<float>& targets() const { return trainingTargets; }
  const std::vector<float>& ranges() const { return outputRanges; }
  const std::vector<float>& simulated() const { return outputs; }
  std::vector<float>& particles() { return weights; }
};

// The baseline: one feedForward (scalar expf) per particle and sample.
class PlainSwarmNetwork : public OpenSwarmNetwork {
 public:
  // NN is a virtual base: the most-derived class constructs it (an inherited constructor
  // would leave it default-constructed).
  PlainSwarmNetwork(const std::string& configuration, const std::string& data)
      : NN(configuration, data), OpenSwarmNetwork(configuration, data) {}
  void simNNs(const std::vector<float>& inputs) override {
    const size_t n = numberOfSamples(inputs);
    const size_t m = outputSize();
    const size_t D = parameters.dimension;
    const size_t P = parameters.populationSize;
    if (outputs.size() < P * n * m) outputs.assign(P * n * m, 0.0f);
    for (size_t p = 0; p < P; ++p) {
      for (size_t s = 0; s < n; ++s) {
        feedForward(inputs.data() + s * inputSize(), weights.data() + p * D, outputBuffer.data());
        std::copy(outputBuffer.begin(), outputBuffer.begin() + m,
                  outputs.begin() + (p * n + s) * m);
      }
    }
  }
};

using Clock = std::chrono::steady_clock;
double seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// One iteration of the training loop; returns the simNNs part and the whole in seconds.
std::pair<double, double> iterate(OpenSwarmNetwork& network, ParticleSwarm& swarm) {
  const auto t0 = Clock::now();
  network.simNNs(network.inputs());
  const auto t1 = Clock::now();
  swarm.updateFitnesses(network.mses(network.targets()));
  swarm.nextIteration();
  const auto t2 = Clock::now();
  return {seconds(t0, t1), seconds(t0, t2)};
}

void BM_PSOIterationTiledVersusPlain(benchmark::State& state) {
  const std::vector<int>& layers = kTopologies[state.range(0)];
  state.SetLabel(topologyName(layers));
  const bench::ScratchFolder folder("pso_iteration_bench");
  const std::string configuration = folder.file("net.cfg");
  const std::string trainingData = folder.file("train.dat");
  bench::writeConfiguration(configuration, layers);
  bench::writeLinearRuleSamples(trainingData, layers, kSamples, kSeed);
  OpenSwarmNetwork tiled(configuration, trainingData);
  PlainSwarmNetwork plain(configuration, trainingData);
  std::srand(kSeed);
  ParticleSwarm tiledSwarm(tiled.parameters, tiled.particles());
  std::srand(kSeed);
  ParticleSwarm plainSwarm(plain.parameters, plain.particles());

  // The same particles through both evaluations.
  tiled.simNNs(tiled.inputs());
  plain.simNNs(plain.inputs());
  double worst = 0.0;
  const size_t m = layers.back();
  for (size_t i = 0; i < tiled.simulated().size(); ++i) {
    const size_t k = i % m;
    const double range = plain.ranges()[2 * k + 1] - plain.ranges()[2 * k];
    worst = std::max(worst, std::fabs(tiled.simulated()[i] - plain.simulated()[i]) / range);
  }
  state.counters["max_output_difference"] = worst;

  std::vector<double> plainSim, plainAll, tiledSim, tiledAll;
  for (auto _ : state) {
    const auto p = iterate(plain, plainSwarm);
    const auto t = iterate(tiled, tiledSwarm);
    plainSim.push_back(p.first);
    plainAll.push_back(p.second);
    tiledSim.push_back(t.first);
    tiledAll.push_back(t.second);
    state.SetIterationTime(t.second);
  }
  const double speedup = median(plainAll) / median(tiledAll);
  state.counters["plain_ms"] = median(plainAll) * 1e3;
  state.counters["tiled_ms"] = median(tiledAll) * 1e3;
  state.counters["speedup"] = speedup;
  state.counters["sim_speedup"] = median(plainSim) / median(tiledSim);
  std::printf("%-8s plain %8.2f ms   tiled %8.2f ms   speedup %.2f (simNNs alone %.2f)\n",
              topologyName(layers).c_str(), median(plainAll) * 1e3, median(tiledAll) * 1e3, speedup,
              median(plainSim) / median(tiledSim));
}

BENCHMARK(BM_PSOIterationTiledVersusPlain)
    ->DenseRange(0, static_cast<int>(kTopologies.size()) - 1)
    ->Iterations(15)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
