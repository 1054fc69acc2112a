// One epoch of on-line back-propagation (NN_BP::train with an iteration limit of 1) over
// 10,000 training samples, against the incremental training of FANN on the same topology,
// samples and initial weights, timed alternately in the same run.
//
// Counters: ours_ns_per_sample and fann_ns_per_sample are medians over the iterations;
// ratio is the median of ours / FANN over pairs of adjacent epochs (target: at most 0.6);
// max_weight_difference compares the weights after one epoch of each (they differ a little:
// FANN reorders its sums, computes its sigmoid in double and clips the sigmoid derivative).
// BM_BPEpochWithOptions times the training options' path per sample against the default.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "trainers/bp.h"
#include "trainers/parameters.h"

#ifdef HAVE_FANN
#include <floatfann.h>
#endif

namespace {

using bench::median;
using bench::topologyName;

const int kSamples = 10000;
const unsigned kSeed = 20240611u;

const std::vector<std::vector<int>> kTopologies = {
    {12, 10, 1}, {30, 20, 1}, {100, 50, 1}, {9, 200, 1}, {9, 50, 50, 50, 1}};

// The same network with its samples and weights in reach (its steps are not replaced, but
// its dynamic type differs, so it trains through the steps).
class OpenNetwork : public NN_BP {
 public:
  // NN is a virtual base: the most-derived class constructs it.
  OpenNetwork(const std::string& configuration, const std::string& data,
              const std::string& parametersFile)
      : NN(configuration, data), NN_BP(configuration, data, parametersFile) {}
  const std::vector<float>& inputs() const { return trainingInputs; }
  const std::vector<float>& targets() const { return trainingTargets; }
  const std::vector<float>& ranges() const { return outputRanges; }
  const std::vector<float>& currentWeights() const { return weights; }
};

#ifdef HAVE_FANN
// FANN with the settings of our trainer: logistic sigmoid (steepness 0.5), learning rate
// 0.02, no momentum, incremental training, linear error.
struct Fann {
  fann* ann = nullptr;
  fann_train_data* data = nullptr;
  std::vector<int> ourIndex;  // for each FANN connection, the index of our weight

  Fann(const std::vector<int>& layers, const OpenNetwork& network) {
    std::vector<unsigned> sizes(layers.begin(), layers.end());
    ann = fann_create_standard_array(static_cast<unsigned>(sizes.size()), sizes.data());
    fann_set_activation_function_hidden(ann, FANN_SIGMOID);
    fann_set_activation_function_output(ann, FANN_SIGMOID);
    fann_set_activation_steepness_hidden(ann, 0.5f);
    fann_set_activation_steepness_output(ann, 0.5f);
    fann_set_learning_rate(ann, 0.02f);
    fann_set_learning_momentum(ann, 0.0f);
    fann_set_training_algorithm(ann, FANN_TRAIN_INCREMENTAL);
    fann_set_train_error_function(ann, FANN_ERRORFUNC_LINEAR);

    // Same samples: scaled inputs, targets scaled to [0, 1].
    const int n = layers.front();
    const int m = layers.back();
    data = fann_create_train(kSamples, n, m);
    for (int s = 0; s < kSamples; ++s) {
      for (int j = 0; j < n; ++j) data->input[s][j] = network.inputs()[s * n + j];
      for (int k = 0; k < m; ++k) {
        float low = network.ranges()[2 * k], high = network.ranges()[2 * k + 1];
        data->output[s][k] = (network.targets()[s * m + k] - low) / (high - low);
      }
    }

    // FANN numbers neurons globally, layer after layer, each layer followed by its bias
    // neuron; a neuron's connections come from the layer below, the bias last.
    std::vector<int> firstNeuron(layers.size()), firstWeight(layers.size(), 0);
    for (size_t l = 1; l < layers.size(); ++l) {
      firstNeuron[l] = firstNeuron[l - 1] + layers[l - 1] + 1;
      if (l > 1) firstWeight[l] = firstWeight[l - 1] + layers[l - 1] * (layers[l - 2] + 1);
    }
    unsigned total = fann_get_total_connections(ann);
    std::vector<fann_connection> connections(total);
    fann_get_connection_array(ann, connections.data());
    for (const fann_connection& c : connections) {
      size_t l = 1;
      while (l + 1 < layers.size() && static_cast<int>(c.to_neuron) >= firstNeuron[l + 1]) ++l;
      int k = static_cast<int>(c.to_neuron) - firstNeuron[l];
      int j = static_cast<int>(c.from_neuron) - firstNeuron[l - 1];  // layers[l-1]: the bias
      int block = firstWeight[l] + k * (layers[l - 1] + 1);
      ourIndex.push_back(j == layers[l - 1] ? block : block + 1 + j);
    }
  }
  ~Fann() {
    fann_destroy_train(data);
    fann_destroy(ann);
  }

