// NN_PSO_OpenCL_private and its leaves: the simulation kernel with private layer arrays, from
// a second build of the kernel source with the array length written into it.
#include <algorithm>
#include <string>

#include "common/fatal.h"
#include "common/ombra_status.h"
#include "opencl/cl_check.h"
#include "opencl/private_memory.h"
#include "opencl/pso_opencl.h"
#include "trainers/parameters.h"

NN_PSO_OpenCL_private::NN_PSO_OpenCL_private(const std::string& configurationFileName,
                                             const std::string& trainingDataFileName,
                                             const std::string& parametersFileName,
                                             cl_device_type requestedType)
    : NN(configurationFileName, trainingDataFileName),
      NN_PSO_OpenCL(configurationFileName, trainingDataFileName, parametersFileName,
                    requestedType) {
  // The private arrays need a length known when the kernel is compiled.
  program.reset();
  const std::string original = readProgramSource(kernelFile);
  const std::string source =
      replaceAll(original, "[PRIVATE_MEM_SIZE]", "[" + std::to_string(maxLayerSize()) + "]");
  program.reset(createProgramFromSource(context, source));
  buildProgram(program, device);

  cl_int status = CL_SUCCESS;
  simulationKernel.reset(clCreateKernel(program, "simulate_neural_networks_private", &status));
  checkCl(status, "Error creating kernel", ombra_status::kSimulationKernel);

  // The training set for a start; every simNNs binds 0 and 7 again.
  const char* binding = "Error setting kernel arguments";
  checkCl(setKernelBuffer(simulationKernel, 0, trainingInputsBuffer), binding,
          ombra_status::kSimulationArguments);
  checkCl(setKernelArg(simulationKernel, 7, numberOfTrainingSamples()), binding,
          ombra_status::kSimulationArguments);
  bindSimulationArguments();

  // Every work-item of a group keeps its own private arrays, and the group must fit what the
  // device gives it (see private_memory.h): a smaller group, or none at all, never a launch
  // that overruns a worker's stack.
  cl_ulong reportedBytes = 0;
  checkCl(clGetKernelWorkGroupInfo(simulationKernel, device, CL_KERNEL_PRIVATE_MEM_SIZE,
                                   sizeof reportedBytes, &reportedBytes, nullptr),
          "Error finding max group size", ombra_status::kPrivateGroupQuery);
  const size_t declaredBytes =
      privateBytesPerLayerValue(original) * static_cast<size_t>(maxLayerSize());
  const size_t workItemBytes = std::max<size_t>(reportedBytes, declaredBytes);
  const size_t groupBytes = privateBytesPerWorkGroup(deviceType);
  const int fit = privateMemoryFit(groupBytes, workItemBytes);
  if (fit < 1) {
    fatal("Network too large for private memory: a work-item needs " +
              std::to_string(workItemBytes) + " bytes for the values of a " +
              std::to_string(maxLayerSize()) + "-neuron layer, more than the " +
              std::to_string(groupBytes) +
              " bytes a work-group may take on the device (the thread stack, ulimit -s, less "
              "64 KiB)",
          ombra_status::kPrivateMemory);
  }
  chooseGroupSize("simulate_neural_networks_private", std::min(fit, 64));
}

NN_PSO_OpenCL_private::~NN_PSO_OpenCL_private() { simulationKernel.reset(); }

int NN_PSO_OpenCL_private::maxWorkGroupSize() {
  size_t kernelLimit = 0;
  checkCl(clGetKernelWorkGroupInfo(simulationKernel, device, CL_KERNEL_WORK_GROUP_SIZE,
                                   sizeof kernelLimit, &kernelLimit, nullptr),
          "Error finding max group size", ombra_status::kPrivateGroupQuery);
  return static_cast<int>(std::min<size_t>(kernelLimit, 1 << 30));
}

void NN_PSO_OpenCL_private::printInfo() { printVariantInfo("Using private memory."); }

NN_PSO_OpenCL_CPU_private::NN_PSO_OpenCL_CPU_private(const std::string& configurationFileName,
                                                     const std::string& trainingDataFileName,
                                                     const std::string& parametersFileName)
    : NN(configurationFileName, trainingDataFileName),
      NN_PSO_OpenCL_private(configurationFileName, trainingDataFileName, parametersFileName,
                            CL_DEVICE_TYPE_CPU) {}

NN_PSO_OpenCL_GPU_private::NN_PSO_OpenCL_GPU_private(const std::string& configurationFileName,
                                                     const std::string& trainingDataFileName,
                                                     const std::string& parametersFileName)
    : NN(configurationFileName, trainingDataFileName),
      NN_PSO_OpenCL_private(configurationFileName, trainingDataFileName, parametersFileName,
                            CL_DEVICE_TYPE_GPU) {}
