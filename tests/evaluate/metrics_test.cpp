// The figures of the evaluation against small cases worked out by hand.
#include "evaluate/metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

void expectFigure(double actual, double expected, const char* what) {
  if (std::isnan(expected)) {
    EXPECT_TRUE(std::isnan(actual)) << what << " is " << actual << ", expected n/a";
  } else {
    EXPECT_NEAR(actual, expected, 1e-12) << what;
  }
}

struct RankingCase {
  const char* name;
  std::vector<float> scores;
  std::vector<uint8_t> positive;
  double rocAuc, averagePrecision, tprAt25Percent, liftAt10Percent;
};

// The arithmetic of every case is in its comment.
const RankingCase kRankingCases[] = {
    // Positives 0.9, 0.7 against negatives 0.8, 0.6: 3 of 4 pairs won. AP: 1/2 * 1 + 1/2 * 2/3.
    // FPR 0.25 lies halfway along the vertical-then-diagonal path: after 0.9 (TPR 0.5) the
    // negative 0.8 is half taken. Top 10 % of 4 samples is 0.4 of the 0.9 positive: lift
    // (0.4 / 0.4) / (2 / 4) = 2.
    {"distinct", {0.9f, 0.8f, 0.7f, 0.6f}, {1, 0, 1, 0}, 0.75, 5.0 / 6, 0.5, 2.0},
    // Ties: positives 0.5, 0.2 against negatives 0.5, 0.5: 0.5 + 0.5 half credits of 4 pairs.
    // AP: group 0.5 holds 1 of 2 positives at precision 1/3, then 0.2 at 2/4. FPR 0.25 takes a
    // quarter of the tied group's diagonal: TPR 0.25 * 1/2. The tied top group shares its
    // one positive in three: lift (1/3) / (2/4).
    {"ties", {0.5f, 0.5f, 0.5f, 0.2f}, {1, 0, 0, 1}, 0.25, 0.5 / 3 + 0.25, 0.125, 2.0 / 3},
    // All equal: one straight segment; every figure is that of chance.
    {"all equal", {0.3f, 0.3f, 0.3f}, {1, 0, 1}, 0.5, 2.0 / 3, 0.25, 1.0},
    // One class only: AUC and TPR need both; AP and lift need positives.
    {"only positives", {0.9f, 0.1f}, {1, 1}, kNaN, 1.0, kNaN, 1.0},
    {"only negatives", {0.9f, 0.1f}, {0, 0}, kNaN, kNaN, kNaN, kNaN},
    {"perfect", {0.9f, 0.1f}, {1, 0}, 1.0, 1.0, 1.0, 2.0},
    // Reversed: every positive below every negative.
    {"reversed", {0.1f, 0.9f}, {1, 0}, 0.0, 0.5, 0.0, 0.0},
    {"no samples", {}, {}, kNaN, kNaN, kNaN, kNaN},
};

TEST(Ranking, ThresholdFreeFiguresOfHandWorkedCases) {
  for (const RankingCase& c : kRankingCases) {
    SCOPED_TRACE(c.name);
    const Ranking ranking(c.scores, c.positive);
    expectFigure(ranking.rocAuc(), c.rocAuc, "ROC AUC");
    expectFigure(ranking.averagePrecision(), c.averagePrecision, "average precision");
    expectFigure(ranking.truePositiveRateAt(0.25), c.tprAt25Percent, "TPR at FPR 0.25");
    expectFigure(ranking.liftAt(0.10), c.liftAt10Percent, "lift at 10 %");
  }
}

TEST(Ranking, BestF1ThresholdIsTheNextLowerScore) {
  // Cuts after 1..5 samples: F1 = 2 TP / (taken + 3) = 0.5, 0.8, 0.667, 0.857, 0.75. The best
  // takes four, so "score > 0.1" is the rule.
  const Ranking ranking({0.9f, 0.8f, 0.7f, 0.6f, 0.1f}, {1, 1, 0, 1, 0});
  EXPECT_EQ(ranking.bestF1Threshold(), 0.1f);
  // Taking everything is best: the threshold lies just below the lowest score.
  const Ranking all({0.4f, 0.3f}, {1, 1});
  EXPECT_LT(all.bestF1Threshold(), 0.3f);
  EXPECT_GT(all.bestF1Threshold(), 0.2999f);
  EXPECT_TRUE(std::isnan(Ranking({0.4f}, {0}).bestF1Threshold()));
}

TEST(Confusion, AboveTheThresholdIsPositive) {
  const ScoredSamples samples{{0.5f, 0.7f, 0.2f, 0.9f, 0.5f}, {1, 1, 1, 0, 0}};
  const Confusion counts = confusionAt(samples, 0.5f);
  EXPECT_EQ(counts.truePositives, 1);  // 0.5 itself is negative
  EXPECT_EQ(counts.falseNegatives, 2);
  EXPECT_EQ(counts.falsePositives, 1);
  EXPECT_EQ(counts.trueNegatives, 1);
  EXPECT_DOUBLE_EQ(counts.truePositiveRate(), 1.0 / 3);
  EXPECT_DOUBLE_EQ(counts.precision(), 0.5);
  EXPECT_DOUBLE_EQ(counts.f1(), 2.0 / 5);  // 2 TP / (2 TP + FP + FN)
  const Confusion none = confusionAt({{0.1f}, {0}}, 0.5f);
  EXPECT_TRUE(std::isnan(none.truePositiveRate()));
  EXPECT_TRUE(std::isnan(none.precision()));
  EXPECT_TRUE(std::isnan(none.f1()));
}

TEST(Scores, BrierAndLogLossClipTheOutput) {
  // Outputs outside [0, 1] are clipped: Brier (0 + 0 + 0.25) / 3; log loss takes 1 - 1e-7 and
  // 1e-7 for the first two, then -log(0.5).
  const ScoredSamples samples{{1.1f, -0.1f, 0.5f}, {1, 0, 1}};
  EXPECT_NEAR(brierScore(samples), 0.25 / 3, 1e-15);
  EXPECT_NEAR(logLoss(samples), (-2 * std::log1p(-1e-7) + std::log(2.0)) / 3, 1e-15);
  // A confident wrong answer costs -log(1e-7), not infinity.
  EXPECT_NEAR(logLoss({{0.0f}, {1}}), -std::log(1e-7), 1e-9);
  EXPECT_TRUE(std::isnan(brierScore({})));
  EXPECT_TRUE(std::isnan(logLoss({})));
}

}  // namespace
