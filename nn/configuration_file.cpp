#include <cerrno>
#include <fstream>
#include <string>

#include "common/fatal.h"
#include "common/file_contents.h"
#include "common/memory_limit.h"
#include "common/ombra_status.h"
#include "nn/network.h"

// Whitespace-separated layer sizes, input layer first. Reading stops silently at the first
// token that is not an integer ("3.5" gives 3, "12abc" gives 12), as stream extraction does.
// A topology that cannot be propagated is refused here, before anything is sized from it.
void NN::readConfiguration(const std::string& fileName) {
  configurationSource = fileName;
  errno = 0;
  std::ifstream file(fileName);
  if (!file) {
    const std::string reason = systemReason(errno);
    fatal("Error opening file: " + fileName + (reason.empty() ? "" : ": " + reason),
          ombra_status::kConfigurationFile);
  }
  if (isDirectory(fileName))
    fatal("Error reading file: " + fileName + ": a directory", ombra_status::kConfigurationFile);
  int size;
  while (file >> size) layers.push_back(size);

  bool usable = layers.size() >= 2;
  for (int layerSize : layers) usable = usable && layerSize >= 1;
  if (!usable) {
    fatal("Wrong network configuration in " + fileName +
              ": at least two layers of at least one neuron each are needed",
          ombra_status::kConfigurationFile);
  }
  // Weight offsets are ints, and every trainer holds several copies of the weights: beyond
  // 2^28 weights (1 GiB of floats per copy) a topology is a typing error, not a network.
  long long weightCount = 0;
  for (size_t l = 1; l < layers.size(); ++l) {
    weightCount += (static_cast<long long>(layers[l - 1]) + 1) * layers[l];
    if (weightCount > kMaxWeights) {
      fatal("Wrong network configuration in " + fileName + ": too many weights (at most " +
                std::to_string(kMaxWeights) + ")",
            ombra_status::kConfigurationFile);
    }
  }
}
