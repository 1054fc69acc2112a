#include <cstdlib>
#include <ctime>
#include <string>

#include "nn/driver.h"
#include "opencl/bp_opencl.h"
#include "opencl/pso_opencl.h"
#include "trainers/bp.h"
#include "trainers/pso.h"

namespace {

template <class Network>
NN* create(const std::string& configurationFileName, const std::string& trainingDataFileName,
           const std::string& parametersFileName) {
  return new Network(configurationFileName, trainingDataFileName, parametersFileName);
}

// Looked up in this order; the match is exact and case-sensitive.
const NetworkType networkTypes[] = {
    {"PSO", create<NN_PSO>},
    {"PSO_local_GPU", create<NN_PSO_OpenCL_GPU_local>},
    {"PSO_local_CPU", create<NN_PSO_OpenCL_CPU_local>},
    {"PSO_private_GPU", create<NN_PSO_OpenCL_GPU_private>},
    {"PSO_private_CPU", create<NN_PSO_OpenCL_CPU_private>},
    {"BP", create<NN_BP>},
    {"BP_GPU", create<NN_BP_OpenCL_GPU>},
    {"BP_CPU", create<NN_BP_OpenCL_CPU>},
};

}  // namespace

int main(int argc, char** argv) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  return runOmbra(argc, argv, networkTypes, sizeof networkTypes / sizeof networkTypes[0]);
}
