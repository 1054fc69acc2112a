#pragma once
// A saved network, asked about one job at a time or about a block of jobs at once; both give
// the outputs of NN::feedForward bit for bit (nn/batch_forward.h).

#include <string>
#include <vector>

#include "nn/reloaded_network.h"

class ScoringNetwork : public NN_reloaded {
 public:
  // NN_reloaded's messages and statuses.
  explicit ScoringNetwork(const std::string& networkFile) : NN_reloaded(networkFile) {}

  const std::vector<float>& inputRangeList() const { return inputRanges; }
  const std::vector<float>& outputRangeList() const { return outputRanges; }
  // Output 1, in data units, of one scaled input vector.
  float outputOf(const float* scaledInput);
  // Output 1 of count scaled input vectors, one after the other.
  void outputsOf(const float* scaledInputs, size_t count, float* results) const;
};
