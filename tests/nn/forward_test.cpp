#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "nn/network.h"
#include "tests/nn/test_network.h"

// Counts every allocation of this program while counting is on; otherwise the standard
// operator new, new handler included (the other tests of the program rely on it).
namespace {
bool countingAllocations = false;
int allocationCount = 0;
}  // namespace

// The replacements pair malloc with free; GCC cannot see that through the sized deletes.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (countingAllocations) ++allocationCount;
  for (;;) {
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
#pragma GCC diagnostic pop

namespace {

// The plain formulation: every layer into a fresh vector, blocks found by their offsets.
struct Reference {
  std::vector<std::vector<float>> layerValues;  // sigmoid values, input layer first
  std::vector<float> outputs;                   // in data units
};

Reference referenceForward(const std::vector<int>& layers, const std::vector<float>& weights,
                           const std::vector<float>& outputRanges,
                           const std::vector<float>& input) {
  Reference reference;
  reference.layerValues.push_back(input);
  size_t layerStart = 0;
  for (size_t l = 1; l < layers.size(); ++l) {
    const std::vector<float>& below = reference.layerValues.back();
    std::vector<float> values(layers[l]);
    for (int i = 0; i < layers[l]; ++i) {
      const size_t block = layerStart + i * (layers[l - 1] + 1);
      float sum = weights[block];
      for (int j = 0; j < layers[l - 1]; ++j) sum = sum + below[j] * weights[block + 1 + j];
      values[i] = 1.0f / (1.0f + expf(-sum));
    }
    layerStart += layers[l] * (layers[l - 1] + 1);
    reference.layerValues.push_back(values);
  }
  for (int j = 0; j < layers.back(); ++j) {
    const float minimum = outputRanges[2 * j], maximum = outputRanges[2 * j + 1];
    reference.outputs.push_back(minimum + (maximum - minimum) * reference.layerValues.back()[j]);
  }
  return reference;
}

std::vector<float> randomValues(size_t count, float low, float high) {
  std::vector<float> values(count);
  const float draws = static_cast<float>(RAND_MAX) + 1.0f;
  for (float& value : values) value = low + (high - low) * (std::rand() / draws);
  return values;
}

TEST(Sigmoid, LogisticInSinglePrecision) {
  EXPECT_EQ(NN::sigmoid(0.0f), 0.5f);
  EXPECT_EQ(NN::sigmoid(2.0f), 1.0f / (1.0f + expf(-2.0f)));
  EXPECT_EQ(NN::sigmoid(-3.0f), 1.0f / (1.0f + expf(3.0f)));
  EXPECT_EQ(NN::sigmoid(-200.0f), 0.0f);
  EXPECT_EQ(NN::sigmoid(200.0f), 1.0f);
}

TEST(PropagateLayer, BiasFirstThenWeightsInOrder) {
  const float input[2] = {0.5f, -1.0f};
  const float blocks[6] = {0.25f, 2.0f, 1.0f,    // neuron 0: 0.25 + 1 - 1 = 0.25
                           -1.0f, 0.0f, -3.0f};  // neuron 1: -1 + 0 + 3 = 2
  float output[2];
  NN::propagateLayer(input, blocks, output, 2, 2);
  EXPECT_EQ(output[0], NN::sigmoid(0.25f));
  EXPECT_EQ(output[1], NN::sigmoid(2.0f));
}

// Layers 3, 5, 1: neuron i of layer 1 owns 4i ... 4i+3, the output neuron 20 ... 25.
TEST(WeightLayout, BlocksOfThreeFiveOne) {
  const float in[3] = {0.0f, 0.0f, 0.0f};
  std::vector<float> weights(26, 0.0f);
  std::unique_ptr<TestNetwork> network(unitNetwork({3, 5, 1}, weights));
  float result[5];
  network->feedForward(in, network->weights.data(), result);
  EXPECT_EQ(result[0], 0.5f);

  network->weights[20] = 1.0f;  // output bias
  network->feedForward(in, network->weights.data(), result);
  EXPECT_EQ(result[0], NN::sigmoid(1.0f));

  network->weights[20] = 0.0f;
  network->weights[25] = 2.0f;  // output weight on hidden neuron 4 (0.5 * 2)
  network->feedForward(in, network->weights.data(), result);
  EXPECT_EQ(result[0], NN::sigmoid(1.0f));

  network->weights[16] = 100.0f;  // bias of hidden neuron 4 drives it to 1
  network->feedForward(in, network->weights.data(), result);
  EXPECT_EQ(result[0], NN::sigmoid(2.0f));

  const float one[3] = {0.0f, 0.0f, 1.0f};
  network->weights[16] = 0.0f;
  network->weights[19] = -100.0f;  // hidden neuron 4's weight on input 2 drives it to 0
  network->feedForward(one, network->weights.data(), result);
  EXPECT_EQ(result[0], NN::sigmoid(0.0f));
}

// Every depth against the plain formulation, bit for bit; the scratch buffer ends holding
// layer L-2 (L >= 3) and the layers alternate so that the output layer writes result.
TEST(FeedForward, MatchesReferenceAndAlternatesBuffers) {
  std::srand(7);
  const std::vector<std::vector<int>> topologies = {{3, 2},          {4, 6, 2}, {2, 7, 3, 1},
                                                    {3, 4, 5, 6, 2}, {5, 9, 1}, {1, 1}};
  for (const std::vector<int>& layers : topologies) {
    SCOPED_TRACE(::testing::PrintToString(layers));
    std::unique_ptr<TestNetwork> network(unitNetwork(layers, {}));
    network->weights = randomValues(network->numberOfWeights(), -2.0f, 2.0f);
    network->outputRanges = randomValues(2 * layers.back(), -5.0f, 5.0f);
    for (int j = 0; j < layers.back(); ++j) network->outputRanges[2 * j + 1] += 10.0f;
    const float sentinel = -12345.0f;
    for (int trial = 0; trial < 5; ++trial) {
      const std::vector<float> input = randomValues(layers[0], -1.0f, 1.0f);
      std::vector<float> result(network->maxLayerSize(), sentinel);
      std::fill(network->scratchBuffer.begin(), network->scratchBuffer.end(), sentinel);
      network->feedForward(input.data(), network->weights.data(), result.data());
      const Reference reference =
          referenceForward(layers, network->weights, network->outputRanges, input);
      for (int j = 0; j < layers.back(); ++j) EXPECT_EQ(result[j], reference.outputs[j]);

      const size_t L = layers.size();
      if (L == 2) {
        EXPECT_EQ(network->scratchBuffer[0], sentinel);  // never touched
      } else {
        const std::vector<float>& beforeLast = reference.layerValues[L - 2];
        for (size_t i = 0; i < beforeLast.size(); ++i) {
          EXPECT_EQ(network->scratchBuffer[i], beforeLast[i]);
        }
      }
      if (L == 4) {  // result, scratch, result: layer 1 is still in result past the outputs
        for (int i = layers.back(); i < layers[1]; ++i) {
          EXPECT_EQ(result[i], reference.layerValues[1][i]);
        }
      }
    }
  }
}

TEST(FeedForward, UsesTheGivenWeightArray) {
  std::srand(3);
  std::unique_ptr<TestNetwork> network(unitNetwork({2, 3, 1}, std::vector<float>(13, 0.0f)));
  const std::vector<float> candidate = randomValues(13, -1.0f, 1.0f);
  const float input[2] = {0.25f, -0.75f};
  float result[3];
  network->feedForward(input, candidate.data(), result);
  EXPECT_EQ(result[0], referenceForward({2, 3, 1}, candidate, {0, 1}, {0.25f, -0.75f}).outputs[0]);
}

TEST(FeedForward, AllZeroWeightsGiveRangeMidpoints) {
  std::unique_ptr<TestNetwork> network(new TestNetwork(
      {2, 4, 3}, {-1, 1, 0, 10}, {0, 1, -3, 7, 100, 200}, std::vector<float>(12 + 15, 0.0f)));
  const std::vector<float> outputs = network->predict({0.3f, 9.0f});
  EXPECT_EQ(outputs, (std::vector<float>{0.5f, 2.0f, 150.0f}));
}

TEST(FeedForward, AllocatesNothing) {
  std::srand(11);
  std::unique_ptr<TestNetwork> network(unitNetwork({6, 9, 4, 2}, {}));
  network->weights = randomValues(network->numberOfWeights(), -1.0f, 1.0f);
  const std::vector<float> input = randomValues(6, -1.0f, 1.0f);
  std::vector<float> result(network->maxLayerSize());
  allocationCount = 0;
  countingAllocations = true;
  for (int pass = 0; pass < 100; ++pass) {
    network->feedForward(input.data(), network->weights.data(), result.data());
  }
  countingAllocations = false;
  EXPECT_EQ(allocationCount, 0);
  // The counter itself works.
  countingAllocations = true;
  std::vector<float> copy = network->computeOutputs(input.data());
  countingAllocations = false;
  EXPECT_EQ(allocationCount, 1);
}

TEST(Predict, ScalesInputsAndUnscalesOutputs) {
  std::srand(5);
  std::unique_ptr<TestNetwork> network(
      new TestNetwork({2, 3, 2}, {0, 10, -4, 4}, {0, 2, 5, 6}, randomValues(17, -1.0f, 1.0f)));
  const std::vector<float> raw = {7.5f, -1.0f};
  const float scaled[2] = {0.5f, -0.25f};  // 2*7.5/10 - 1, 2*3/8 - 1
  const std::vector<float> expected =
      referenceForward({2, 3, 2}, network->weights, {0, 2, 5, 6}, {scaled[0], scaled[1]}).outputs;
  EXPECT_EQ(network->predict(raw), expected);
  EXPECT_EQ(network->computeOutputs(scaled), expected);
}

TEST(PredictDeathTest, WrongInputLength) {
  std::unique_ptr<TestNetwork> network(unitNetwork({3, 1}, std::vector<float>(4, 0.0f)));
  EXPECT_EXIT(network->predict({1, 2}), ::testing::ExitedWithCode(255),
              "^Input vector is the wrong size. 2 values for a network of 3 inputs\n$");
  EXPECT_EXIT(network->predict({1, 2, 3, 4}), ::testing::ExitedWithCode(255),
              "^Input vector is the wrong size. 4 values for a network of 3 inputs\n$");
}

}  // namespace
