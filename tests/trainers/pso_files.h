#pragma once

// Small configuration, training data and parameters files for the particle-swarm tests,
// written into a temporary folder that is removed afterwards.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

class TemporaryFolder {
 public:
  TemporaryFolder() {
    char name[] = "/tmp/ombra_pso_XXXXXX";
    path_ = mkdtemp(name);
  }
  ~TemporaryFolder() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  std::string file(const std::string& name) const { return path_ + "/" + name; }
  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream out(file(name));
    out << text;
    return file(name);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A training data file: inputs drawn from [0, 10]; output k is 1 when the inputs' sum
// exceeds its midpoint shifted by k, else 0. Ranges are the value ranges widened by an
// eighth, as the sample builder writes them. The generator is private, so rand() is left
// alone.
inline std::string trainingDataText(int inputCount, int outputCount, int training,
                                    int validation, int test, std::uint32_t seed = 1) {
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
