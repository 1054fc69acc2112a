#include "evaluate/metrics.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double ratio(int64_t numerator, int64_t denominator) {
  return denominator == 0 ? kNaN : static_cast<double>(numerator) / denominator;
}

}  // namespace

// Positives and negatives are sorted apart (floats alone sort fast) and merged into groups.
Ranking::Ranking(const std::vector<float>& scores, const std::vector<uint8_t>& positive) {
  std::vector<float> ofPositives, ofNegatives;
  for (size_t i = 0; i < scores.size(); ++i) {
    const float score = std::isnan(scores[i]) ? -std::numeric_limits<float>::infinity() : scores[i];
    (positive[i] ? ofPositives : ofNegatives).push_back(score);
  }
  positives_ = static_cast<int64_t>(ofPositives.size());
  negatives_ = static_cast<int64_t>(ofNegatives.size());
  std::sort(ofPositives.begin(), ofPositives.end(), std::greater<float>());
  std::sort(ofNegatives.begin(), ofNegatives.end(), std::greater<float>());
  size_t p = 0, n = 0;
  while (p < ofPositives.size() || n < ofNegatives.size()) {
    float score;
    if (p == ofPositives.size()) {
      score = ofNegatives[n];
    } else if (n == ofNegatives.size()) {
      score = ofPositives[p];
    } else {
      score = std::max(ofPositives[p], ofNegatives[n]);
    }
    Group group{score, 0, 0};
    for (; p < ofPositives.size() && ofPositives[p] == score; ++p) ++group.positives;
    for (; n < ofNegatives.size() && ofNegatives[n] == score; ++n) ++group.negatives;
    groups_.push_back(group);
  }
}

// 2U = sum over groups of positives * (2 * negatives below + negatives alongside), in
// integers, so the only rounding is the final division.
double Ranking::rocAuc() const {
  if (positives_ == 0 || negatives_ == 0) return kNaN;
  int64_t negativesBelow = negatives_;
  long double twiceU = 0;
  for (const Group& group : groups_) {
    negativesBelow -= group.negatives;
    twiceU += static_cast<long double>(group.positives) *
              static_cast<long double>(2 * negativesBelow + group.negatives);
  }
  return static_cast<double>(twiceU / (2.0L * positives_ * static_cast<long double>(negatives_)));
}

// AP = sum over distinct scores of (recall gained) * (precision at that score).
double Ranking::averagePrecision() const {
  if (positives_ == 0) return kNaN;
  int64_t truePositives = 0, taken = 0;
  double sum = 0;
  for (const Group& group : groups_) {
    truePositives += group.positives;
    taken += group.positives + group.negatives;
    if (group.positives > 0) {
      sum += static_cast<double>(group.positives) * truePositives / static_cast<double>(taken);
    }
  }
  return sum / static_cast<double>(positives_);
}

double Ranking::truePositiveRateAt(double fpr) const {
  if (positives_ == 0 || negatives_ == 0) return kNaN;
  const double allowed = fpr * static_cast<double>(negatives_);  // false positives allowed
  int64_t truePositives = 0, falsePositives = 0;
  for (const Group& group : groups_) {
    if (static_cast<double>(falsePositives + group.negatives) > allowed) {
      // Part of this group's straight segment fits below the limit.
      const double part = (allowed - static_cast<double>(falsePositives)) / group.negatives;
      return (truePositives + part * group.positives) / static_cast<double>(positives_);
    }
    truePositives += group.positives;
    falsePositives += group.negatives;
  }
  return 1.0;
}

double Ranking::liftAt(double share) const {
  const int64_t total = positives_ + negatives_;
  if (positives_ == 0 || !(share > 0)) return kNaN;
  const double wanted = share * static_cast<double>(total);
  double found = 0, taken = 0;
  for (const Group& group : groups_) {
    const double size = static_cast<double>(group.positives + group.negatives);
    if (taken + size >= wanted) {
      found += (wanted - taken) / size * group.positives;
      break;
    }
    taken += size;
    found += group.positives;
  }
  return (found / wanted) / (static_cast<double>(positives_) / total);
}

// F1 of "the top k groups" = 2 TP / (TP + FP + P); the next group's score is the threshold.
float Ranking::bestF1Threshold() const {
  if (positives_ == 0) return std::numeric_limits<float>::quiet_NaN();
  double bestF1 = -1;
  float best = 0;
  int64_t truePositives = 0, taken = 0;
  for (size_t g = 0; g < groups_.size(); ++g) {
    truePositives += groups_[g].positives;
    taken += groups_[g].positives + groups_[g].negatives;
    const double f1 = 2.0 * truePositives / static_cast<double>(taken + positives_);
    if (f1 > bestF1) {
      bestF1 = f1;
      best = g + 1 < groups_.size()
                 ? groups_[g + 1].score
                 : std::nextafter(groups_[g].score, -std::numeric_limits<float>::infinity());
    }
  }
  return best;
}

double Confusion::truePositiveRate() const {
  return ratio(truePositives, truePositives + falseNegatives);
}

double Confusion::precision() const { return ratio(truePositives, truePositives + falsePositives); }

double Confusion::f1() const {
  if (truePositives + falseNegatives == 0) return kNaN;
  return ratio(2 * truePositives, 2 * truePositives + falsePositives + falseNegatives);
}

Confusion confusionAt(const ScoredSamples& samples, float threshold) {
  Confusion counts;
  for (size_t i = 0; i < samples.scores.size(); ++i) {
    const bool predicted = samples.scores[i] > threshold;
    if (samples.positive[i]) {
      ++(predicted ? counts.truePositives : counts.falseNegatives);
    } else {
      ++(predicted ? counts.falsePositives : counts.trueNegatives);
    }
  }
  return counts;
}

double brierScore(const ScoredSamples& samples) {
  if (samples.scores.empty()) return kNaN;
  double total = 0;
  for (size_t i = 0; i < samples.scores.size(); ++i) {
    const double p = std::min(1.0, std::max(0.0, static_cast<double>(samples.scores[i])));
    const double error = p - samples.positive[i];
    total += error * error;
  }
  return total / static_cast<double>(samples.scores.size());
}

double logLoss(const ScoredSamples& samples) {
  if (samples.scores.empty()) return kNaN;
  const double low = 1e-7, high = 1 - 1e-7;
  double total = 0;
  for (size_t i = 0; i < samples.scores.size(); ++i) {
    const double p = std::min(high, std::max(low, static_cast<double>(samples.scores[i])));
    total -= samples.positive[i] ? std::log(p) : std::log1p(-p);
  }
  return total / static_cast<double>(samples.scores.size());
}
