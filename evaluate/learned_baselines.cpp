#include "evaluate/learned_baselines.h"

#include <xgboost/c_api.h>

#include <chrono>
#include <cmath>
#include <iostream>
#include <limits>
#include <utility>

#include "evaluate/metrics.h"
#include "nn/fatal.h"

namespace {

struct LearnerSettings {
  const char* name;
  int maxRounds;    // with validation samples: the most rounds
  int patience;     // rounds without a better validation log loss before stopping
  int roundsBlind;  // without validation samples: the rounds trained
  std::vector<std::pair<const char*, const char*>> parameters;
};

// One thread: the figures repeat on any machine, and OpenMP threads that wait for each other
// on a busy two-core machine made a round twenty times slower.
// clang-format off
const std::vector<std::pair<const char*, const char*>> kCommon = {
    {"objective", "binary:logistic"}, {"base_score", "0.5"}, {"seed", "0"},
    {"nthread", "1"},                 {"verbosity", "0"},
};
// clang-format on

const LearnerSettings& settingsOf(Learner learner) {
  // clang-format off
  // Plain (unpenalised) logistic regression by deterministic coordinate descent.
  static const LearnerSettings linear = {
      "logistic regression", 500, 10, 100,
      {{"booster", "gblinear"}, {"updater", "coord_descent"}, {"feature_selector", "cyclic"},
       {"eta", "1"}, {"lambda", "0"}, {"alpha", "0"}}};
  // Histogram trees without row or column sampling: nothing random remains.
  static const LearnerSettings trees = {
      "gradient-boosted trees", 1000, 25, 200,
      {{"booster", "gbtree"}, {"tree_method", "hist"}, {"eta", "0.1"}, {"max_depth", "6"},
       {"min_child_weight", "1"}, {"subsample", "1"}, {"colsample_bytree", "1"},
       {"max_bin", "256"}}};
  // clang-format on
  return learner == Learner::logisticRegression ? linear : trees;
}

void check(int status, const char* what) {
  if (status != 0) fatal(std::string("XGBoost cannot ") + what + ": " + XGBGetLastError(), 1);
}

// One owner per XGBoost handle.
class Matrix {
 public:
  explicit Matrix(const SampleMatrix& samples) {
    check(XGDMatrixCreateFromMat_omp(samples.values, samples.rows, samples.columns,
                                     std::numeric_limits<float>::quiet_NaN(), &handle_, 1),
          "take the samples");
    std::vector<float> labels(samples.positive->begin(), samples.positive->end());
    check(XGDMatrixSetFloatInfo(handle_, "label", labels.data(), labels.size()), "take the labels");
  }
  ~Matrix() { XGDMatrixFree(handle_); }
  Matrix(const Matrix&) = delete;
  Matrix& operator=(const Matrix&) = delete;
  DMatrixHandle get() const { return handle_; }

 private:
  DMatrixHandle handle_ = nullptr;
};

class Booster {
 public:
  Booster(std::vector<DMatrixHandle> cached, const LearnerSettings& settings) {
    check(XGBoosterCreate(cached.data(), cached.size(), &handle_), "create a model");
    for (const auto& parameters : {kCommon, settings.parameters}) {
      for (const auto& parameter : parameters) {
        check(XGBoosterSetParam(handle_, parameter.first, parameter.second), "set a parameter");
      }
    }
  }
  ~Booster() { XGBoosterFree(handle_); }
  Booster(const Booster&) = delete;
  Booster& operator=(const Booster&) = delete;

