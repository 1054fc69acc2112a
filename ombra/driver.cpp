#include "ombra/driver.h"

#include <strings.h>

#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "common/fatal.h"
#include "common/ombra_status.h"
#include "nn/reloaded_network.h"
#include "nn/replace_file.h"
#include "version.h"

namespace {

void printUsage() {
  std::cout << "Usage: ./ombra <NN_type> <nnet_config_file>  <training_data_file>  "
               "<algorithm_parameters_file> [<network_file>]"
            << std::endl;
  std::cout << "       ./ombra <network_file>" << std::endl;
}

void printHelp(const std::vector<TrainerKind>& trainers) {
  printUsage();
  std::cout << "\nTrains a network of the type <NN_type> on the training data file, prints its\n"
               "test-set figures and saves it to <network_file>; or reloads a saved network.\n"
               "Then answers queries: one input vector on standard input, the outputs on\n"
               "standard output, until the input ends.\n\n<NN_type>:\n";
  for (const TrainerKind& trainer : trainers) {
    std::string name = std::string("  ") + trainer.name;
    name.resize(19, ' ');
    std::cout << name << describeTrainer(trainer) << "\n";
  }
  std::cout << "\nThe OpenCL types read the kernel source NN_kernels.cl from the working\n"
               "directory, or else from the installation: PREFIX/share/ombra/NN_kernels.cl for\n"
               "PREFIX/bin/ombra.\n\n"
               "Exit status: 0 when the queries end; otherwise the status of the failing step\n"
               "(255 for most).\n"
            << std::flush;
}

// A type whose class is not built into this program is as unknown as a misspelt one.
const TrainerKind* findType(const char* name, const std::vector<TrainerKind>& trainers) {
  for (const TrainerKind& trainer : trainers) {
    if (std::strcmp(trainer.name, name) == 0) return trainer.create ? &trainer : nullptr;
  }
  return nullptr;
}

// The network file is written after the whole training: one that would destroy an input, or
// that cannot be written at all, is refused before any work, and a FIFO is opened then.
std::unique_ptr<ReplacedFile> openNetworkFile(char** argv) {
  const std::string networkFile = argv[5];
  const char* const inputs[] = {"configuration", "training data", "algorithm parameters"};
  for (int k = 0; k < 3; ++k) {
    if (sameFile(networkFile, argv[2 + k])) {
      fatal("Network file " + networkFile + " is the same file as the " + inputs[k] + " file " +
                argv[2 + k],
            ombra_status::kFailure);
    }
  }
  return std::unique_ptr<ReplacedFile>(new ReplacedFile(networkFile, FileKind::network));
}

// "Wrong NN type" names the type given and the types there are.
std::string describeWrongType(const std::string& name, const std::vector<TrainerKind>& trainers) {
  std::string text = ": '" + name + "'";
  for (const TrainerKind& trainer : trainers) {
    if (trainer.create && strcasecmp(trainer.name, name.c_str()) == 0) {
      text += std::string(" (did you mean ") + trainer.name + "? the match is case-sensitive)";
    }
  }
  text += "; the types:";
  const char* separator = " ";
  for (const TrainerKind& trainer : trainers) {
    if (!trainer.create) continue;
    text += separator + std::string(trainer.name);
    separator = ", ";
  }
  return text + " (ombra --help says what each one is)";
}

int train(int argumentCount, char** argv, const std::vector<TrainerKind>& trainers) {
  const TrainerKind* type = findType(argv[1], trainers);
  if (type == nullptr) {
    fatal("Wrong NN type" + describeWrongType(argv[1], trainers), ombra_status::kFailure);
  }
  std::unique_ptr<ReplacedFile> networkFile;
  if (argumentCount == 5) networkFile = openNetworkFile(argv);
  // The network lives until the process ends; the driver is its only owner.
  std::unique_ptr<NN> network = type->create(argv[2], argv[3], argv[4]);
  network->printInfo();
  std::cout << "Training..." << std::endl;
  network->train();
  std::cout << "Network trained" << std::endl;
  const float mse = network->testMeanSquaredError();
  std::cout << "Test set MSE= " << static_cast<double>(mse) << std::endl;
  const float rate = network->truePositiveRate();
  std::cout << "Test set TPR= " << static_cast<double>(rate) << std::endl;
  if (networkFile) network->save(*networkFile);
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
  if (argumentCount == 1) {
    const std::string argument = argv[1];
    if (argument == "--help" || argument == "-h") {
      printHelp(trainers);
      return ombra_status::kDone;
    }
    if (argument == "--version") {
      std::cout << "ombra " << kVersion << std::endl;
      return ombra_status::kDone;
    }
    return reload(argv);
  }
  printUsage();
  fatal("Wrong number of arguments: " + std::to_string(argumentCount) +
            " given; 4 or 5 to train a network, 1 to reload one (ombra --help)",
        ombra_status::kFailure);
}
