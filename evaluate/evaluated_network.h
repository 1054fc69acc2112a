#pragma once
// A saved network together with the samples of a training data file, read with ombra's own
// reader: the same split into training, validation and test samples, the same scaling.

#include <string>
#include <utility>
#include <vector>

#include "card/input_card.h"
#include "nn/reloaded_network.h"

enum class SampleSet { training, validation, test };
const char* sampleSetName(SampleSet set);  // "training", "validation", "test"

class NN_evaluated : public NN_reloaded {
 public:
  // Reads the network file (NN_reloaded's messages and statuses).
  explicit NN_evaluated(const std::string& networkFileName);

  // Reads the samples. Fatal: "Error opening file: " / "Error reading file: " + name (-7);
  // a network whose input or output size differs from the file's (-149); then the
  // training data reader's own messages.
  void readSamples(const std::string& trainingDataFileName);
  // The size and crc32 of the training data file as read, to match its input card with.
  const DataStamp& dataStamp() const { return dataStamp_; }

  const std::vector<int>& topology() const { return layers; }
  int sampleCount(SampleSet set) const { return numberOfSamples(inputs(set)); }
  // Rows of inputSize() values scaled to [-1, 1], as the network sees them.
  const std::vector<float>& inputs(SampleSet set) const { return *members(set).first; }
  // Rows of outputSize() targets in data units.
  const std::vector<float>& targets(SampleSet set) const { return *members(set).second; }
  // A scaled input value of column j back in data units.
  float unscaledInput(float scaled, int j) const;
  // The minimum and the maximum of output `output` (from 0), as the network file gives them.
  float outputMinimum(int output) const { return outputRanges[2 * output]; }
  float outputMaximum(int output) const { return outputRanges[2 * output + 1]; }

  // Output `output` (from 0) of the network for every row of scaledInputs, equal bit for bit
  // to what feedForward gives.
  std::vector<float> outputsOf(const std::vector<float>& scaledInputs, int output) const;

 private:
  std::pair<const std::vector<float>*, const std::vector<float>*> members(SampleSet set) const;
  DataStamp dataStamp_;
};
