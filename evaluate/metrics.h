#pragma once
// Figures of a scored sample set: how well scores (network outputs, or any model's) separate
// failed or cancelled jobs (positive) from completed ones. Exact, and all threshold-free
// figures come from one sort of the scores.

#include <cstddef>
#include <cstdint>
#include <vector>

// The scores of one model for one sample set, and the true class of every sample.
struct ScoredSamples {
  std::vector<float> scores;
  std::vector<uint8_t> positive;  // 1: failed or cancelled
};

// The samples grouped by score, highest score first: every group holds the samples of one
// score value. Ties therefore always move together, which gives them half credit in the
// ROC AUC (the Mann-Whitney statistic) and a straight segment on every curve.
class Ranking {
 public:
  struct Group {
    float score;
    int64_t positives;
    int64_t negatives;
  };

  // A score that is not a number ranks with -inf (callers refuse such scores before).
  Ranking(const std::vector<float>& scores, const std::vector<uint8_t>& positive);

  int64_t positives() const { return positives_; }
  int64_t negatives() const { return negatives_; }
  const std::vector<Group>& groups() const { return groups_; }

  // The probability that a random positive scores above a random negative, ties counting
  // one half. nan without positives or without negatives.
  double rocAuc() const;
  // Average precision: the precision at every distinct score, weighted by the recall it
  // adds. nan without positives.
  double averagePrecision() const;
  // The true-positive rate where the ROC curve (straight between distinct scores) reaches
  // the false-positive rate fpr. nan without positives or without negatives.
  double truePositiveRateAt(double fpr) const;
  // The share of positives among the top `share` of samples by score (ties shared out in
  // proportion), divided by the share of positives among all samples. nan without positives.
  double liftAt(double share) const;

  // The threshold that maximises F1 when "score > threshold" means positive: the next lower
  // distinct score below the chosen cut (below the lowest score when every sample is taken).
  // The highest such threshold wins a tie. nan without positives.
  float bestF1Threshold() const;

 private:
  std::vector<Group> groups_;
  int64_t positives_ = 0;
  int64_t negatives_ = 0;
};

// Counts at a threshold: a sample is predicted positive when its score is above it.
struct Confusion {
  int64_t truePositives = 0;
  int64_t falsePositives = 0;
  int64_t trueNegatives = 0;
  int64_t falseNegatives = 0;

  double truePositiveRate() const;  // nan without positives
  double precision() const;         // nan when nothing is predicted positive
  double f1() const;                // nan without positives
};
Confusion confusionAt(const ScoredSamples& samples, float threshold);

// Mean of (score - class)^2, the score clipped to [0, 1] (a network's outputs lie in the
// widened target range and can leave it). nan for no samples.
double brierScore(const ScoredSamples& samples);
// Mean of -log(p) for positives and -log(1 - p) for negatives, p the score clipped to
// [1e-7, 1 - 1e-7]. nan for no samples.
double logLoss(const ScoredSamples& samples);
