#include <cmath>
#include <string>

#include "common/fatal.h"
#include "common/ombra_status.h"
#include "nn/network.h"

float NN::sigmoid(float x) {
  const float e = expf(-x);  // single precision throughout
  return 1.0f / (1.0f + e);
}

// output[i] = sigmoid(b[0] + sum_j input[j] * b[1 + j]); the blocks are walked in storage
// order and each sum is taken in j order, so every backend can reproduce it exactly.
void NN::propagateLayer(const float* input, const float* blocks, float* output, int inputCount,
                        int neuronCount) {
  const float* block = blocks;
  for (int i = 0; i < neuronCount; ++i) {
    float sum = block[0];
    for (int j = 0; j < inputCount; ++j) sum = sum + input[j] * block[1 + j];
    output[i] = sigmoid(sum);
    block += inputCount + 1;
  }
}

// The layers alternate between result and scratchBuffer, chosen so that the output layer
// always writes result: nothing is copied and nothing is allocated.
void NN::feedForward(const float* scaledInput, const float* weightArray, float* result) {
  const int layerCount = numberOfLayers();
  float* scratch = scratchBuffer.data();
  float* destination = (layerCount % 2 == 1) ? scratch : result;
  propagateLayer(scaledInput, weightArray, destination, layers[0], layers[1]);
  size_t offset = 0;
  for (int l = 2; l < layerCount; ++l) {
    offset += static_cast<size_t>(layers[l - 1]) * (layers[l - 2] + 1);
    const bool fromScratch = (layerCount - l) % 2 == 1;
    const float* source = fromScratch ? scratch : result;
    destination = fromScratch ? result : scratch;
    propagateLayer(source, weightArray + offset, destination, layers[l - 1], layers[l]);
  }
  const float* ranges = outputRanges.data();
  for (int j = 0; j < outputSize(); ++j) {
    const float minimum = ranges[2 * j];
    const float maximum = ranges[2 * j + 1];
    result[j] = minimum + (maximum - minimum) * result[j];
  }
}

std::vector<float> NN::computeOutputs(const float* scaledInput) {
  feedForward(scaledInput, weights.data(), outputBuffer.data());
  return std::vector<float>(outputBuffer.begin(), outputBuffer.begin() + outputSize());
}

std::vector<float> NN::predict(std::vector<float> input) {
  if (input.size() != static_cast<size_t>(inputSize())) {
    fatal("Input vector is the wrong size. " + std::to_string(input.size()) +
              " values for a network of " + std::to_string(inputSize()) + " inputs",
          ombra_status::kFailure);
  }
  scaleInputs(input);
  return computeOutputs(input.data());
}
