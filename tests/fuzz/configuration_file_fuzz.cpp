// The network configuration file reader on arbitrary bytes: it either refuses the file
// through fatal (exit status -3) or yields a topology that forward propagation can use.

#include <climits>
#include <cstdint>

#include "common/fatal.h"
#include "nn/network.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

class ConfigurationReader : public NN {
 public:
  double train() override { return 0.0; }
  double timeIterations(int) override { return 0.0; }
  using NN::layers;
  using NN::readConfiguration;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setFatalHandler(throwFatalError);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::InputFile file("net.cfg");
  ConfigurationReader reader;
  try {
    reader.readConfiguration(file.write(data, size));
  } catch (const FatalError& error) {
    fuzz::require(error.status == -3, "a refused configuration ends with status -3");
    fuzz::require(reader.layers.size() <= size, "no more layers than bytes");
    return 0;
  }
  fuzz::require(reader.layers.size() >= 2, "an accepted topology has at least two layers");
  long long weights = 0;
  for (size_t l = 0; l < reader.layers.size(); ++l) {
    fuzz::require(reader.layers[l] >= 1, "every accepted layer has a neuron");
    if (l > 0) weights += (static_cast<long long>(reader.layers[l - 1]) + 1) * reader.layers[l];
    fuzz::require(weights <= INT_MAX, "the weights of an accepted topology fit an int");
  }
  fuzz::require(reader.numberOfWeights() == weights, "numberOfWeights counts every weight");
  return 0;
}
