#pragma once

// Helpers of the trainer tests: small training data files, and trainers whose sample sets and
// weights are in reach.
#include <cstdint>
#include <sstream>
#include <string>

#include "nn/network.h"

// A training data file: inputs in [0, 10] from a private generator (rand() is left alone);
// target k is 1 when the inputs' sum exceeds its midpoint shifted by k. Ranges are the value
// ranges widened by an eighth, as the sample builder writes them.
inline std::string samplesText(int inputCount, int outputCount, int training, int validation,
                               int test, std::uint32_t seed) {
  std::ostringstream text;
  text << training << ' ' << validation << ' ' << test << '\n';
  text << inputCount << ' ' << outputCount << '\n';
  for (int j = 0; j < inputCount; ++j) text << "-1.25 11.25\n";
  for (int k = 0; k < outputCount; ++k) text << "-0.125 1.125\n";
  std::uint32_t state = seed;
  for (int s = 0; s < training + validation + test; ++s) {
    double sum = 0.0;
    for (int j = 0; j < inputCount; ++j) {
      state = state * 1664525u + 1013904223u;
      const double x = (state >> 8) % 10001 / 1000.0;
      sum += x;
      text << x << '\t';
    }
    for (int k = 0; k < outputCount; ++k) text << (sum > 5.0 * inputCount + k ? 1 : 0) << '\t';
    text << '\n';
  }
  return text.str();
}

// A trainer with NN's sample sets, outputs and weights in reach. Its dynamic type is not the
// trainer's own, so NN_BP::train always runs the four steps through the virtual table.
// NN is a virtual base: the most-derived class constructs it, so classes derived from this
// one name NN(configuration, data) in their constructors too.
template <class Trainer>
class OpenTrainer : public Trainer {
 public:
  OpenTrainer(const std::string& configuration, const std::string& data,
              const std::string& parametersFile)
      : NN(configuration, data), Trainer(configuration, data, parametersFile) {}

  using NN::outputRanges;
  using NN::outputs;
  using NN::trainingInputs;
  using NN::trainingTargets;
  using NN::validationInputs;
  using NN::validationTargets;
  using NN::weights;
};
