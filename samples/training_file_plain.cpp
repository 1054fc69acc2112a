// Samples, sizes, bounds, and the direct form of the writer.

#include <cmath>
#include <fstream>
#include <iostream>
#include <string>

#include "samples/exception.h"
#include "samples/training_file.h"

std::vector<double> createTrainingSample(const std::vector<JobData>& jobs, int i,
                                         const std::vector<AttributeFunction>& inputs,
                                         const std::vector<AttributeFunction>& outputs) {
  std::vector<double> sample;
  for (AttributeFunction function : inputs) {
    std::vector<double> values = function(jobs, i);
    sample.insert(sample.end(), values.begin(), values.end());
  }
  for (AttributeFunction function : outputs) {
    std::vector<double> values = function(jobs, i);
    sample.insert(sample.end(), values.begin(), values.end());
  }
  return sample;
}

namespace {
int sizeForJobZero(const std::vector<JobData>& jobs,
                   const std::vector<AttributeFunction>& functions) {
  size_t size = 0;
  for (AttributeFunction function : functions) {
    size += function(jobs, 0).size();
    if (size > static_cast<size_t>(kMaxSampleValues)) {
      throw Exception("Too many values per sample: more than " +
                      std::to_string(kMaxSampleValues));
    }
  }
  return static_cast<int>(size);
}
}  // namespace

int inputSize(const std::vector<JobData>& jobs, const std::vector<AttributeFunction>& inputs) {
  return sizeForJobZero(jobs, inputs);
}

int outputSize(const std::vector<JobData>& jobs, const std::vector<AttributeFunction>& outputs) {
  return sizeForJobZero(jobs, outputs);
}

ColumnBounds widenedBounds(double smallest, double largest) {
  double range = largest - smallest;
  if (std::fabs(range) < 1e-200) range = 1;
  double margin = range * 0.25 * 0.5;
  return {smallest - margin, largest + margin};
}

void createTrainingFilePlain(const std::vector<JobData>& jobs,
                             const std::vector<AttributeFunction>& inputs,
                             const std::vector<AttributeFunction>& outputs, std::string path,
                             double trainingCount, double validationCount, double testCount) {
  std::ofstream file(path);
  if (!file.is_open()) throw Exception("Error opening file");
  file << trainingCount << " " << validationCount << " " << testCount << "\n";
  file << inputSize(jobs, inputs) << " " << outputSize(jobs, outputs) << "\n";

  std::vector<std::vector<double>> samples;
  std::vector<double> smallest, largest;
  int positives = 0, negatives = 0;
  for (int i = 0; i < static_cast<int>(jobs.size()); ++i) {
    samples.push_back(createTrainingSample(jobs, i, inputs, outputs));
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
    ColumnBounds bounds = widenedBounds(smallest[k], largest[k]);
    file << bounds.lower << " " << bounds.upper << "\n";
  }
  for (const std::vector<double>& sample : samples) {
    for (double value : sample) file << value << "\t";
    file << "\n";
  }
}
