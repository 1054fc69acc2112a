#include "experiments/network_factory.h"

#include "nn/fatal.h"
#include "opencl/bp_opencl.h"
#include "opencl/pso_opencl.h"
#include "trainers/bp.h"
#include "trainers/pso.h"

namespace {

template <class Network>
NN* create(const std::string& configFile, const std::string& trainingDataFile,
           const std::string& parametersFile) {
  return new Network(configFile, trainingDataFile, parametersFile);
}

struct NetworkClass {
  const char* name;  // what the number stands for, to read the table by
  NN* (*create)(const std::string&, const std::string&, const std::string&);
};

// Indexed by type number.
const NetworkClass networkClasses[kNetworkTypeCount] = {
    {"NN_PSO", create<NN_PSO>},
    {"NN_PSO_OpenCL_GPU_private", create<NN_PSO_OpenCL_GPU_private>},
    {"NN_PSO_OpenCL_CPU_private", create<NN_PSO_OpenCL_CPU_private>},
    {"NN_PSO_OpenCL_GPU_local", create<NN_PSO_OpenCL_GPU_local>},
    {"NN_PSO_OpenCL_CPU_local", create<NN_PSO_OpenCL_CPU_local>},
    {"NN_BP", create<NN_BP>},
    {"NN_BP_OpenCL_GPU", create<NN_BP_OpenCL_GPU>},
    {"NN_BP_OpenCL_CPU", create<NN_BP_OpenCL_CPU>},
};

void checkType(int type) {
  if (type < 0 || type >= kNetworkTypeCount) fatal("Wrong NN_type", -1);
}

}  // namespace

NN* createNetwork(int type, const std::string& configFile, const std::string& trainingDataFile,
                  const std::string& parametersFile) {
  checkType(type);
  return networkClasses[type].create(configFile, trainingDataFile, parametersFile);
}

void destroyNetwork(int type, NN* network) {
  checkType(type);
  // Every class's destructor is reached through the virtual destructor of NN, so the
  // object is released completely even if type names a different class than it was built as.
  delete network;
}
