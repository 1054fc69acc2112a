#pragma once
// The learned baselines: logistic regression and gradient-boosted trees, trained with
// XGBoost's C API on the network's own training samples (inputs scaled as the network sees
// them), stopped early on the validation samples' log loss, never on the evaluated ones, and
// scored on the evaluated samples. Every setting is pinned (seed, rounds, depth, threads), so
// the figures repeat from run to run.

#include <cstddef>
#include <cstdint>
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

// Progress lines on standard error. Fatal (status 1) when XGBoost reports an error.
LearnedScores trainAndScore(Learner learner, const SampleMatrix& training,
                            const SampleMatrix& validation, const SampleMatrix& evaluated);

const char* learnerName(Learner learner);
// The pinned settings, one "key=value" list, for the report.
std::string learnerSettings(Learner learner);
