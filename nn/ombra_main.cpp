#include <csignal>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <new>
#include <string>

#include "nn/driver.h"
#include "nn/fatal.h"
#include "nn/memory_limit.h"
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
  // A file size limit (ulimit -f) makes a write fail with EFBIG, reported like a full disk,
  // instead of killing the process with SIGXFSZ.
  std::signal(SIGXFSZ, SIG_IGN);
  // Likewise a reader that closes the pipe of a file or of the answers: EPIPE, reported.
  std::signal(SIGPIPE, SIG_IGN);
  // Sizes from the input files are checked before allocating; should memory run out anyway,
  // the run ends with a message rather than an uncaught std::bad_alloc.
  std::set_new_handler(outOfMemory);
  try {
    return runOmbra(argc, argv, networkTypes, sizeof networkTypes / sizeof networkTypes[0]);
  } catch (const std::exception& error) {
    fatal(std::string("Unexpected error: ") + error.what(), -1);
  }
}
