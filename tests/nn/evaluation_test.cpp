#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "nn/network.h"
#include "tests/nn/test_network.h"
#include "tests/support/test_support.h"

namespace {

using test_support::readFile;
using test_support::ScratchFolder;

// One input, one output, no hidden layer: output = min + (max - min) * sigmoid(b + w x).
std::unique_ptr<TestNetwork> linearNetwork(float bias, float weight, float low = 0.0f,
                                           float high = 1.0f) {
  return std::unique_ptr<TestNetwork>(
      new TestNetwork({1, 1}, {-1, 1}, {low, high}, {bias, weight}));
}

TEST(IsPositive, StrictlyAboveOneHalf) {
  EXPECT_TRUE(NN::isPositive(0.500001f));
  EXPECT_FALSE(NN::isPositive(0.5f));
  EXPECT_FALSE(NN::isPositive(-3.0f));
  EXPECT_FALSE(NN::isPositive(std::nanf("")));
}

TEST(MeanSquaredError, ZeroWeightsAtMidpointGiveOneQuarter) {
  std::unique_ptr<TestNetwork> network = linearNetwork(0, 0);
  network->testInputs = {-1, 0.3f, 1, 0.9f};
  network->testTargets = {0, 1, 1, 0};
  EXPECT_EQ(network->testMeanSquaredError(), 0.25f);
}

TEST(MeanSquaredError, SumInDoubleOverEveryOutput) {
  std::unique_ptr<TestNetwork> network(
      new TestNetwork({1, 2}, {-1, 1}, {0, 10, -4, 4}, {0.3f, -1.2f, 2.0f, 0.7f}));
  const std::vector<float> inputs = {-0.5f, 0.25f, 0.75f};
  const std::vector<float> targets = {3, 1, 7.5f, -2, 0, 0};
  double total = 0.0;
  for (int i = 0; i < 3; ++i) {
    const std::vector<float> outputs = network->computeOutputs(&inputs[i]);
    for (int j = 0; j < 2; ++j) {
      const double difference = targets[2 * i + j] - outputs[j];
      total += difference * difference;
    }
  }
  EXPECT_EQ(network->meanSquaredError(inputs, targets), static_cast<float>(total / 6));
}

TEST(MeanSquaredError, EmptySetIsNan) {
  std::unique_ptr<TestNetwork> network = linearNetwork(0, 0);
  EXPECT_TRUE(std::isnan(network->testMeanSquaredError()));
}

TEST(TruePositiveRate, CountsPrintedAndStored) {
  // output = sigmoid(10 x): positive exactly when x > 0.
  std::unique_ptr<TestNetwork> network = linearNetwork(0, 10);
  network->testInputs = {0.5f, 0.2f, -0.3f, 0.0f, -0.9f, 0.8f, -0.1f};
  network->testTargets = {1, 0.7f, 1, 1, 0, 0.5f, 0.2f};
  // actual:    P    P     P     P    N   N      N
  // predicted: P    P     N     N    N   P      N   (output 0.5 at x = 0 is negative)
  test_support::captureStdout();
  const float rate = network->truePositiveRate();
  EXPECT_EQ(test_support::capturedStdout(),
            "positives = 4\tnegatives = 3\n"
            "true positives = 2\tfalse positives = 1\n"
            "true negatives = 2\tfalse negatives = 2\n");
  EXPECT_EQ(rate, 0.5f);
  const ConfusionCounts counts = network->testConfusionCounts();
  EXPECT_EQ((std::vector<int>{counts.positives, counts.negatives, counts.truePositives,
                              counts.falsePositives, counts.trueNegatives, counts.falseNegatives}),
            (std::vector<int>{4, 3, 2, 1, 2, 2}));
}

TEST(TruePositiveRate, EveryOutputOfEverySampleCounts) {
  std::unique_ptr<TestNetwork> network(
      new TestNetwork({1, 2}, {-1, 1}, {0, 1, 0, 1}, std::vector<float>(4, 0.0f)));
  for (int i = 0; i < 10; ++i) {
    network->testInputs.push_back(0.1f * i - 0.5f);
    network->testTargets.insert(network->testTargets.end(), {i % 3 == 0 ? 1.0f : 0.0f, 0.9f});
  }
  const ConfusionCounts counts = network->testConfusionCounts();
  EXPECT_EQ(counts.positives + counts.negatives, 20);
  EXPECT_EQ(counts.positives, 4 + 10);
}

TEST(TruePositiveRate, NoPositiveTargetIsNan) {
  std::unique_ptr<TestNetwork> network = linearNetwork(0, 0);
  network->testInputs = {0.5f, -0.5f};
  network->testTargets = {0, 0.5f};
  test_support::captureStdout();
  const float rate = network->truePositiveRate();
  EXPECT_EQ(test_support::capturedStdout(),
            "positives = 0\tnegatives = 2\n"
            "true positives = 0\tfalse positives = 0\n"
            "true negatives = 2\tfalse negatives = 0\n");
  EXPECT_TRUE(std::isnan(rate));
  EXPECT_FALSE(std::signbit(rate));  // printed "nan", not "-nan"
}

TEST(LiftChart, HeaderThenFirstTargetAndOutputPerSample) {
  std::unique_ptr<TestNetwork> network(
      new TestNetwork({1, 2}, {-1, 1}, {0, 4, 0, 1}, std::vector<float>(4, 0.0f)));
  network->testInputs = {0.1f, 0.2f, 0.3f};
  network->testTargets = {1, 9, 0.25f, 9, 0, 9};
  ScratchFolder folder;
  const std::string name = folder.write("lift chart.cvs", "old content that is replaced\n");
  network->writeLiftChart(name);
  EXPECT_EQ(readFile(name), "is Positive;output\n1;2\n0.25;2\n0;2\n");
  network->testInputs.clear();
  network->testTargets.clear();
  network->writeLiftChart(name);
  EXPECT_EQ(readFile(name), "is Positive;output\n");
}

TEST(LiftChartDeathTest, CannotOpenOrWrite) {
  std::unique_ptr<TestNetwork> network = linearNetwork(0, 0);
  ScratchFolder folder;
  const std::string name = folder.file("no such folder/chart.cvs");
  EXPECT_EXIT(network->writeLiftChart(name), ::testing::ExitedWithCode(255),
              "^Error opening file: " + name + ": no such file or directory\n$");
  EXPECT_EXIT(network->writeLiftChart("/dev/full"), ::testing::ExitedWithCode(255),
              "^Error writing file: /dev/full: no space left on device\n$");
}

}  // namespace
