#pragma once

#include <memory>
#include <string>

#include "nn/network.h"
#include "trainer_table/trainer_table.h"

// The experiments name trainers by their type number, 0 to kTrainerTypeCount - 1, the
// timingsType column of the trainer table (trainer_table/trainer_table.h).

// A new network of the class of type, built from the three files; the caller owns it and
// hands it back through destroyNetwork. A type outside 0..7 is fatal ("Wrong NN_type", -1).
NN* createNetwork(int type, const std::string& configFile, const std::string& trainingDataFile,
                  const std::string& parametersFile);

// Deletes a network made by createNetwork; null does nothing. A type outside 0..7 is fatal.
void destroyNetwork(int type, NN* network);

// Hands a network back through destroyNetwork, so that no path out of a caller leaks it.
struct NetworkDestroyer {
  int type;
  void operator()(NN* network) const { destroyNetwork(type, network); }
};
using OwnedNetwork = std::unique_ptr<NN, NetworkDestroyer>;

// createNetwork, owned: reset() is the point where the network is destroyed.
OwnedNetwork makeNetwork(int type, const std::string& configFile,
                         const std::string& trainingDataFile, const std::string& parametersFile);
