// Split, positives-ratio step and re-split; the fast step against the one-at-a-time erasure.

#include "sample_builder/sample_selection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "test_helpers.h"
#include "tests/reference/reference.h"
#include "tests/support/test_support.h"

namespace {

using tallis_test::job;

// count leading jobs with `positives` of them failed; each job's number is its position.
std::vector<JobData> leadingJobs(int count, int positives, int trailing = 0) {
  std::vector<JobData> jobs;
  for (int i = 0; i < count + trailing; ++i) {
    jobs.push_back(job(i < count && i % (count / std::max(positives, 1)) == 0 &&
                               i / (count / std::max(positives, 1)) < positives
                           ? 0
                           : 1,
                       i % 5, i % 3));
    jobs.back().jobNumber = i;
  }
  return jobs;
}

int countStatus(const std::vector<JobData>& jobs, int count, bool positive) {
  int n = 0;
  for (int i = 0; i < count; ++i) n += (jobs[i].status != 1) == positive;
  return n;
}

TEST(SplitJobs, RoundsHalfUpAndGivesTheRestToTest) {
  SplitCounts a = splitJobs(1000, 60, 20, 20);
  EXPECT_EQ(a.training, 600);
  EXPECT_EQ(a.validation, 200);
  EXPECT_EQ(a.test, 200);
  SplitCounts b = splitJobs(5, 1, 1, 1);
  EXPECT_EQ(b.training, 2);
  EXPECT_EQ(b.validation, 2);
  EXPECT_EQ(b.test, 1);
  SplitCounts c = splitJobs(3, 1, 1, 0);  // 1.5 and 1.5 both round up
  EXPECT_EQ(c.training, 2);
  EXPECT_EQ(c.validation, 2);
  EXPECT_EQ(c.test, -1);
}

TEST(PositivesRatio, ZeroRatioErasesNothing) {
  std::vector<JobData> jobs = leadingJobs(100, 10);
  test_support::captureStdout();
  int kept = changeTrainingSamplePositivesRatio(jobs, 100, 0);
  EXPECT_EQ(test_support::capturedStdout(), "now = 100  final =100\nNegatives removed = 0\n");
  EXPECT_EQ(kept, 100);
  EXPECT_EQ(jobs.size(), 100u);
}

TEST(PositivesRatio, HalfErasesNegativesDownToTheTarget) {
  std::srand(11);
  std::vector<JobData> jobs = leadingJobs(100, 10, 30);
  test_support::captureStdout();
  int kept = changeTrainingSamplePositivesRatio(jobs, 100, 0.5);
  EXPECT_EQ(test_support::capturedStdout(), "now = 100  final =20\nNegatives removed = 80\n");
  EXPECT_EQ(kept, 20);
  ASSERT_EQ(jobs.size(), 50u);
  EXPECT_EQ(countStatus(jobs, 20, true), 10);
  EXPECT_EQ(countStatus(jobs, 20, false), 10);
  // The trailing test jobs are untouched and still last.
  for (int i = 0; i < 30; ++i) EXPECT_EQ(jobs[20 + i].jobNumber, 100 + i);
  // The leading part keeps log order.
  for (int i = 1; i < 20; ++i) EXPECT_LT(jobs[i - 1].jobNumber, jobs[i].jobNumber);
}

TEST(PositivesRatio, TargetAboveTheCountErasesNothing) {
  std::vector<JobData> jobs = leadingJobs(100, 10);
  test_support::captureStdout();
  int kept = changeTrainingSamplePositivesRatio(jobs, 100, 0.05);
  EXPECT_EQ(test_support::capturedStdout(), "now = 100  final =200\nNegatives removed = 0\n");
  EXPECT_EQ(kept, 100);
}

TEST(PositivesRatio, NoPositivesErasesEveryLeadingJob) {
  std::srand(3);
  std::vector<JobData> jobs = leadingJobs(40, 0, 5);
  test_support::captureStdout();
  int kept = changeTrainingSamplePositivesRatio(jobs, 40, 0.3);
  EXPECT_EQ(test_support::capturedStdout(), "now = 40  final =0\nNegatives removed = 40\n");
  EXPECT_EQ(kept, 0);
  EXPECT_EQ(jobs.size(), 5u);
}

TEST(PositivesRatio, RatioAboveOneStopsWhenNoNegativeIsLeft) {
  std::srand(5);
  std::vector<JobData> jobs = leadingJobs(50, 10);
  test_support::captureStdout();
  int kept = changeTrainingSamplePositivesRatio(jobs, 50, 2.0);
  test_support::capturedStdout();
  EXPECT_EQ(kept, 10);
  EXPECT_EQ(countStatus(jobs, 10, true), 10);
}

// The same seed must give the same draws and the same erased jobs as one erase per draw.
TEST(PositivesRatio, FastStepErasesExactlyTheJobsOfThePlainStep) {
  std::mt19937 random(99);
  for (int round = 0; round < 60; ++round) {
    int count = 1 + static_cast<int>(random() % 3000);
    int trailing = static_cast<int>(random() % 50);
    double failureShare = (random() % 100) / 100.0;
    double ratio = round % 10 == 0 ? 1.0 : (random() % 1000) / 1000.0;
    std::vector<JobData> jobs;
    for (int i = 0; i < count + trailing; ++i) {
      jobs.push_back(job((random() % 1000) / 1000.0 < failureShare ? 5 : 1, 1, 1));
      jobs.back().jobNumber = i;
    }
    std::vector<JobData> plainJobs = jobs;
    unsigned seed = 1000 + round;
    test_support::captureStdout();
    std::srand(seed);
    int fastKept = changeTrainingSamplePositivesRatio(jobs, count, ratio);
    int fastNext = std::rand();
    std::string fastOutput = test_support::capturedStdout();
    test_support::captureStdout();
    std::srand(seed);
    int plainKept = reference::changeTrainingSamplePositivesRatio(plainJobs, count, ratio);
    int plainNext = std::rand();
    std::string plainOutput = test_support::capturedStdout();

    ASSERT_EQ(fastKept, plainKept) << "round " << round;
    EXPECT_EQ(fastOutput, plainOutput);
    EXPECT_EQ(fastNext, plainNext) << "a different number of draws, round " << round;
    ASSERT_EQ(jobs.size(), plainJobs.size());
    for (size_t i = 0; i < jobs.size(); ++i) {
      ASSERT_EQ(jobs[i].jobNumber, plainJobs[i].jobNumber) << "round " << round << " at " << i;
    }
  }
}

TEST(ResplitJobs, SplitsTheLeadingJobsAndWarnsOnAMismatch) {
  test_support::captureStderr();
  SplitCounts a = resplitJobs(20, 200, 60, 20, 220);
  EXPECT_EQ(test_support::capturedStderr(), "");
  EXPECT_EQ(a.training, 15);
  EXPECT_EQ(a.validation, 5);
  EXPECT_EQ(a.test, 200);
  test_support::captureStderr();
  SplitCounts b = resplitJobs(7, 3, 1, 1, 11);
  EXPECT_EQ(test_support::capturedStderr(),
            "Wrong number of samples: 7 training and validation and 3 test samples for 11 jobs\n");
  EXPECT_EQ(b.training, 4);  // 3.5 rounds up
  EXPECT_EQ(b.validation, 3);
}

}  // namespace
