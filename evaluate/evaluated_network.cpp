#include "evaluate/evaluated_network.h"

#include <iostream>

#include "common/fatal.h"
#include "common/file_contents.h"
#include "common/memory_limit.h"
#include "common/number_scanner.h"
#include "common/ombra_status.h"
#include "nn/batch_forward.h"

const char* sampleSetName(SampleSet set) {
  switch (set) {
    case SampleSet::training:
      return "training";
    case SampleSet::validation:
      return "validation";
    case SampleSet::test:
      break;
  }
  return "test";
}

NN_evaluated::NN_evaluated(const std::string& networkFileName)
    : NN_reloaded(networkFileName,
                  " (are the two file names swapped? ombra-evaluate NETWORK_FILE "
                  "TRAINING_DATA_FILE)") {}

namespace {

std::string sizes(int inputs, int outputs) {
  return std::to_string(inputs) + (inputs == 1 ? " input and " : " inputs and ") +
         std::to_string(outputs) + (outputs == 1 ? " output" : " outputs");
}

}  // namespace

// The file is read once (it may be a pipe); its sizes are compared with the network's before
// the reader, whose message speaks of a configuration file, sees them.
void NN_evaluated::readSamples(const std::string& trainingDataFileName) {
  const FileContents contents(trainingDataFileName);
  if (contents.status() == FileContents::cannotOpen) {
    fatal("Error opening file: " + trainingDataFileName + ": " + contents.reason(),
          ombra_status::kTrainingDataFile);
  }
  if (contents.status() == FileContents::readError) {
    fatal("Error reading file: " + trainingDataFileName + ": " + contents.reason(),
          ombra_status::kTrainingDataFile);
  }
  if (contents.status() == FileContents::tooLarge) {
    fatal("Error reading file: " + trainingDataFileName + ": too large for the " +
              mebibytes(physicalMemoryBytes()) + " of memory of this machine",
          ombra_status::kTrainingDataFile);
  }
  dataStamp_ = stampOf(contents.begin(), contents.size());
  NumberScanner header(contents.begin(), contents.end());
  float figure;
  int dataInputs = 0, dataOutputs = 0;
  if (header.readFloat(figure) && header.readFloat(figure) && header.readFloat(figure) &&
      header.readInt(dataInputs) && header.readInt(dataOutputs) &&
      (dataInputs != inputSize() || dataOutputs != outputSize())) {
    fatal("The network has " + sizes(inputSize(), outputSize()) + ", the training data file " +
              trainingDataFileName + " " + sizes(dataInputs, dataOutputs) +
              ": it was not trained on this file",
          ombra_status::kSizeMismatch);
  }
  // The reader replaces the ranges with those of the file. For the file the network was
  // trained on they are the same; for another one the network must see its inputs scaled as
  // in training and give its outputs in its own units, so its ranges are restored.
  const std::vector<float> networkInputRanges = inputRanges;
  const std::vector<float> networkOutputRanges = outputRanges;
  parseTrainingData(contents.begin(), contents.end());
  outputRanges = networkOutputRanges;
  if (inputRanges == networkInputRanges) return;
  std::cerr << "Warning: the input ranges of " << trainingDataFileName
            << " differ from those the network was trained with; its inputs are scaled with "
               "the network's ranges"
            << std::endl;
  const int n = inputSize();
  for (std::vector<float>* rows : {&trainingInputs, &validationInputs, &testInputs}) {
    for (size_t k = 0; k < rows->size(); ++k) (*rows)[k] = unscaledInput((*rows)[k], k % n);
  }
  inputRanges = networkInputRanges;
  for (std::vector<float>* rows : {&trainingInputs, &validationInputs, &testInputs}) {
    scaleInputs(*rows);
  }
}

// The inputs and the targets of a set.
std::pair<const std::vector<float>*, const std::vector<float>*> NN_evaluated::members(
    SampleSet set) const {
  switch (set) {
    case SampleSet::training:
      return {&trainingInputs, &trainingTargets};
    case SampleSet::validation:
      return {&validationInputs, &validationTargets};
    case SampleSet::test:
      break;
  }
  return {&testInputs, &testTargets};
}

// The inverse of scaleInputs: x = min + (x' + 1) / 2 * (max - min).
float NN_evaluated::unscaledInput(float scaled, int j) const {
  const float minimum = inputRanges[2 * j];
  const float maximum = inputRanges[2 * j + 1];
  return minimum + (scaled + 1.0f) * 0.5f * (maximum - minimum);
}

std::vector<float> NN_evaluated::outputsOf(const std::vector<float>& scaledInputs,
                                           int output) const {
  const size_t rows = scaledInputs.size() / static_cast<size_t>(inputSize());
  std::vector<float> result(rows);
  forwardOutputs(layers, weights.data(), outputRanges.data() + 2 * output, scaledInputs.data(),
                 rows, output, result.data());
  return result;
}
