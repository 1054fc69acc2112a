// The network file reader on arbitrary bytes: it either refuses the file through fatal
// (exit status -1) or reloads a network that predicts, and saving that network again gives
// back exactly the bytes that were read.

#include <cstdint>
#include <memory>

#include "common/fatal.h"
#include "nn/reloaded_network.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setFatalHandler(throwFatalError);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::InputFile file("net.bin");
  static fuzz::InputFile saved("saved.bin");
  std::unique_ptr<NN_reloaded> network;
  try {
    network = std::make_unique<NN_reloaded>(file.write(data, size));
  } catch (const FatalError& error) {
    fuzz::require(error.status == -1, "a refused network file ends with status -1");
    return 0;
  }
  fuzz::require(network->numberOfLayers() >= 2, "a reloaded network has two layers or more");
  // Every weight of the network is in the file: forward propagation costs what the file is.
  network->predict(std::vector<float>(static_cast<size_t>(network->inputSize()), 0.5f));
  network->save(saved.path());
  fuzz::require(
      fuzz::readFile(saved.path()) == std::string(reinterpret_cast<const char*>(data), size),
      "saving a reloaded network gives the same bytes");
  return 0;
}
