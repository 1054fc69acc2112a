// Evaluating 1,000,000 test samples held in memory: the network's forward pass and every
// figure of the report (one sort for ROC AUC, average precision, the rates at fixed
// false-positive rates, the lift, the best-F1 threshold; Brier score, log loss and the counts
// at 0.5), against a plain O(N^2) pairwise ROC AUC of 20,000 samples. Both must agree to
// 1e-9 on those 20,000 samples. Prints the time of the million and the ratio of the medians.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "evaluate/metrics.h"
#include "evaluate/report.h"
#include "nn/batch_forward.h"

namespace {

using bench::median;

const size_t kMillion = 1000000;
const size_t kPairwise = 20000;

// The README's recipe on a log of 200 users (13 attributes + 200 one-hot columns), and the
// demo's network.
const std::vector<std::vector<int>> kTopologies = {{213, 10, 1}, {9, 8, 1}};

struct Case {
  std::vector<int> layers;
  std::vector<float> weights;
  std::vector<float> inputs;  // scaled, kMillion rows
  std::vector<uint8_t> positive;
};

float uniform() { return std::rand() / 2147483648.0f * 2.0f - 1.0f; }

// Random weights; inputs uniform in [-1, 1] (the last 200 columns one-hot values, -0.8 or
// 0.8); the class from a noisy linear rule on the inputs, about a quarter positive.
Case makeCase(const std::vector<int>& layers) {
  std::srand(7);
  Case c;
  c.layers = layers;
  size_t weightCount = 0;
  for (size_t l = 1; l < layers.size(); ++l) weightCount += (layers[l - 1] + 1) * layers[l];
  for (size_t k = 0; k < weightCount; ++k) c.weights.push_back(uniform());
  const int n = layers.front();
  std::vector<float> rule(n);
  for (float& r : rule) r = uniform();
  c.inputs.resize(kMillion * n);
  c.positive.resize(kMillion);
  for (size_t s = 0; s < kMillion; ++s) {
    float sum = 0;
    for (int j = 0; j < n; ++j) {
      const float x = j >= 13 ? (std::rand() % 200 == 0 ? 0.8f : -0.8f) : uniform();
      c.inputs[s * n + j] = x;
      sum += rule[j] * x;
    }
    c.positive[s] = sum + 2.0f * uniform() > 1.0f ? 1 : 0;
  }
  return c;
}

const float kOutputRange[2] = {-0.125f, 1.125f};

// Everything the report computes from the scores of the evaluated samples.
double evaluate(const Case& c, std::vector<float>& scores) {
  forwardOutputs(c.layers, c.weights.data(), kOutputRange, c.inputs.data(), kMillion, 0,
                 scores.data());
  ScoredSamples samples{scores, c.positive};
  const Ranking ranking(samples.scores, samples.positive);
  const ModelFigures figures = figuresOf("network", samples, ranking, ScoredSamples{});
  const float threshold = ranking.bestF1Threshold();
  return figures.rocAuc + figures.averagePrecision + figures.brier + figures.logLoss +
         figures.tprAtFpr[0] + figures.liftTop10 + threshold;
}

// The Mann-Whitney statistic by definition: every positive against every negative.
double pairwiseAuc(const std::vector<float>& scores, const std::vector<uint8_t>& positive,
                   size_t count) {
  double wins = 0;
  size_t pairs = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!positive[i]) continue;
    for (size_t k = 0; k < count; ++k) {
      if (positive[k]) continue;
      wins += scores[i] > scores[k] ? 1.0 : scores[i] == scores[k] ? 0.5 : 0.0;
      ++pairs;
    }
  }
  return wins / static_cast<double>(pairs);
}

std::map<std::string, Case> cases;

void BM_EvaluateMillion(benchmark::State& state, std::string name) {
  const Case& c = cases.at(name);
  std::vector<float> scores(kMillion);
  for (auto _ : state) benchmark::DoNotOptimize(evaluate(c, scores));
}

void BM_PairwiseAuc20000(benchmark::State& state, std::string name) {
  const Case& c = cases.at(name);
  std::vector<float> scores(kMillion);
  forwardOutputs(c.layers, c.weights.data(), kOutputRange, c.inputs.data(), kPairwise, 0,
                 scores.data());
  for (auto _ : state) benchmark::DoNotOptimize(pairwiseAuc(scores, c.positive, kPairwise));
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        times[run.benchmark_name().substr(0, run.benchmark_name().find("/repeats"))].push_back(
            run.GetAdjustedRealTime());
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void printRatios() {
    for (const std::vector<int>& layers : kTopologies) {
      const std::string name = bench::topologyName(layers);
      const std::vector<double>& fast = times["BM_EvaluateMillion/" + name + "/iterations:1"];
      const std::vector<double>& plain = times["BM_PairwiseAuc20000/" + name + "/iterations:1"];
      if (fast.empty() || plain.empty()) continue;
      std::printf(
          "%s: 1,000,000 samples, forward pass and every figure: %.3f s (target: under "
          "2 s); pairwise AUC of 20,000: %.3f s; ratio pairwise 20,000 / all of "
          "1,000,000 (medians of %zu): %.2f\n",
          name.c_str(), median(fast) / 1e3, median(plain) / 1e3, fast.size(),
          median(plain) / median(fast));
    }
  }
  std::map<std::string, std::vector<double>> times;
};

// Values first: a fast AUC that differs from the definition means nothing.
bool sameAuc(const Case& c) {
  std::vector<float> scores(kPairwise);
  forwardOutputs(c.layers, c.weights.data(), kOutputRange, c.inputs.data(), kPairwise, 0,
                 scores.data());
  const std::vector<uint8_t> positive(c.positive.begin(), c.positive.begin() + kPairwise);
  const double fast = Ranking(scores, positive).rocAuc();
  const double plain = pairwiseAuc(scores, positive, kPairwise);
  std::printf("%s: ROC AUC of 20,000 samples: one sort %.12f, pairwise %.12f\n",
              bench::topologyName(c.layers).c_str(), fast, plain);
  return std::fabs(fast - plain) <= 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  bool identical = true;
  for (const std::vector<int>& layers : kTopologies) {
    const std::string name = bench::topologyName(layers);
    cases[name] = makeCase(layers);
    identical = sameAuc(cases[name]) && identical;
    benchmark::RegisterBenchmark(("BM_EvaluateMillion/" + name).c_str(), BM_EvaluateMillion, name)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(5);
    benchmark::RegisterBenchmark(("BM_PairwiseAuc20000/" + name).c_str(), BM_PairwiseAuc20000, name)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(5);
  }
  RatioReporter reporter;
  if (identical) {
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
  } else {
    std::fprintf(stderr, "The one-sort ROC AUC differs from the pairwise one\n");
  }
  benchmark::Shutdown();
  return identical ? 0 : 1;
}
