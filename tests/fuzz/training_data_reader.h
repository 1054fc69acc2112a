#pragma once

#include <utility>
#include <vector>

#include "nn/network.h"

namespace fuzz {

// A network that only reads training data files, with the sets and ranges it read in view.
class TrainingDataReader : public NN {
 public:
  explicit TrainingDataReader(std::vector<int> topology) { layers = std::move(topology); }
  double train() override { return 0.0; }
  double timeIterations(int) override { return 0.0; }
  using NN::allocateBuffers;
  using NN::inputRanges;
  using NN::outputRanges;
  using NN::readTrainingData;
  using NN::testInputs;
  using NN::testTargets;
  using NN::trainingInputs;
  using NN::trainingTargets;
  using NN::validationInputs;
  using NN::validationTargets;
  using NN::weights;

  // Inputs and targets of a set hold the same number of whole samples.
  bool matches(const std::vector<float>& inputs, const std::vector<float>& targets) const {
    return inputs.size() % inputSize() == 0 && targets.size() % outputSize() == 0 &&
           numberOfSamples(inputs) == numberOfTargetSamples(targets);
  }
};

}  // namespace fuzz
