#pragma once

// Helpers of the network core tests: a concrete network that exposes NN's members, and the
// bytes of a network file written by hand.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "nn/network.h"

class TestNetwork : public NN {
 public:
  TestNetwork(const std::string& configurationFileName, const std::string& trainingDataFileName)
      : NN(configurationFileName, trainingDataFileName) {}
  // A network without files: given topology, one range per input and output, weights.
  TestNetwork(std::vector<int> layerSizes, std::vector<float> inputBounds,
              std::vector<float> outputBounds, std::vector<float> weightValues) {
    layers = std::move(layerSizes);
    inputRanges = std::move(inputBounds);
    outputRanges = std::move(outputBounds);
    weights = std::move(weightValues);
    allocateBuffers();
  }
  TestNetwork() = default;

  double train() override { return 0.0; }
  double timeIterations(int) override { return 0.0; }

  using NN::inputRanges;
  using NN::layers;
  using NN::outputBuffer;
  using NN::outputRanges;
  using NN::parseTrainingData;
  using NN::scratchBuffer;
  using NN::testInputs;
  using NN::testTargets;
  using NN::trainingInputs;
  using NN::trainingTargets;
  using NN::validationInputs;
  using NN::validationTargets;
  using NN::weights;
};

// Ranges [-1, 1] for every input and [0, 1] for every output: scaling changes nothing.
inline TestNetwork* unitNetwork(const std::vector<int>& layers, std::vector<float> weights) {
  std::vector<float> inputRanges, outputRanges;
  for (int j = 0; j < layers.front(); ++j) inputRanges.insert(inputRanges.end(), {-1.0f, 1.0f});
  for (int j = 0; j < layers.back(); ++j) outputRanges.insert(outputRanges.end(), {0.0f, 1.0f});
  return new TestNetwork(layers, inputRanges, outputRanges, std::move(weights));
}

// The bytes of a network file written by hand: little-endian ints and floats.
inline void appendLittleEndian(std::string& bytes, uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((word >> shift) & 0xff);
}

inline std::string networkFileBytes(const std::vector<int>& layers,
                                    const std::vector<float>& floats) {
  std::string bytes;
  appendLittleEndian(bytes, static_cast<uint32_t>(layers.size()));
  for (int size : layers) appendLittleEndian(bytes, static_cast<uint32_t>(size));
  for (float value : floats) {
    uint32_t word;
    std::memcpy(&word, &value, sizeof word);
    appendLittleEndian(bytes, word);
  }
  return bytes;
}
