#include "nn/network.h"

#include <algorithm>
#include <iostream>
#include <string>

#include "common/fatal.h"
#include "common/ombra_status.h"

NN::NN() = default;

NN::NN(const std::string& configurationFileName, const std::string& trainingDataFileName) {
  readConfiguration(configurationFileName);
  readTrainingData(trainingDataFileName);
  allocateBuffers();
}

// The buffers go first, then the vectors in reverse declaration order: layers, outputRanges,
// ..., weights.
NN::~NN() = default;

void NN::allocateBuffers() {
  outputBuffer.assign(maxLayerSize(), 0.0f);
  scratchBuffer.assign(maxLayerSize(), 0.0f);
}

int NN::numberOfWeights() const {
  int count = 0;
  for (size_t l = 1; l < layers.size(); ++l) count += (layers[l - 1] + 1) * layers[l];
  return count;
}

int NN::numberOfNeurons() const {
  int count = 0;
  for (int size : layers) count += size;
  return count;
}

int NN::maxLayerSize() const {
  int largest = 0;
  for (int size : layers) largest = std::max(largest, size);
  return largest;
}

void NN::limitTrainingSamples(int n) {
  // Only ever shrinks: growing would invent samples of zeros.
  if (n < 0 || n > numberOfTrainingSamples()) {
    fatal("Cannot keep " + std::to_string(n) + " of " + std::to_string(numberOfTrainingSamples()) +
              " training samples",
          ombra_status::kFailure);
  }
  trainingInputs.resize(static_cast<size_t>(n) * inputSize());
  trainingTargets.resize(static_cast<size_t>(n) * outputSize());
}

void NN::printInfoTitle() {
  std::cout << "Neural network info" << std::endl;
  std::cout << "-------------------" << std::endl;
}

void NN::printTopologyInfo() {
  std::cout << "Layers: ";
  for (int size : layers) std::cout << size << ' ';
  std::cout << "\nInput ranges:\n";
  for (int j = 0; j < inputSize(); ++j) {
    std::cout << '[' << static_cast<double>(inputRanges[2 * j]) << ','
              << static_cast<double>(inputRanges[2 * j + 1]) << ']' << std::endl;
  }
  std::cout << "Output ranges:\n";
  for (int j = 0; j < outputSize(); ++j) {
    std::cout << '[' << static_cast<double>(outputRanges[2 * j]) << ','
              << static_cast<double>(outputRanges[2 * j + 1]) << ']' << std::endl;
  }
  std::cout << "Total weights: " << numberOfWeights() << std::endl;
}

void NN::printInfo() {
  printInfoTitle();
  std::cout << "Number of training samples: " << numberOfTrainingSamples() << std::endl;
  std::cout << "Number of validation samples: " << numberOfValidationSamples() << std::endl;
  std::cout << "Number of test samples: " << numberOfTestSamples() << std::endl;
  printTopologyInfo();
}
