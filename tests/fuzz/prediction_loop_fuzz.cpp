// The query loop of ombra on arbitrary standard input, with a small fixed network: every
// input either ends cleanly or ends through fatal with status -1 ("Input value is not a
// number", or input that ends inside a vector).

#include <cstdint>
#include <sstream>

#include "common/fatal.h"
#include "nn/network.h"
#include "ombra/driver.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Layers 3, 4 and 2 with fixed weights and ranges, as a network file would give them.
class QueryNetwork : public NN {
 public:
  QueryNetwork() {
    layers = {3, 4, 2};
    inputRanges = {-1.0f, 1.0f, 0.0f, 100.0f, -5.0f, 5.0f};
    outputRanges = {0.0f, 1.0f, -10.0f, 10.0f};
    weights.resize(static_cast<size_t>(numberOfWeights()));
    for (size_t k = 0; k < weights.size(); ++k) weights[k] = 0.1f * (static_cast<int>(k % 7) - 3);
    allocateBuffers();
  }
  double train() override { return 0.0; }
  double timeIterations(int) override { return 0.0; }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setFatalHandler(throwFatalError);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static QueryNetwork network;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream out;
  try {
    fuzz::require(predictionLoop(network, in, out) == 0, "the loop ends with status 0");
  } catch (const FatalError& error) {
    fuzz::require(error.status == -1, "a query error ends with status -1");
  }
  fuzz::require(out.str().compare(0, 6, "Input:") == 0, "the loop prompts first");
  return 0;
}