  // The connections lie in ann->weights in the order of fann_get_connection_array.
  void setWeights(const std::vector<float>& ours) {
    for (size_t c = 0; c < ourIndex.size(); ++c) ann->weights[c] = ours[ourIndex[c]];
  }
  float weightDifference(const std::vector<float>& ours) const {
    float worst = 0;
    for (size_t c = 0; c < ourIndex.size(); ++c)
      worst = std::max(worst, std::fabs(ann->weights[c] - ours[ourIndex[c]]));
    return worst;
  }
};
#endif

void BM_BPEpochVersusFann(benchmark::State& state) {
  const std::vector<int>& layers = kTopologies[state.range(0)];
  state.SetLabel(topologyName(layers));
  // Every sample a training sample and a one-epoch parameters file.
  const bench::ScratchFolder folder("bp_epoch_bench");
  const std::string configuration = folder.file("net.cfg");
  const std::string trainingData = folder.file("train.dat");
  const std::string parameters = folder.file("bp.txt");
  bench::writeConfiguration(configuration, layers);
  bench::writeLinearRuleSamples(trainingData, layers, kSamples, kSeed);
  std::ofstream(parameters) << "Iterations: 1\nStrip length: 1000\n";
  NN_BP network(configuration, trainingData, parameters);
  OpenNetwork open(configuration, trainingData, parameters);
  const BPParameters& p = network.parameters;

  // The initial weights that train() draws after srand(kSeed).
  std::vector<float> initial(open.numberOfWeights());
  std::srand(kSeed);
  fillUniform(initial.data(), static_cast<int>(initial.size()), p.lowerLimit, p.upperLimit);

#ifdef HAVE_FANN
  Fann fann(layers, open);
  std::srand(kSeed);
  open.train();  // one epoch through the steps, from the same initial weights
  fann.setWeights(initial);
  fann_train_epoch(fann.ann, fann.data);
  state.counters["max_weight_difference"] = fann.weightDifference(open.currentWeights());
#endif

  using Clock = std::chrono::steady_clock;
  std::vector<double> ours, theirs;
  for (auto _ : state) {
    std::srand(kSeed);
    auto t0 = Clock::now();
    network.train();
    auto t1 = Clock::now();
    double seconds = std::chrono::duration<double>(t1 - t0).count();
    ours.push_back(seconds);
    state.SetIterationTime(seconds);
#ifdef HAVE_FANN
    fann.setWeights(initial);
    auto t2 = Clock::now();
    fann_train_epoch(fann.ann, fann.data);
    auto t3 = Clock::now();
    theirs.push_back(std::chrono::duration<double>(t3 - t2).count());
#endif
  }
  const double oursPerSample = median(ours) / kSamples * 1e9;
  state.counters["ours_ns_per_sample"] = oursPerSample;
#ifdef HAVE_FANN
  const double fannPerSample = median(theirs) / kSamples * 1e9;
  state.counters["fann_ns_per_sample"] = fannPerSample;
  // Each epoch of ours is compared with the FANN epoch that ran right after it, so that a
  // change of load on the machine affects both sides of a ratio alike.
  std::vector<double> ratios;
  for (size_t i = 0; i < ours.size(); ++i) ratios.push_back(ours[i] / theirs[i]);
  const double ratio = median(ratios);
  state.counters["ratio"] = ratio;
  std::printf("%-14s ours %8.1f ns/sample   FANN %8.1f ns/sample   ratio %.3f\n",
              topologyName(layers).c_str(), oursPerSample, fannPerSample, ratio);
#else
  std::printf("%-14s ours %8.1f ns/sample   (FANN absent: no comparison)\n",
              topologyName(layers).c_str(), oursPerSample);
#endif
}

BENCHMARK(BM_BPEpochVersusFann)
    ->DenseRange(0, static_cast<int>(kTopologies.size()) - 1)
    ->Iterations(15)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The training options' path: one epoch with a set of option keys against one epoch of the
// default path, timed alternately in the same run. "shuffled cross entropy" (with a positive
// weight) stays on the fused epoch; "momentum" takes the per-sample steps.
const struct {
  const char* name;
  const char* keys;
} kOptionSets[] = {{"shuffled cross entropy", "Shuffle: 1\nCross entropy: 1\nPositive weight: 2\n"},
                   {"momentum", "Momentum: 0.9\nShuffle: 1\nCross entropy: 1\n"}};

void BM_BPEpochWithOptions(benchmark::State& state) {
  const std::vector<int>& layers = kTopologies[state.range(0)];
  const auto& options = kOptionSets[state.range(1)];
  state.SetLabel(topologyName(layers) + " " + options.name);
  const bench::ScratchFolder folder("bp_epoch_options_bench");
  const std::string configuration = folder.file("net.cfg");
  const std::string trainingData = folder.file("train.dat");
  bench::writeConfiguration(configuration, layers);
  bench::writeLinearRuleSamples(trainingData, layers, kSamples, kSeed);
  std::ofstream(folder.file("default.txt")) << "Iterations: 1\nStrip length: 1000\n";
  std::ofstream(folder.file("options.txt")) << "Iterations: 1\nStrip length: 1000\n"
                                            << options.keys;
  NN_BP plain(configuration, trainingData, folder.file("default.txt"));
  NN_BP optioned(configuration, trainingData, folder.file("options.txt"));

  using Clock = std::chrono::steady_clock;
  std::vector<double> withOptions, without;
  for (auto _ : state) {
    std::srand(kSeed);
    auto t0 = Clock::now();
    optioned.train();
    auto t1 = Clock::now();
    std::srand(kSeed);
    plain.train();
    auto t2 = Clock::now();
    const double seconds = std::chrono::duration<double>(t1 - t0).count();
    withOptions.push_back(seconds);
    without.push_back(std::chrono::duration<double>(t2 - t1).count());
    state.SetIterationTime(seconds);
  }
  std::vector<double> ratios;
  for (size_t i = 0; i < withOptions.size(); ++i) ratios.push_back(withOptions[i] / without[i]);
  const double optionsPerSample = median(withOptions) / kSamples * 1e9;
  const double defaultPerSample = median(without) / kSamples * 1e9;
  state.counters["options_ns_per_sample"] = optionsPerSample;
  state.counters["default_ns_per_sample"] = defaultPerSample;
  state.counters["ratio"] = median(ratios);
  std::printf("%-14s %-22s %8.1f ns/sample   default %8.1f ns/sample   ratio %.3f\n",
              topologyName(layers).c_str(), options.name, optionsPerSample, defaultPerSample,
              median(ratios));
}

BENCHMARK(BM_BPEpochWithOptions)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Iterations(15)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
