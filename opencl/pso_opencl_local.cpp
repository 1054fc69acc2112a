// NN_PSO_OpenCL_local and its leaves: the simulation kernel that keeps the particle's weights
// and the group's layer values in local memory, with a group size that fits them there.
#include <algorithm>
#include <cstdint>
#include <string>

#include "common/fatal.h"
#include "common/ombra_status.h"
#include "opencl/cl_check.h"
#include "opencl/pso_opencl.h"

namespace {

const char* const kBinding = "Error setting kernel arguments";
constexpr int kBindingStatus = ombra_status::kSimulationArguments;
constexpr int kMarginBytes = 256;  // kept free of local memory besides the kernel's own

}  // namespace

int localMemoryFit(cl_ulong deviceLocal, cl_ulong kernelLocal, int numberOfWeights,
                   int maxLayerSize) {
  // Unsigned 32-bit arithmetic wraps where the signed one would overflow; the result is then
  // read as two's complement, which is what the signed arithmetic gives.
  const std::uint32_t available = static_cast<std::uint32_t>(deviceLocal) - kMarginBytes -
                                  static_cast<std::uint32_t>(kernelLocal) -
                                  4u * static_cast<std::uint32_t>(numberOfWeights);
  const std::int32_t perWorkItem = 8 * maxLayerSize;  // two layer arrays of floats
  if (perWorkItem <= 0) return 0;
  return static_cast<std::int32_t>(available) / perWorkItem;
}

NN_PSO_OpenCL_local::NN_PSO_OpenCL_local(const std::string& configurationFileName,
                                         const std::string& trainingDataFileName,
                                         const std::string& parametersFileName,
                                         cl_device_type requestedType)
    : NN(configurationFileName, trainingDataFileName),
      NN_PSO_OpenCL(configurationFileName, trainingDataFileName, parametersFileName,
                    requestedType) {
  cl_int status = CL_SUCCESS;
  simulationKernel.reset(clCreateKernel(program, "simulate_neural_networks_local", &status));
  checkCl(status, "Error creating kernel", ombra_status::kSimulationKernel);

  // Arguments 0 (inputs) and 7 (sample count) are bound by every simNNs.
  bindSimulationArguments();
  checkCl(setKernelArg(simulationKernel, 9, maxLayerSize()), kBinding, kBindingStatus);
  checkCl(clGetKernelWorkGroupInfo(simulationKernel, device, CL_KERNEL_LOCAL_MEM_SIZE,
                                   sizeof kernelLocalBytes, &kernelLocalBytes, nullptr),
          "Error finding max group size", ombra_status::kLocalGroupQuery);

  chooseGroupSize("simulate_neural_networks_local");
  if (groupSize < 1) {
    // The particle's weights and one work-item's layer arrays must fit; nothing launches.
    cl_ulong deviceLocal = 0;
    clGetDeviceInfo(device, CL_DEVICE_LOCAL_MEM_SIZE, sizeof deviceLocal, &deviceLocal, nullptr);
    fatal("Network too large for local memory: " + std::to_string(numberOfWeights()) +
              " weights (" + std::to_string(4ull * numberOfWeights()) + " bytes) and " +
              std::to_string(8ull * maxLayerSize()) +
              " bytes of layer values per work-item do not fit into the device's " +
              std::to_string(deviceLocal) + " bytes of local memory",
          ombra_status::kLocalMemory);
  }

  checkCl(setKernelLocal(simulationKernel, 10, sizeof(float) * numberOfWeights()), kBinding,
          kBindingStatus);
  const size_t layerBytes = sizeof(float) * groupSize * maxLayerSize();
  checkCl(setKernelLocal(simulationKernel, 11, layerBytes), kBinding, kBindingStatus);
  checkCl(setKernelLocal(simulationKernel, 12, layerBytes), kBinding, kBindingStatus);
}

NN_PSO_OpenCL_local::~NN_PSO_OpenCL_local() { simulationKernel.reset(); }

int NN_PSO_OpenCL_local::maxWorkGroupSize() {
  size_t kernelLimit = 0;
  cl_ulong deviceLocal = 0;
  const char* failure = "Error finding max group size";
  checkCl(clGetKernelWorkGroupInfo(simulationKernel, device, CL_KERNEL_WORK_GROUP_SIZE,
                                   sizeof kernelLimit, &kernelLimit, nullptr),
          failure, ombra_status::kLocalGroupQuery);
  checkCl(
      clGetDeviceInfo(device, CL_DEVICE_LOCAL_MEM_SIZE, sizeof deviceLocal, &deviceLocal, nullptr),
      failure, ombra_status::kLocalGroupQuery);
  const int fit = localMemoryFit(deviceLocal, kernelLocalBytes, numberOfWeights(), maxLayerSize());
  return static_cast<int>(std::min<long long>(static_cast<long long>(kernelLimit), fit));
}

void NN_PSO_OpenCL_local::printInfo() { printVariantInfo("Using local memory."); }

NN_PSO_OpenCL_CPU_local::NN_PSO_OpenCL_CPU_local(const std::string& configurationFileName,
                                                 const std::string& trainingDataFileName,
                                                 const std::string& parametersFileName)
    : NN(configurationFileName, trainingDataFileName),
      NN_PSO_OpenCL_local(configurationFileName, trainingDataFileName, parametersFileName,
                          CL_DEVICE_TYPE_CPU) {}

NN_PSO_OpenCL_GPU_local::NN_PSO_OpenCL_GPU_local(const std::string& configurationFileName,
                                                 const std::string& trainingDataFileName,
                                                 const std::string& parametersFileName)
    : NN(configurationFileName, trainingDataFileName),
      NN_PSO_OpenCL_local(configurationFileName, trainingDataFileName, parametersFileName,
                          CL_DEVICE_TYPE_GPU) {}
