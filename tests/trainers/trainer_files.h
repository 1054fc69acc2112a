#pragma once

// Helpers of the trainer tests: a scratch folder with small configuration, training data and
// parameters files, running the real ombra program in it, and trainers whose sample sets and
// weights are in reach.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "nn/network.h"

class ScratchFolder {
 public:
  ScratchFolder() {
    char name[] = "/tmp/ombra_trainers_XXXXXX";
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

inline std::string readText(const std::string& name) {
  std::ifstream file(name);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) result.push_back(line);
  return result;
}

struct OmbraRun {
  int status;  // exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// Runs ombra in the folder with the arguments and the standard input text; its standard
// input, output and error stay there as stdin.txt, stdout.txt and stderr.txt.
inline OmbraRun runOmbra(const ScratchFolder& folder, const std::string& arguments,
                         const std::string& input) {
  folder.write("stdin.txt", input);
  const std::string command = "cd '" + folder.path() + "' && '" + OMBRA_PATH + "' " + arguments +
                              " < stdin.txt > stdout.txt 2> stderr.txt";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(folder.file("stdout.txt")),
          readText(folder.file("stderr.txt"))};
}

// A trainer with NN's sample sets, outputs and weights in reach. Its dynamic type is not the
// trainer's own, so NN_BP::train always runs the four steps through the virtual table.
// NN is a virtual base: the most-derived class constructs it, so classes derived from this
// one name NN(configuration, data) in their constructors too.
template <class Trainer>
class OpenTrainer : public Trainer {
 public:
  OpenTrainer(const std::string& configuration, const std::string& data,
              const std::string& parameters)
      : NN(configuration, data), Trainer(configuration, data, parameters) {}

  using NN::outputRanges;
  using NN::outputs;
  using NN::trainingInputs;
  using NN::trainingTargets;
  using NN::validationInputs;
  using NN::validationTargets;
  using NN::weights;
};
