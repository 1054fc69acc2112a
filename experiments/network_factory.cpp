#include "experiments/network_factory.h"

#include <string>

#include "common/fatal.h"
#include "common/ombra_status.h"

namespace {

const TrainerKind& checkedType(int type) {
  const TrainerKind* trainer = trainerOfType(type);
  if (trainer == nullptr) {
    fatal("Wrong NN_type: " + std::to_string(type) + " (0 to " +
              std::to_string(kTrainerTypeCount - 1) + ")",
          ombra_status::kFailure);
  }
  return *trainer;
}

}  // namespace

NN* createNetwork(int type, const std::string& configFile, const std::string& trainingDataFile,
                  const std::string& parametersFile) {
  return checkedType(type).create(configFile, trainingDataFile, parametersFile).release();
}

OwnedNetwork makeNetwork(int type, const std::string& configFile,
                         const std::string& trainingDataFile, const std::string& parametersFile) {
  return OwnedNetwork(createNetwork(type, configFile, trainingDataFile, parametersFile),
                      NetworkDestroyer{type});
}

void destroyNetwork(int type, NN* network) {
  checkedType(type);
  // Every class's destructor is reached through the virtual destructor of NN, so the
  // object is released completely even if type names a different class than it was built as.
  delete network;
}
