#include "evaluate/learned_baselines.h"

#include <xgboost/c_api.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <sstream>
#include <utility>

#include "common/terminal_progress.h"
#include "evaluate/logistic_regression.h"
#include "evaluate/metrics.h"

namespace {

struct TreeSettings {
  int maxRounds;    // with validation samples: the most rounds
  int patience;     // rounds without a better validation log loss before stopping
  int roundsBlind;  // without validation samples: the rounds trained
  std::vector<std::pair<const char*, const char*>> parameters;
};

// One thread per booster: the figures repeat on any machine whatever --threads says (the
// histogram sums of several threads are added in an order that depends on their number), and
// OpenMP threads that wait for each other on a busy two-core machine made a round twenty
// times slower. The program runs the learners side by side instead.
// Histogram trees without row or column sampling: nothing random remains.
// clang-format off
const TreeSettings kTrees = {
    1000, 25, 200,
    {{"booster", "gbtree"}, {"tree_method", "hist"}, {"eta", "0.1"}, {"max_depth", "6"},
     {"min_child_weight", "1"}, {"subsample", "1"}, {"colsample_bytree", "1"},
     {"max_bin", "256"}, {"objective", "binary:logistic"}, {"base_score", "0.5"}, {"seed", "0"},
     {"nthread", "1"}, {"verbosity", "0"}}};
// clang-format on

LearnerError failure(const char* what) {
  return LearnerError(std::string("XGBoost cannot ") + what + ": " + XGBGetLastError());
}

void check(int status, const char* what) {
  if (status != 0) throw failure(what);
}

// One owner per XGBoost handle.
class Matrix {
 public:
  explicit Matrix(const SampleMatrix& samples) {
    check(XGDMatrixCreateFromMat_omp(samples.values, samples.rows, samples.columns,
                                     std::numeric_limits<float>::quiet_NaN(), &handle_, 1),
          "take the samples");
    std::vector<float> labels(samples.positive->begin(), samples.positive->end());
    if (XGDMatrixSetFloatInfo(handle_, "label", labels.data(), labels.size()) != 0) {
      const LearnerError error = failure("take the labels");
      XGDMatrixFree(handle_);  // no destructor runs after a throwing constructor
      throw error;
    }
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
  explicit Booster(std::vector<DMatrixHandle> cached) {
    check(XGBoosterCreate(cached.data(), cached.size(), &handle_), "create a model");
    for (const auto& parameter : kTrees.parameters) {
      if (XGBoosterSetParam(handle_, parameter.first, parameter.second) != 0) {
        const LearnerError error = failure("set a parameter");
        XGBoosterFree(handle_);  // no destructor runs after a throwing constructor
        throw error;
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

// The model of the round with the lowest validation log loss is kept (saved, then reloaded
// for the evaluated samples); without validation samples a fixed number of rounds is trained.
LearnedScores trainTrees(const SampleMatrix& training, const SampleMatrix& validation,
                         const SampleMatrix& evaluated,
                         const std::function<void(const std::string&)>& status) {
  // XGBoost keeps its global settings per thread.
  check(XGBSetGlobalConfig(R"({"verbosity": 0})"), "take its settings");
  const char* name = learnerName(Learner::boostedTrees);
  const Matrix trainingMatrix(training);
  const Matrix evaluatedMatrix(evaluated);
  LearnedScores result;
  if (validation.rows == 0) {
    Booster booster({trainingMatrix.get()});
    for (int round = 0; round < kTrees.roundsBlind; ++round) {
      booster.trainRound(round, trainingMatrix);
      if (status)
        status("round " + std::to_string(round + 1) + " of " + std::to_string(kTrees.roundsBlind));
    }
    result.scores = booster.predict(evaluatedMatrix);
    result.how = std::to_string(kTrees.roundsBlind) + " rounds (no validation samples)";
    return result;
  }
  const Matrix validationMatrix(validation);
  Booster booster({trainingMatrix.get(), validationMatrix.get()});
  ScoredSamples checked{{}, *validation.positive};
  double bestLoss = std::numeric_limits<double>::infinity();
  int bestRound = -1, round = 0;
  std::string bestModel;
  for (; round < kTrees.maxRounds && round - bestRound <= kTrees.patience; ++round) {
    booster.trainRound(round, trainingMatrix);
    checked.scores = booster.predict(validationMatrix);
    const double loss = logLoss(checked);
    if (loss < bestLoss) {
      bestLoss = loss;
      bestRound = round;
      bestModel = booster.save();
    }
    std::ostringstream line;
    line << "round " << round + 1 << ", validation log loss " << loss << " (best " << bestLoss
         << " at round " << bestRound + 1 << ")";
    if ((round + 1) % 100 == 0) progress::printLine(std::string(name) + ": " + line.str());
    if (status) status(line.str());
  }
  Booster best({});
  best.load(bestModel);
  result.scores = best.predict(evaluatedMatrix);
  result.validationScores = best.predict(validationMatrix);
  result.how = "best at round " + std::to_string(bestRound + 1) + " of " + std::to_string(round);
  return result;
}

}  // namespace

const char* learnerName(Learner learner) {
  return learner == Learner::logisticRegression ? "logistic regression" : "gradient-boosted trees";
}

std::string learnerSettings(Learner learner) {
  if (learner == Learner::logisticRegression) return logisticRegressionSettings();
  std::string text = "XGBoost";
  for (const auto& parameter : kTrees.parameters) {
    if (std::string(parameter.first) == "verbosity") continue;
    text += std::string(" ") + parameter.first + "=" + parameter.second;
  }
  return text + " rounds<=" + std::to_string(kTrees.maxRounds) +
         " patience=" + std::to_string(kTrees.patience);
}

LearnedScores trainAndScore(Learner learner, const SampleMatrix& training,
                            const SampleMatrix& validation, const SampleMatrix& evaluated,
                            const std::function<void(const std::string&)>& status) {
  const char* name = learnerName(learner);
  const auto start = std::chrono::steady_clock::now();
  progress::printLine(std::string(name) + ": training on " + std::to_string(training.rows) +
                      " samples...");
  LearnedScores result = learner == Learner::logisticRegression
                             ? fitLogisticRegression(training, validation, evaluated, status)
                             : trainTrees(training, validation, evaluated, status);
  std::ostringstream line;
  line << name << ": " << result.how << ", " << seconds(start) << " s";
  progress::printLine(line.str());
  return result;
}
