// ombra-evaluate on the largest real log, RICC-2010-2 (about 450,000 jobs), made with the
// README's recipe (scripts/train-recipe.sh): the whole program with every baseline, the
// importance and the charts against its goal of 15 s on two cores; and the logistic
// regression baseline, liblinear's Newton method on standardised inputs, against the solver it
// replaced, XGBoost's coordinate descent (gblinear) on the scaled inputs, stopped by the
// validation log loss after at most 500 rounds. Both fits must rank the test samples alike
// (ROC AUC and PR AUC within 0.001). Skipped when the log is absent.
#include <benchmark/benchmark.h>
#include <xgboost/c_api.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "evaluate/evaluated_network.h"
#include "evaluate/learned_baselines.h"
#include "evaluate/metrics.h"

namespace {

using bench::median;

const double kGoalSeconds = 15;

struct Samples {
  std::vector<uint8_t> training, validation, test;
  SampleMatrix trainingMatrix, validationMatrix, testMatrix;
};

std::string folder, network, data;
Samples samples;

std::vector<uint8_t> classesOf(const NN_evaluated& net, SampleSet set) {
  const std::vector<float>& targets = net.targets(set);
  std::vector<uint8_t> positive(targets.size());
  for (size_t i = 0; i < targets.size(); ++i) positive[i] = NN::isPositive(targets[i]) ? 1 : 0;
  return positive;
}

void check(int status) {
  if (status != 0) {
    std::fprintf(stderr, "XGBoost: %s\n", XGBGetLastError());
    std::exit(1);
  }
}

DMatrixHandle matrixOf(const SampleMatrix& m) {
  DMatrixHandle handle = nullptr;
  check(XGDMatrixCreateFromMat_omp(m.values, m.rows, m.columns,
                                   std::numeric_limits<float>::quiet_NaN(), &handle, 1));
  const std::vector<float> labels(m.positive->begin(), m.positive->end());
  check(XGDMatrixSetFloatInfo(handle, "label", labels.data(), labels.size()));
  return handle;
}

std::vector<float> predict(BoosterHandle booster, DMatrixHandle m) {
  const bst_ulong* shape = nullptr;
  bst_ulong dimensions = 0;
  const float* result = nullptr;
  check(XGBoosterPredictFromDMatrix(
      booster, m,
      R"({"type": 0, "training": false, "iteration_begin": 0, "iteration_end": 0, "strict_shape": false})",
      &shape, &dimensions, &result));
  return std::vector<float>(result, result + shape[0]);
}

// The solver the logistic regression baseline had: cyclic coordinate descent, no penalty, one
// thread, the round of the lowest validation log loss kept (at most 500, patience 10).
std::vector<float> coordinateDescentScores() {
  DMatrixHandle training = matrixOf(samples.trainingMatrix);
  DMatrixHandle validation = matrixOf(samples.validationMatrix);
  DMatrixHandle test = matrixOf(samples.testMatrix);
  DMatrixHandle cached[2] = {training, validation};
  BoosterHandle booster = nullptr;
  check(XGBoosterCreate(cached, 2, &booster));
  for (const auto& parameter :
       std::vector<std::pair<const char*, const char*>>{{"booster", "gblinear"},
                                                        {"updater", "coord_descent"},
                                                        {"feature_selector", "cyclic"},
                                                        {"eta", "1"},
                                                        {"lambda", "0"},
                                                        {"alpha", "0"},
                                                        {"objective", "binary:logistic"},
                                                        {"base_score", "0.5"},
                                                        {"seed", "0"},
                                                        {"nthread", "1"},
                                                        {"verbosity", "0"}}) {
    check(XGBoosterSetParam(booster, parameter.first, parameter.second));
  }
  ScoredSamples checked{{}, samples.validation};
  double bestLoss = std::numeric_limits<double>::infinity();
  std::vector<float> best;
  for (int round = 0, bestRound = -1; round < 500 && round - bestRound <= 10; ++round) {
    check(XGBoosterUpdateOneIter(booster, round, training));
    checked.scores = predict(booster, validation);
    const double loss = logLoss(checked);
    if (loss < bestLoss) {
      bestLoss = loss;
      bestRound = round;
      best = predict(booster, test);
    }
  }
  XGBoosterFree(booster);
  for (DMatrixHandle m : {training, validation, test}) XGDMatrixFree(m);
  return best;
}

std::vector<float> newtonScores() {
  return trainAndScore(Learner::logisticRegression, samples.trainingMatrix,
                       samples.validationMatrix, samples.testMatrix, {})
      .scores;
}

std::map<std::string, std::vector<float>> scoresOf;

void BM_LogisticRegressionNewton(benchmark::State& state) {
  for (auto _ : state) scoresOf["newton"] = newtonScores();
}

void BM_LogisticRegressionCoordinateDescent(benchmark::State& state) {
  for (auto _ : state) scoresOf["descent"] = coordinateDescentScores();
}

void BM_OmbraEvaluateWithCharts(benchmark::State& state) {
  const std::string command =
      test_support::shellQuoted(std::string(BUILD_DIR) + "/ombra-evaluate") + " " + network + " " +
      data + " --charts " + test_support::shellQuoted(folder + "/chart") + " >/dev/null 2>&1";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("ombra-evaluate failed");
  }
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        const std::string name = run.benchmark_name();
        seconds[name.substr(0, name.find('/'))].push_back(run.GetAdjustedRealTime() / 1e3);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, std::vector<double>> seconds;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::string log = std::string(SWF_DATA_DIR) + "/RICC-2010-2.swf.gz";
  if (std::FILE* file = std::fopen(log.c_str(), "rb")) {
    std::fclose(file);
  } else {
    std::printf("Skipped: no %s\n", log.c_str());
    return 0;
  }
  const test_support::ScratchFolder scratch("ombra_baselines_bench");
  folder = scratch.path();
  network = test_support::shellQuoted(folder + "/run/net.bin");
  data = test_support::shellQuoted(folder + "/run/train.dat");
  std::printf("Making the recipe's files from %s ...\n", log.c_str());
  const std::string recipe =
      "BUILD_DIR=" + test_support::shellQuoted(BUILD_DIR) + " " +
      test_support::shellQuoted(std::string(SOURCE_DIR) + "/scripts/train-recipe.sh") + " " +
      test_support::shellQuoted(log) + " " + test_support::shellQuoted(folder + "/run") +
      " >/dev/null";
  if (std::system(recipe.c_str()) != 0) {
    std::fprintf(stderr, "The recipe failed: %s\n", recipe.c_str());
    return 1;
  }
  NN_evaluated net(folder + "/run/net.bin");
  net.readSamples(folder + "/run/train.dat");
  samples.training = classesOf(net, SampleSet::training);
  samples.validation = classesOf(net, SampleSet::validation);
  samples.test = classesOf(net, SampleSet::test);
  const int n = net.inputSize();
  samples.trainingMatrix = {net.inputs(SampleSet::training).data(), samples.training.size(), n,
                            &samples.training};
  samples.validationMatrix = {net.inputs(SampleSet::validation).data(), samples.validation.size(),
                              n, &samples.validation};
  samples.testMatrix = {net.inputs(SampleSet::test).data(), samples.test.size(), n, &samples.test};

