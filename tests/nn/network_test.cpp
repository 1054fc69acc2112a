#include "nn/network.h"

#include <gtest/gtest.h>

#include <memory>

#include "tests/nn/test_network.h"
#include "tests/support/test_support.h"

namespace {

TEST(NetworkSizes, ThreeFiveOne) {
  std::unique_ptr<TestNetwork> network(unitNetwork({3, 5, 1}, std::vector<float>(26, 0.0f)));
  EXPECT_EQ(network->inputSize(), 3);
  EXPECT_EQ(network->outputSize(), 1);
  EXPECT_EQ(network->numberOfLayers(), 3);
  EXPECT_EQ(network->layerSize(1), 5);
  EXPECT_EQ(network->numberOfWeights(), 26);  // (3+1)*5 + (5+1)*1
  EXPECT_EQ(network->numberOfNeurons(), 9);
  EXPECT_EQ(network->maxLayerSize(), 5);
}

TEST(NetworkSizes, DeeperNetworkAndSampleCounts) {
  std::unique_ptr<TestNetwork> network(unitNetwork({12, 10, 7, 2}, {}));
  EXPECT_EQ(network->numberOfWeights(), 13 * 10 + 11 * 7 + 8 * 2);
  EXPECT_EQ(network->numberOfNeurons(), 31);
  EXPECT_EQ(network->maxLayerSize(), 12);
  network->trainingInputs.assign(12 * 4, 0.0f);
  network->validationInputs.assign(12 * 2 + 5, 0.0f);  // a partial row does not count
  network->testTargets.assign(2 * 3, 0.0f);
  EXPECT_EQ(network->numberOfTrainingSamples(), 4);
  EXPECT_EQ(network->numberOfValidationSamples(), 2);
  EXPECT_EQ(network->numberOfTestSamples(), 0);
  EXPECT_EQ(network->numberOfTargetSamples(network->testTargets), 3);
}

TEST(LimitTrainingSamples, KeepsTheFirstRowsOfBoth) {
  std::unique_ptr<TestNetwork> network(unitNetwork({2, 1}, {}));
  network->trainingInputs = {1, 2, 3, 4, 5, 6};
  network->trainingTargets = {10, 20, 30};
  network->limitTrainingSamples(2);
  EXPECT_EQ(network->trainingInputs, (std::vector<float>{1, 2, 3, 4}));
  EXPECT_EQ(network->trainingTargets, (std::vector<float>{10, 20}));
  network->limitTrainingSamples(0);
  EXPECT_EQ(network->numberOfTrainingSamples(), 0);
  EXPECT_TRUE(network->trainingTargets.empty());
  // Growing would invent samples of zeros; a negative count cannot be kept.
  EXPECT_EXIT(network->limitTrainingSamples(1), ::testing::ExitedWithCode(255),
              "^Cannot keep 1 of 0 training samples\n$");
  EXPECT_EXIT(network->limitTrainingSamples(-1), ::testing::ExitedWithCode(255),
              "^Cannot keep -1 of 0 training samples\n$");
}

TEST(PrintInfo, ExactBlock) {
  std::unique_ptr<TestNetwork> network(
      new TestNetwork({2, 3, 1}, {-0.125f, 1.125f, 5, 1e6f}, {-3.5f, 0.5f}, {}));
  network->trainingInputs.assign(2 * 3, 0.0f);
  network->validationInputs.assign(2 * 1, 0.0f);
  test_support::captureStdout();
  network->printInfo();
  EXPECT_EQ(test_support::capturedStdout(),
            "Neural network info\n"
            "-------------------\n"
            "Number of training samples: 3\n"
            "Number of validation samples: 1\n"
            "Number of test samples: 0\n"
            "Layers: 2 3 1 \n"
            "Input ranges:\n"
            "[-0.125,1.125]\n"
            "[5,1e+06]\n"
            "Output ranges:\n"
            "[-3.5,0.5]\n"
            "Total weights: 13\n");
}

}  // namespace