  void trainRound(int round, const Matrix& training) {
    check(XGBoosterUpdateOneIter(handle_, round, training.get()), "train");
  }
  std::vector<float> predict(const Matrix& samples) {
    const char* config =
        R"({"type": 0, "training": false, "iteration_begin": 0, "iteration_end": 0, )"
        R"("strict_shape": false})";
    const bst_ulong* shape = nullptr;
    bst_ulong dimensions = 0;
    const float* result = nullptr;
    check(XGBoosterPredictFromDMatrix(handle_, samples.get(), config, &shape, &dimensions, &result),
          "predict");
    bst_ulong count = 1;
    for (bst_ulong d = 0; d < dimensions; ++d) count *= shape[d];
    return std::vector<float>(result, result + count);
  }
  std::string save() {
    bst_ulong length = 0;
    const char* bytes = nullptr;
    check(XGBoosterSaveModelToBuffer(handle_, R"({"format": "ubj"})", &length, &bytes),
          "save a model");
    return std::string(bytes, length);
  }
  void load(const std::string& model) {
    check(XGBoosterLoadModelFromBuffer(handle_, model.data(), model.size()), "load a model");
  }

 private:
  BoosterHandle handle_ = nullptr;
};

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

const char* learnerName(Learner learner) { return settingsOf(learner).name; }

std::string learnerSettings(Learner learner) {
  const LearnerSettings& settings = settingsOf(learner);
  std::string text;
  for (const auto& parameters : {settings.parameters, kCommon}) {
    for (const auto& parameter : parameters) {
      if (std::string(parameter.first) == "verbosity") continue;
      text += std::string(text.empty() ? "" : " ") + parameter.first + "=" + parameter.second;
    }
  }
  return text + " rounds<=" + std::to_string(settings.maxRounds) +
         " patience=" + std::to_string(settings.patience);
}

// The model of the round with the lowest validation log loss is kept (saved, then reloaded
// for the evaluated samples); without validation samples a fixed number of rounds is trained.
LearnedScores trainAndScore(Learner learner, const SampleMatrix& training,
                            const SampleMatrix& validation, const SampleMatrix& evaluated) {
  static const int quiet = XGBSetGlobalConfig(R"({"verbosity": 0})");
  (void)quiet;
  const LearnerSettings& settings = settingsOf(learner);
  const auto start = std::chrono::steady_clock::now();
  std::cerr << settings.name << ": training on " << training.rows << " samples..." << std::endl;
  const Matrix trainingMatrix(training);
  const Matrix evaluatedMatrix(evaluated);
  const bool stopEarly = validation.rows > 0;
  LearnedScores result;
  if (!stopEarly) {
    Booster booster({trainingMatrix.get()}, settings);
    for (int round = 0; round < settings.roundsBlind; ++round) {
      booster.trainRound(round, trainingMatrix);
    }
    result.scores = booster.predict(evaluatedMatrix);
    result.how = std::to_string(settings.roundsBlind) + " rounds (no validation samples)";
  } else {
    const Matrix validationMatrix(validation);
    Booster booster({trainingMatrix.get(), validationMatrix.get()}, settings);
    ScoredSamples checked{{}, *validation.positive};
    double bestLoss = std::numeric_limits<double>::infinity();
    int bestRound = -1, round = 0;
    std::string bestModel;
    for (; round < settings.maxRounds && round - bestRound <= settings.patience; ++round) {
      booster.trainRound(round, trainingMatrix);
      checked.scores = booster.predict(validationMatrix);
      const double loss = logLoss(checked);
      if (loss < bestLoss) {
        bestLoss = loss;
        bestRound = round;
        bestModel = booster.save();
      }
      if ((round + 1) % 100 == 0) {
        std::cerr << settings.name << ": round " << round + 1 << ", validation log loss " << loss
                  << " (best " << bestLoss << " at round " << bestRound + 1 << ")" << std::endl;
      }
    }
    Booster best({}, settings);
    best.load(bestModel);
    result.scores = best.predict(evaluatedMatrix);
    result.validationScores = best.predict(validationMatrix);
    result.how = std::to_string(bestRound + 1) + " rounds (best validation log loss of " +
                 std::to_string(round) + ")";
  }
  std::cerr << settings.name << ": " << result.how << ", " << seconds(start) << " s" << std::endl;
  return result;
}
