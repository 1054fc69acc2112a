#include "sample_builder/training_file.h"

#include <fstream>
#include <iostream>

#include "sample_builder/exception.h"
#include "tests/reference/reference.h"

namespace reference {

std::vector<double> createTrainingSample(const std::vector<JobData>& jobs, int i,
                                         const AttributeList& inputs, const AttributeList& outputs,
                                         DecisionTime when) {
  std::vector<double> sample;
  for (const AttributeList* rows : {&inputs, &outputs}) {
    for (const AttributeRow* row : *rows) {
      if (when != DecisionTime::log && row->asOf != nullptr && row->direct == nullptr) {
        sample.push_back(decisionTimeValue(jobs, i, when, *row));
        continue;
      }
      const std::vector<double> values = row->definition(jobs, i);
      sample.insert(sample.end(), values.begin(), values.end());
    }
  }
  return sample;
}

void createTrainingFile(const std::vector<JobData>& jobs, const AttributeList& inputs,
                        const AttributeList& outputs, const std::string& path, double trainingCount,
                        double validationCount, double testCount, DecisionTime when) {
  std::ofstream file(path);
  if (!file.is_open()) throw Exception("Error opening file");
  file << trainingCount << " " << validationCount << " " << testCount << "\n";
  file << inputSize(jobs, inputs) << " " << outputSize(jobs, outputs) << "\n";

  std::vector<std::vector<double>> samples;
  std::vector<double> smallest, largest;
  int positives = 0, negatives = 0;
  for (int i = 0; i < static_cast<int>(jobs.size()); ++i) {
    samples.push_back(createTrainingSample(jobs, i, inputs, outputs, when));
    const std::vector<double>& sample = samples.back();
    if (i == 0) {
      smallest = sample;
      largest = sample;
    }
    for (size_t k = 0; k < sample.size(); ++k) {
      if (sample[k] < smallest[k]) smallest[k] = sample[k];
      if (sample[k] > largest[k]) largest[k] = sample[k];
    }
    if (!sample.empty() && sample.back() > 0.5) {
      ++positives;
    } else {
      ++negatives;
    }
  }
  std::cout << "positives = " << positives << "\tnegatives= " << negatives << std::endl;

  for (size_t k = 0; k < smallest.size(); ++k) {
    const ColumnBounds bounds = widenedBounds(smallest[k], largest[k]);
    file << bounds.lower << " " << bounds.upper << "\n";
  }
  for (const std::vector<double>& sample : samples) {
    for (double value : sample) file << value << "\t";
    file << "\n";
  }
}

}  // namespace reference
