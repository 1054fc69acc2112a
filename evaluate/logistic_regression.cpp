#include "evaluate/logistic_regression.h"

#include <linear.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr double kLambda = 1e-8;     // ridge weight on the mean log loss
constexpr double kTolerance = 1e-6;  // liblinear's eps: gradient norm relative to the start

// Each column's centre and scale, from the training samples.
struct Standardiser {
  std::vector<double> centre, scale;

  explicit Standardiser(const SampleMatrix& training) {
    const size_t d = static_cast<size_t>(training.columns);
    centre.assign(d, 0);
    scale.assign(d, 0);
    std::vector<float> column(training.rows);
    for (size_t j = 0; j < d; ++j) {
      double sum = 0;
      for (size_t r = 0; r < training.rows; ++r) {
        column[r] = training.values[r * d + j];
        sum += column[r];
      }
      if (training.rows == 0) continue;
      const double mean = sum / static_cast<double>(training.rows);
      double squares = 0;
      for (float x : column) squares += (x - mean) * (x - mean);
      std::nth_element(column.begin(), column.begin() + training.rows / 2, column.end());
      centre[j] = column[training.rows / 2];
      scale[j] = std::sqrt(squares / static_cast<double>(training.rows));
    }
  }

  // Row r of samples as liblinear's sparse row: the non-zero standardised values, the bias
  // feature (index d + 1) and the end marker. A constant column is left out.
  void row(const SampleMatrix& samples, size_t r, std::vector<feature_node>& out) const {
    out.clear();
    const size_t d = centre.size();
    for (size_t j = 0; j < d; ++j) {
      if (!(scale[j] > 0)) continue;
      const double value = (samples.values[r * d + j] - centre[j]) / scale[j];
      if (value != 0) out.push_back({static_cast<int>(j) + 1, value});
    }
    out.push_back({static_cast<int>(d) + 1, 1.0});
    out.push_back({-1, 0});
  }
};

// liblinear reports its Newton steps through one process-wide print function; one fit runs at
// a time (the caller's rule), and it counts the steps and passes them on.
struct StepCounter {
  std::mutex lock;
  const std::function<void(const std::string&)>* status = nullptr;
  int steps = 0;
  bool limitReached = false;
};
StepCounter counter;

void countStep(const char* text) {
  if (std::strncmp(text, "iter", 4) == 0) {
    ++counter.steps;
    if (counter.status != nullptr && *counter.status) {
      (*counter.status)("Newton step " + std::to_string(counter.steps));
    }
  } else if (std::strstr(text, "reaching max") != nullptr) {
    counter.limitReached = true;
  }
}

// The probability of the positive class for every row of samples.
std::vector<float> scoresOf(const model* fitted, int positiveIndex, const Standardiser& standard,
                            const SampleMatrix& samples) {
  std::vector<float> scores(samples.rows);
  std::vector<feature_node> nodes;
  double probabilities[2];
  for (size_t r = 0; r < samples.rows; ++r) {
    standard.row(samples, r, nodes);
    predict_probability(fitted, nodes.data(), probabilities);
    scores[r] = static_cast<float>(probabilities[positiveIndex]);
  }
  return scores;
}

}  // namespace

std::string logisticRegressionSettings() {
  return "liblinear solver=L2R_LR (trust-region Newton) lambda=1e-08 eps=1e-06; inputs minus "
         "the training median, over the training standard deviation";
}

LearnedScores fitLogisticRegression(const SampleMatrix& training, const SampleMatrix& validation,
                                    const SampleMatrix& evaluated,
                                    const std::function<void(const std::string&)>& status) {
  LearnedScores result;
  size_t positives = 0;
  for (uint8_t p : *training.positive) positives += p;
  if (positives == 0 || positives == training.rows) {
    // Nothing to separate: every sample scores the training share (one half without any).
    const float share = training.rows == 0 ? 0.5f : static_cast<float>(positives) / training.rows;
    result.scores.assign(evaluated.rows, share);
    result.validationScores.assign(validation.rows, share);
    result.how = "the training samples hold one class only: every sample scores its share";
    return result;
  }

  const Standardiser standard(training);
  // Counted first, so that the rows are stored once, without a reallocation's double copy.
  std::vector<size_t> starts(training.rows + 1, 0);
  std::vector<feature_node> row;
  for (size_t r = 0; r < training.rows; ++r) {
    standard.row(training, r, row);
    starts[r + 1] = starts[r] + row.size();
  }
  std::vector<feature_node> nodes(starts.back());
  for (size_t r = 0; r < training.rows; ++r) {
    standard.row(training, r, row);
    std::copy(row.begin(), row.end(), nodes.begin() + static_cast<std::ptrdiff_t>(starts[r]));
  }
  std::vector<feature_node*> rows(training.rows);
  std::vector<double> labels(training.rows);
  for (size_t r = 0; r < training.rows; ++r) {
    rows[r] = &nodes[starts[r]];
    labels[r] = (*training.positive)[r] ? 1 : -1;
  }
  problem samples{};
  samples.l = static_cast<int>(training.rows);
  samples.n = training.columns + 1;
  samples.y = labels.data();
  samples.x = rows.data();
  samples.bias = 1;
  parameter settings{};
  settings.solver_type = L2R_LR;
  settings.eps = kTolerance;
  settings.C = 1 / (kLambda * static_cast<double>(training.rows));

  std::lock_guard<std::mutex> guard(counter.lock);
  counter.status = &status;
  counter.steps = 0;
  counter.limitReached = false;
  set_print_string_function(countStep);
  model* fitted = train(&samples, &settings);
  counter.status = nullptr;
  int order[2];
  get_labels(fitted, order);
  const int positiveIndex = order[0] == 1 ? 0 : 1;
  result.scores = scoresOf(fitted, positiveIndex, standard, evaluated);
  result.validationScores = scoresOf(fitted, positiveIndex, standard, validation);
  free_and_destroy_model(&fitted);
  result.how = counter.limitReached
                   ? "stopped at liblinear's limit of " + std::to_string(counter.steps) +
                         " Newton steps before converging"
                   : "converged in " + std::to_string(counter.steps) + " Newton steps";
  return result;
}
