#include "trainers/selection.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>

#include "common/fatal.h"
#include "common/ombra_status.h"
#include "nn/network.h"

double rocAuc(const float* scores, const float* targets, int n, int stride) {
  std::vector<int> rank(static_cast<size_t>(n));
  std::iota(rank.begin(), rank.end(), 0);
  std::sort(rank.begin(), rank.end(), [&](int a, int b) {
    return scores[static_cast<size_t>(a) * stride] < scores[static_cast<size_t>(b) * stride];
  });
  // U = sum over positives of (negatives below + half the negatives tied), by runs of equal
  // scores taken in ascending order.
  int64_t positives = 0, negatives = 0;
  double twiceU = 0;
  for (int first = 0; first < n;) {
    const float score = scores[static_cast<size_t>(rank[first]) * stride];
    int64_t runPositives = 0, runNegatives = 0;
    int last = first;
    for (; last < n && scores[static_cast<size_t>(rank[last]) * stride] == score; ++last) {
      NN::isPositive(targets[static_cast<size_t>(rank[last]) * stride]) ? ++runPositives
                                                                        : ++runNegatives;
    }
    twiceU += static_cast<double>(runPositives) * static_cast<double>(2 * negatives + runNegatives);
    positives += runPositives;
    negatives += runNegatives;
    first = last;
  }
  if (positives == 0 || negatives == 0) return std::nan("");
  return twiceU / (2.0 * static_cast<double>(positives) * static_cast<double>(negatives));
}

double meanRocAuc(const float* scores, const float* targets, int n, int m) {
  double sum = 0;
  for (int k = 0; k < m; ++k) sum += rocAuc(scores + k, targets + k, n, m);
  return sum / m;
}

void requireRankableSamples(const std::vector<float>& targets, int m) {
  const size_t n = targets.size() / static_cast<size_t>(m);
  // Without validation samples no check takes place: the option would do nothing.
  if (n == 0)
    fatal("Select by AUC needs validation samples: the training data file has none",
          ombra_status::kNoTerminatingConditions);
  for (int k = 0; k < m; ++k) {
    size_t positives = 0;
    for (size_t i = 0; i < n; ++i) positives += NN::isPositive(targets[i * m + k]) ? 1 : 0;
    if (positives == 0 || positives == n) {
      fatal(
          "Select by AUC needs validation samples of both classes (targets above 0.5 and "
          "not): output " +
              std::to_string(k + 1) + " has only " +
              (positives == 0 ? "targets of 0.5 or less" : "targets above 0.5"),
          ombra_status::kNoTerminatingConditions);
    }
  }
}
