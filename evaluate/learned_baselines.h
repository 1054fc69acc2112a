#pragma once
// The learned baselines, trained on the network's own training samples (inputs scaled as the
// network sees them) and scored on the evaluated ones: logistic regression, fitted to
// convergence by liblinear (logistic_regression.h), and gradient-boosted trees, trained with
// XGBoost's C API and stopped early on the validation samples' log loss, never on the
// evaluated ones. Every setting is pinned (seed, rounds, depth, one thread per learner), so
// the figures repeat from run to run and do not depend on how many learners run at once.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

// Rows of `columns` values with the class of every row.
struct SampleMatrix {
  const float* values;
  size_t rows;
  int columns;
  const std::vector<uint8_t>* positive;
};

enum class Learner { logisticRegression, boostedTrees };

struct LearnedScores {
  std::vector<float> scores;            // one per evaluated sample
  std::vector<float> validationScores;  // one per validation sample (none without them)
  std::string how;                      // rounds and stopping, for the report
};

// What a failing library reports (XGBoost's own message); the program ends with it.
struct LearnerError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Progress lines on standard error, and the state of the work on the terminal's status line
// through status (may be empty). Learners may train at the same time on several threads,
// one logistic regression at a time. Throws LearnerError.
LearnedScores trainAndScore(Learner learner, const SampleMatrix& training,
                            const SampleMatrix& validation, const SampleMatrix& evaluated,
                            const std::function<void(const std::string&)>& status);

const char* learnerName(Learner learner);
// The library and its pinned settings, for the report.
std::string learnerSettings(Learner learner);
