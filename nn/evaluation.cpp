#include <iostream>
#include <limits>
#include <sstream>

#include "nn/network.h"
#include "nn/replace_file.h"

// Sum of squared errors in data units over every output of every sample, accumulated in
// double in sample order, divided by the number of pairs. No samples give nan.
float NN::meanSquaredError(const std::vector<float>& inputs, const std::vector<float>& targets) {
  const int n = numberOfSamples(inputs);
  const int m = outputSize();
  if (n == 0) return std::numeric_limits<float>::quiet_NaN();
  double total = 0.0;
  for (int i = 0; i < n; ++i) {
    feedForward(inputs.data() + static_cast<size_t>(i) * inputSize(), weights.data(),
                outputBuffer.data());
    for (int j = 0; j < m; ++j) {
      const double difference = targets[static_cast<size_t>(i) * m + j] - outputBuffer[j];
      total = total + difference * difference;
    }
  }
  return static_cast<float>(total / (static_cast<double>(n) * m));
}

float NN::testMeanSquaredError() { return meanSquaredError(testInputs, testTargets); }

ConfusionCounts NN::testConfusionCounts() {
  const int m = outputSize();
  ConfusionCounts counts;
  for (int i = 0; i < numberOfTestSamples(); ++i) {
    feedForward(testInputs.data() + static_cast<size_t>(i) * inputSize(), weights.data(),
                outputBuffer.data());
    for (int j = 0; j < m; ++j) {
      const bool actual = isPositive(testTargets[static_cast<size_t>(i) * m + j]);
      const bool predicted = isPositive(outputBuffer[j]);
      if (actual) {
        ++counts.positives;
        predicted ? ++counts.truePositives : ++counts.falseNegatives;
      } else {
        ++counts.negatives;
        predicted ? ++counts.falsePositives : ++counts.trueNegatives;
      }
    }
  }
  return counts;
}

float NN::truePositiveRate() {
  const ConfusionCounts counts = testConfusionCounts();
  std::cout << "positives = " << counts.positives << "\tnegatives = " << counts.negatives
            << std::endl;
  std::cout << "true positives = " << counts.truePositives
            << "\tfalse positives = " << counts.falsePositives << std::endl;
  std::cout << "true negatives = " << counts.trueNegatives
            << "\tfalse negatives = " << counts.falseNegatives << std::endl;
  // 0 / 0 on the processor gives a nan with its sign bit set, printed "-nan": say "nan".
  if (counts.positives == 0) return std::numeric_limits<float>::quiet_NaN();
  return static_cast<float>(counts.truePositives) / static_cast<float>(counts.positives);
}

// "is Positive;output", then the first target and the first output of every test sample.
// Written like the network file (replaceFile): a failed write keeps the previous chart.
void NN::writeLiftChart(const std::string& fileName) {
  std::ostringstream file;
  file << "is Positive;output\n";
  const int m = outputSize();
  for (int i = 0; i < numberOfTestSamples(); ++i) {
    const std::vector<float> output =
        computeOutputs(testInputs.data() + static_cast<size_t>(i) * inputSize());
    file << static_cast<double>(testTargets[static_cast<size_t>(i) * m]) << ';'
         << static_cast<double>(output[0]) << '\n';
  }
  const std::string text = file.str();
  replaceFile(fileName, text.data(), text.size(), FileKind::liftChart);
}
