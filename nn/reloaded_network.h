#pragma once

#include <string>

#include "nn/network.h"

// A network read back from a network file: it predicts exactly like the network that was
// saved, bit for bit, but holds no samples and cannot be trained.
class NN_reloaded : public NN {
 public:
  explicit NN_reloaded(const std::string& fileName);
  // swappedHint is added to "Corrupt network file" when the file is a training data file:
  // the program that reads both can say that the two names may be swapped.
  NN_reloaded(const std::string& fileName, const std::string& swappedHint);

  double train() override;  // fatal: "Training not allowed"
  double timeIterations(int) override { return 0.0; }
  void printInfo() override;  // the NN block without the sample counts
};
