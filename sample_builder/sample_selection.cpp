// Split, positives-ratio step and re-split.

#include "sample_builder/sample_selection.h"

#include <cmath>
#include <cstdlib>
#include <iostream>

SplitCounts splitJobs(int jobCount, double trainingRatio, double validationRatio,
                      double testRatio) {
  double sum = trainingRatio + validationRatio + testRatio;
  SplitCounts counts;
  counts.training = static_cast<int>(std::floor(jobCount * (trainingRatio / sum) + 0.5));
  counts.validation = static_cast<int>(std::floor((validationRatio / sum) * jobCount + 0.5));
  counts.test = jobCount - counts.training - counts.validation;
  return counts;
}

namespace {

int countPositives(const std::vector<JobData>& jobs, int count) {
  int positives = 0;
  for (int i = 0; i < count; ++i) {
    if (jobs[i].status != 1) ++positives;
  }
  return positives;
}

// target = floor(P / ratio + 0.5), or count when ratio <= 0; printed before any erasure.
double targetCount(int positives, int count, double ratio) {
  double target = ratio > 0 ? std::floor(positives / ratio + 0.5) : count;
  std::cout << "now = " << count << "  final =";
  if (std::fabs(target) < 1e18) {
    std::cout << static_cast<long long>(target);
  } else {
    std::cout << target;
  }
  std::cout << std::endl;
  return target;
}

void printRemoved(int removed) { std::cout << "Negatives removed = " << removed << std::endl; }

// Order-statistics over positions 0..n-1: which positions remain, and the k-th remaining one.
class RemainingPositions {
 public:
  explicit RemainingPositions(int n) : tree_(n + 1) {
    for (int i = 1; i <= n; ++i) tree_[i] = i & -i;  // every position present
    step_ = 1;
    while (step_ * 2 <= n) step_ *= 2;
  }

  // The position of the k-th (0-based) remaining one.
  int find(int k) const {
    int position = 0;
    int rest = k + 1;
    int n = static_cast<int>(tree_.size()) - 1;
    for (int step = step_; step > 0; step /= 2) {
      if (position + step <= n && tree_[position + step] < rest) {
        position += step;
        rest -= tree_[position];
      }
    }
    return position;
  }

  void remove(int position) {
    for (int i = position + 1; i < static_cast<int>(tree_.size()); i += i & -i) --tree_[i];
  }

 private:
  std::vector<int> tree_;
  int step_ = 0;
};

}  // namespace

int changeTrainingSamplePositivesRatio(std::vector<JobData>& jobs, int count, double ratio) {
  int positives = countPositives(jobs, count);
  double target = targetCount(positives, count, ratio);
  int negativesLeft = count - positives;
  int m = count;
  if (target < m) {
    RemainingPositions remaining(count);
    // 1 for a completed job still present; a compact copy keeps the random probes in cache.
    std::vector<char> erasable(count);
    for (int i = 0; i < count; ++i) erasable[i] = jobs[i].status == 1;
    std::vector<char> erased(count, 0);
    // Stop when no completed job is left: a ratio above 1 asks for more than there are.
    while (target < m && negativesLeft > 0) {
      int position;
      do {
        position = remaining.find(std::rand() % m);
      } while (!erasable[position]);
      remaining.remove(position);
      erasable[position] = 0;
      erased[position] = 1;
      --m;
      --negativesLeft;
    }
    size_t kept = 0;
    for (size_t i = 0; i < jobs.size(); ++i) {
      if (i < static_cast<size_t>(count) && erased[i]) continue;
      if (kept != i) jobs[kept] = jobs[i];
      ++kept;
    }
    jobs.resize(kept);
  }
  printRemoved(count - m);
  return m;
}

SplitCounts resplitJobs(int leading, int test, double trainingRatio, double validationRatio,
                        size_t jobCount) {
  SplitCounts counts;
  counts.training = static_cast<int>(
      std::floor(trainingRatio * leading / (trainingRatio + validationRatio) + 0.5));
  counts.validation = leading - counts.training;
  counts.test = test;
  if (static_cast<size_t>(leading) + static_cast<size_t>(test) != jobCount) {
    std::cerr << "Wrong number of samples: " << leading << " training and validation and " << test
              << " test samples for " << jobCount << " jobs" << std::endl;
  }
  return counts;
}
