// NN_PSO_OpenCL_private and its leaves: the simulation kernel with private layer arrays, from
// a second build of the kernel source with the array length written into it.
#include <algorithm>
#include <string>

#include "nn/fatal.h"
#include "opencl/cl_check.h"
#include "opencl/pso_opencl.h"
#include "trainers/parameters.h"

NN_PSO_OpenCL_private::NN_PSO_OpenCL_private(const std::string& configurationFileName,
                                             const std::string& trainingDataFileName,
                                             const std::string& parametersFileName,
                                             cl_device_type deviceType)
    : NN(configurationFileName, trainingDataFileName),
      NN_PSO_OpenCL(configurationFileName, trainingDataFileName, parametersFileName,
                    deviceType) {
  // The private arrays need a length known when the kernel is compiled.
  program.reset();
  const std::string source =
      replaceAll(readProgramSource("NN_kernels.cl"), "[PRIVATE_MEM_SIZE]",
                 "[" + std::to_string(maxLayerSize()) + "]");
  program.reset(createProgramFromSource(context, source));
  buildProgram(program, device);

  cl_int status = CL_SUCCESS;
  simulationKernel.reset(clCreateKernel(program, "simulate_neural_networks_private", &status));
  checkCl(status, "Error creating kernel", 897);

  // The training set for a start; every simNNs binds 0 and 7 again.
  const char* binding = "Error setting kernel arguments";
  checkCl(setKernelBuffer(simulationKernel, 0, trainingInputsBuffer), binding, 548);
  checkCl(setKernelArg(simulationKernel, 7, numberOfTrainingSamples()), binding, 548);
  bindSimulationArguments();

  groupSize = std::min(maxWorkGroupSize(), 64);
}

NN_PSO_OpenCL_private::~NN_PSO_OpenCL_private() { simulationKernel.reset(); }

int NN_PSO_OpenCL_private::maxWorkGroupSize() {
  size_t kernelLimit = 0;
  checkCl(clGetKernelWorkGroupInfo(simulationKernel, device, CL_KERNEL_WORK_GROUP_SIZE,
                                   sizeof kernelLimit, &kernelLimit, nullptr),
          "Error finding max group size", 844);
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
