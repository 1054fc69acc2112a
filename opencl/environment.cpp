#include "opencl/environment.h"

#include <climits>
#include <cstdlib>
#include <iostream>

#include "common/fatal.h"
#include "common/ombra_status.h"
#include "opencl/cl_check.h"
#include "opencl/kernel_file.h"

namespace {

// A read-only device copy of a host vector, made once; the status goes to *status so that the
// constructor can report the first failure after trying every buffer.
template <class T>
cl_mem readOnlyCopy(cl_context context, const std::vector<T>& host, cl_int* status) {
  return clCreateBuffer(context, CL_MEM_READ_ONLY | CL_MEM_COPY_HOST_PTR, sizeof(T) * host.size(),
                        const_cast<T*>(host.data()), status);
}

}  // namespace

cl_context createContext(cl_device_type deviceType, cl_device_id& device) {
  const cl_uint maxPlatforms = 100;
  cl_platform_id platforms[maxPlatforms];
  cl_uint platformCount = 0;
  checkClWithoutStatus(clGetPlatformIDs(maxPlatforms, platforms, &platformCount),
                       "Error getting platform IDs", ombra_status::kPlatformIds);
  if (platformCount > maxPlatforms) platformCount = maxPlatforms;

  const cl_uint maxDevices = 1000;
  std::vector<cl_device_id> devices(maxDevices);
  for (cl_uint p = 0; p < platformCount; ++p) {
    cl_uint deviceCount = 0;
    cl_int status =
        clGetDeviceIDs(platforms[p], deviceType, maxDevices, devices.data(), &deviceCount);
    if (status != CL_SUCCESS || deviceCount == 0) continue;

    // A context for the chosen device alone: one of the type per platform would make every
    // program build once per device (eight builds for one queue on an eight-GPU node).
    cl_context_properties properties[] = {CL_CONTEXT_PLATFORM,
                                          reinterpret_cast<cl_context_properties>(platforms[p]), 0};
    device = devices[0];
    cl_context context = clCreateContext(properties, 1, &device, nullptr, nullptr, &status);
    checkClWithoutStatus(status, "Error creating context", ombra_status::kCreateContext);
    return context;
  }
  const bool gpu = (deviceType & CL_DEVICE_TYPE_GPU) != 0;
  const char* type = gpu                                              ? "a GPU"
                     : (deviceType & CL_DEVICE_TYPE_CPU) != 0         ? "a CPU"
                     : (deviceType & CL_DEVICE_TYPE_ACCELERATOR) != 0 ? "an accelerator"
                                                                      : "such a";
  fatal(std::string("No devices of the type found: ") +
            (platformCount == 0 ? "no OpenCL platform is installed"
                                : "no OpenCL platform of " + std::to_string(platformCount) +
                                      " has " + type + " device") +
            " (BP and PSO train without OpenCL" +
            (gpu ? "; the _CPU types use a CPU device)" : ")"),
        ombra_status::kNoDevice);
}

NN_OpenCL::NN_OpenCL(const std::string& configurationFileName,
                     const std::string& trainingDataFileName, cl_device_type requestedType)
    : NN(configurationFileName, trainingDataFileName), deviceType(requestedType) {
  context.reset(createContext(deviceType, device));

  cl_int status = CL_SUCCESS;
  queue.reset(clCreateCommandQueue(context, device, 0, &status));
  checkClWithoutStatus(status, "Error creating queue", ombra_status::kCreateQueue);

  // Every creation is tried; the first failure in creation order is the one reported.
  cl_int statuses[9];
  int created = 0;
  trainingInputsBuffer.reset(readOnlyCopy(context, trainingInputs, &statuses[created++]));
  trainingTargetsBuffer.reset(readOnlyCopy(context, trainingTargets, &statuses[created++]));
  if (numberOfValidationSamples() >= 1) {
    validationInputsBuffer.reset(readOnlyCopy(context, validationInputs, &statuses[created++]));
    validationTargetsBuffer.reset(readOnlyCopy(context, validationTargets, &statuses[created++]));
  }
  if (numberOfTestSamples() >= 1) {
    testInputsBuffer.reset(readOnlyCopy(context, testInputs, &statuses[created++]));
    testTargetsBuffer.reset(readOnlyCopy(context, testTargets, &statuses[created++]));
  }
  outputRangesBuffer.reset(readOnlyCopy(context, outputRanges, &statuses[created++]));
  layersBuffer.reset(readOnlyCopy(context, layers, &statuses[created++]));
  weightsBuffer.reset(clCreateBuffer(context, CL_MEM_READ_WRITE, sizeof(float) * weights.size(),
                                     nullptr, &statuses[created++]));
  for (int i = 0; i < created; ++i)
    checkClWithoutStatus(statuses[i], "Error creating buffer", ombra_status::kCreateBuffer);

  workSplit = workSplitFor(device);  // the split buildProgram chooses for device
  kernelFile = kernelSourceFile();
  program.reset(createProgram(context, kernelFile));
  buildProgram(program, device);
}

// Released in a fixed order: the program, the network constants, the weights and particle
// outputs, then the sample sets, the queue and last the context they all live in.
NN_OpenCL::~NN_OpenCL() {
  // A write may still be reading host memory (the swarm's weights); its result no longer
  // matters, but the memory must outlive it.
  if (queue) clFinish(queue);
  simulationKernel.reset();  // normally released already by the class that created it
  program.reset();
  outputRangesBuffer.reset();
  layersBuffer.reset();
  weightsBuffer.reset();
  particleOutputsBuffer.reset();
  trainingInputsBuffer.reset();
  trainingTargetsBuffer.reset();
  validationTargetsBuffer.reset();
  validationInputsBuffer.reset();
  testTargetsBuffer.reset();
  testInputsBuffer.reset();
  queue.reset();
  context.reset();
}

cl_mem NN_OpenCL::deviceBufferFor(const std::vector<float>& samples) const {
  if (&samples == &trainingInputs) return trainingInputsBuffer;
  if (&samples == &trainingTargets) return trainingTargetsBuffer;
  if (&samples == &validationInputs) return validationInputsBuffer;
  if (&samples == &validationTargets) return validationTargetsBuffer;
  if (&samples == &testInputs) return testInputsBuffer;
  if (&samples == &testTargets) return testTargetsBuffer;
  fatal("Only training, validation and test samples supported for now.",
        ombra_status::kUnknownSamples);
}

void NN_OpenCL::printInfo() {
  std::cout << "Device info\n--------------------" << std::endl;
  printDeviceInfo(device);
  // A kernel file in the working directory runs with the user's rights: say which one it is.
  char* real = realpath(kernelFile.c_str(), nullptr);
  std::cout << "Kernel file: " << (real != nullptr ? real : kernelFile.c_str()) << std::endl;
  std::free(real);
  if (workSplit != WorkSplit::Gpu) return;  // the CPU split names no group sizes
  std::cout << "Work split: GPU" << std::endl;
  for (const auto& [kernel, size] : gpuGroupSizes) {
    std::cout << "Work-group size of " << kernel << ": " << size << std::endl;
  }
}
