#include <gtest/gtest.h>

#include <memory>

#include "nn/network.h"
#include "tests/nn/test_network.h"

namespace {

std::unique_ptr<TestNetwork> rangedNetwork() {
  return std::unique_ptr<TestNetwork>(
      new TestNetwork({2, 2}, {-0.125f, 1.125f, 5, 55}, {0, 2, -10, 30}, {}));
}

TEST(ScaleInputs, RangeEndsAndMidpointEveryRow) {
  std::unique_ptr<TestNetwork> network = rangedNetwork();
  std::vector<float> inputs = {-0.125f, 5, 1.125f, 55, 0.5f, 30, 0, 12};
  const std::vector<float> copy = network->scaleInputs(inputs);
  EXPECT_EQ(copy, inputs);  // scaled in place and returned
  EXPECT_EQ(inputs[0], -1.0f);
  EXPECT_EQ(inputs[1], -1.0f);
  EXPECT_EQ(inputs[2], 1.0f);
  EXPECT_EQ(inputs[3], 1.0f);
  EXPECT_EQ(inputs[4], 0.0f);
  EXPECT_EQ(inputs[5], 0.0f);
  // ((x - min) + (x - min)) / (max - min) - 1 in float
  EXPECT_EQ(inputs[6], (0.125f + 0.125f) / 1.25f - 1.0f);
  EXPECT_EQ(inputs[7], (7.0f + 7.0f) / 50.0f - 1.0f);
}

TEST(ScaleTarget, RangeEndsToZeroAndOneArgumentUnchanged) {
  std::unique_ptr<TestNetwork> network = rangedNetwork();
  const std::vector<float> target = {0, 30};
  EXPECT_EQ(network->scaleTarget(target), (std::vector<float>{0.0f, 1.0f}));
  const float other[3] = {2, -10, 99};  // only outputSize() values are used
  EXPECT_EQ(network->scaleTarget(other), (std::vector<float>{1.0f, 0.0f}));
  EXPECT_EQ(network->scaleTarget(std::vector<float>{0.5f, 0}), (std::vector<float>{0.25f, 0.25f}));
  EXPECT_EQ(target, (std::vector<float>{0, 30}));
}

}  // namespace
