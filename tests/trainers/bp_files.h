#pragma once

// Helpers of the back-propagation tests: a scratch folder with small configuration,
// training data and parameters files, and an NN_BP whose working arrays are in reach.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "trainers/bp.h"

class ScratchFolder {
 public:
  ScratchFolder() {
    char name[] = "/tmp/ombra_bp_XXXXXX";
    path_ = mkdtemp(name);
  }
  ~ScratchFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream(file(name)) << text;
    return file(name);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Inputs in [0, 10] from a private generator (rand() is left alone); target k is 1 when
// the inputs' sum exceeds its midpoint shifted by k. Ranges widened by an eighth.
inline std::string samplesText(int inputCount, int outputCount, int training, int validation,
                               int test, std::uint32_t seed = 7) {
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

// NN_BP with its members in reach. Its dynamic type is not NN_BP, so train() always runs
// the four steps through the virtual table.
class OpenBP : public NN_BP {
 public:
  // NN is a virtual base: the most-derived class constructs it.
  OpenBP(const std::string& configuration, const std::string& data, const std::string& parameters)
      : NN(configuration, data), NN_BP(configuration, data, parameters) {}

  using NN::outputRanges;
  using NN::outputs;
  using NN::trainingInputs;
  using NN::trainingTargets;
  using NN::validationInputs;
  using NN::validationTargets;
  using NN::weights;
  using NN_BP::activations;
  using NN_BP::deltas;
  using NN_BP::deltaWeights;
};