  benchmark::RegisterBenchmark("BM_LogisticRegressionNewton", BM_LogisticRegressionNewton)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(3);
  benchmark::RegisterBenchmark("BM_LogisticRegressionCoordinateDescent",
                               BM_LogisticRegressionCoordinateDescent)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(3);
  benchmark::RegisterBenchmark("BM_OmbraEvaluateWithCharts", BM_OmbraEvaluateWithCharts)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1)
      ->Repetitions(3);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  bool same = true;
  if (scoresOf.count("newton") && scoresOf.count("descent")) {
    const Ranking newton(scoresOf["newton"], samples.test);
    const Ranking descent(scoresOf["descent"], samples.test);
    std::printf(
        "Logistic regression, test samples: ROC AUC %.4f (coordinate descent %.4f), PR AUC %.4f "
        "(%.4f)\n",
        newton.rocAuc(), descent.rocAuc(), newton.averagePrecision(), descent.averagePrecision());
    same = std::fabs(newton.rocAuc() - descent.rocAuc()) <= 0.001 &&
           std::fabs(newton.averagePrecision() - descent.averagePrecision()) <= 0.001;
  }
  std::map<std::string, std::vector<double>>& s = reporter.seconds;
  if (!s["BM_LogisticRegressionNewton"].empty() &&
      !s["BM_LogisticRegressionCoordinateDescent"].empty()) {
    const double newton = median(s["BM_LogisticRegressionNewton"]);
    const double descent = median(s["BM_LogisticRegressionCoordinateDescent"]);
    std::printf(
        "Logistic regression fit and scores: Newton %.2f s, coordinate descent %.2f s; ratio "
        "descent / Newton (medians): %.2f\n",
        newton, descent, descent / newton);
  }
  if (!s["BM_OmbraEvaluateWithCharts"].empty()) {
    const double whole = median(s["BM_OmbraEvaluateWithCharts"]);
    std::printf(
        "ombra-evaluate with every baseline, the importance and the charts: %.2f s (median of "
        "%zu); ratio to the goal of %.0f s: %.2f\n",
        whole, s["BM_OmbraEvaluateWithCharts"].size(), kGoalSeconds, whole / kGoalSeconds);
  }
  if (!same) std::fprintf(stderr, "The two logistic regressions rank the test samples apart\n");
  return same ? 0 : 1;
}
