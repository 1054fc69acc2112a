#pragma once

#include <string>

#include "nn/network.h"

// The experiments name trainers by number:
//   0 NN_PSO                      4 NN_PSO_OpenCL_CPU_local
//   1 NN_PSO_OpenCL_GPU_private   5 NN_BP
//   2 NN_PSO_OpenCL_CPU_private   6 NN_BP_OpenCL_GPU
//   3 NN_PSO_OpenCL_GPU_local     7 NN_BP_OpenCL_CPU
constexpr int kNetworkTypeCount = 8;

// A new network of the class of type, built from the three files; the caller owns it and
// hands it back through destroyNetwork. A type outside 0..7 is fatal ("Wrong NN_type", -1).
NN* createNetwork(int type, const std::string& configFile, const std::string& trainingDataFile,
                  const std::string& parametersFile);

// Deletes a network made by createNetwork; null does nothing. A type outside 0..7 is fatal.
void destroyNetwork(int type, NN* network);
