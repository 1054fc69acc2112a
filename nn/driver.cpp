#include "nn/driver.h"

#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "nn/fatal.h"
#include "nn/reloaded_network.h"
#include "nn/replace_file.h"

namespace {

void printUsage() {
  std::cout << "Usage: ./ombra <NN_type> <nnet_config_file>  <training_data_file>  "
               "<algorithm_parameters_file> [<network_file>]"
            << std::endl;
  std::cout << "       ./ombra <network_file>" << std::endl;
}

// A type whose class is not built into this program is as unknown as a misspelt one.
const TrainerKind* findType(const char* name, const std::vector<TrainerKind>& trainers) {
  for (const TrainerKind& trainer : trainers) {
    if (std::strcmp(trainer.name, name) == 0) return trainer.create ? &trainer : nullptr;
  }
  return nullptr;
}

// The network file is written after the whole training: one that would destroy an input, or
// that cannot be written at all, is refused before any work.
void checkNetworkFile(char** argv) {
  const std::string networkFile = argv[5];
  const char* const inputs[] = {"configuration", "training data", "algorithm parameters"};
  for (int k = 0; k < 3; ++k) {
    if (sameFile(networkFile, argv[2 + k])) {
      fatal("Network file " + networkFile + " is the same file as the " + inputs[k] + " file " +
                argv[2 + k],
            -1);
    }
  }
  checkReplaceable(networkFile);
}

int train(int argumentCount, char** argv, const std::vector<TrainerKind>& trainers) {
  const TrainerKind* type = findType(argv[1], trainers);
  if (type == nullptr) fatal("Wrong NN type", -1);
  if (argumentCount == 5) checkNetworkFile(argv);
  // The network lives until the process ends; the driver is its only owner.
  std::unique_ptr<NN> network(type->create(argv[2], argv[3], argv[4]));
  network->printInfo();
  std::cout << "Training..." << std::endl;
  network->train();
  std::cout << "Network trained" << std::endl;
  const float mse = network->testMeanSquaredError();
  std::cout << "Test set MSE= " << static_cast<double>(mse) << std::endl;
  const float rate = network->truePositiveRate();
  std::cout << "Test set TPR= " << static_cast<double>(rate) << std::endl;
  if (argumentCount == 5) network->save(argv[5]);
  return predictionLoop(*network, std::cin, std::cout);
}

int reload(char** argv) {
  NN_reloaded network(argv[1]);
  network.printInfo();
  return predictionLoop(network, std::cin, std::cout);
}

}  // namespace

int runOmbra(int argc, char** argv, const std::vector<TrainerKind>& trainers) {
  const int argumentCount = argc - 1;
  if (argumentCount == 4 || argumentCount == 5) return train(argumentCount, argv, trainers);
  if (argumentCount == 1) return reload(argv);
  printUsage();
  fatal("Wrong number of arguments", -1);
}
