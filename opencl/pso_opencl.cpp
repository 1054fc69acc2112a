// NN_PSO_OpenCL: the device buffers and the MSE kernel shared by both variants, and the two
// evaluation steps that replace those of NN_PSO.
#include "opencl/pso_opencl.h"

#include <algorithm>
#include <iostream>

#include "common/fatal.h"
#include "common/ombra_status.h"
#include "opencl/cl_check.h"
#include "opencl/queue_calls.h"

namespace {

// Binding failures of mean_squared_errors, at construction and in mses alike.
const char* const kMseArguments = "Error seting kernel arguments in mse";
constexpr int kMseArgumentsStatus = ombra_status::kMseArguments;

}  // namespace

NN_PSO_OpenCL::NN_PSO_OpenCL(const std::string& configurationFileName,
                             const std::string& trainingDataFileName,
                             const std::string& parametersFileName, cl_device_type requestedType)
    : NN(configurationFileName, trainingDataFileName),
      NN_PSO(configurationFileName, trainingDataFileName, parametersFileName),
      NN_OpenCL(configurationFileName, trainingDataFileName, requestedType) {
  refuseOptionsOfTheCpuSteps(parameters, "the OpenCL particle-swarm trainers");
  const int P = parameters.populationSize;
  cl_int outputsStatus = CL_SUCCESS;
  cl_int msesStatus = CL_SUCCESS;
  particleOutputsBuffer.reset(clCreateBuffer(
      context, CL_MEM_READ_WRITE, sizeof(float) * outputs.size(), nullptr, &outputsStatus));
  msesBuffer.reset(
      clCreateBuffer(context, CL_MEM_WRITE_ONLY, sizeof(float) * P, nullptr, &msesStatus));
  checkCl(outputsStatus, "Error creating buffers", ombra_status::kPsoBuffers);
  checkCl(msesStatus, "Error creating buffers", ombra_status::kPsoBuffers);

  // From the program built as read; the kernel keeps that program alive should a variant
  // replace it.
  cl_int status = CL_SUCCESS;
  mseKernel.reset(clCreateKernel(program, "mean_squared_errors", &status));
  checkCl(status, "Error creating MSE kernel", ombra_status::kMseKernel);
  mseGroupSize = 64;
  if (workSplit == WorkSplit::Gpu) {
    mseGroupSize = static_cast<int>(gpuGroupSize(mseKernel, device, mseGroupSize));
  }
  checkCl(setKernelBuffer(mseKernel, 0, particleOutputsBuffer), kMseArguments, kMseArgumentsStatus);
  checkCl(setKernelBuffer(mseKernel, 1, trainingTargetsBuffer), kMseArguments, kMseArgumentsStatus);
  checkCl(setKernelBuffer(mseKernel, 2, msesBuffer), kMseArguments, kMseArgumentsStatus);
  checkCl(setKernelArg(mseKernel, 4, outputSize()), kMseArguments, kMseArgumentsStatus);
  checkCl(setKernelLocal(mseKernel, 5, sizeof(float) * mseGroupSize), kMseArguments,
          kMseArgumentsStatus);
}

NN_PSO_OpenCL::~NN_PSO_OpenCL() {
  mseKernel.reset();
  msesBuffer.reset();
}

void NN_PSO_OpenCL::printInfo() {
  NN_PSO::printInfo();
  NN_OpenCL::printInfo();
}

void NN_PSO_OpenCL::printVariantInfo(const char* memoryLine) {
  NN_PSO::printInfo();
  std::cout << "Work-group size: " << groupSize << std::endl;
  std::cout << memoryLine << std::endl;
  NN_OpenCL::printInfo();
}

void NN_PSO_OpenCL::chooseGroupSize(const char* kernelName, int limit) {
  groupSize = std::min(maxWorkGroupSize(), limit);
  if (workSplit != WorkSplit::Gpu) return;
  if (groupSize > 0) {  // below 1 the variant refuses the network
    groupSize = static_cast<int>(
        roundDownToMultiple(groupSize, preferredGroupSizeMultiple(simulationKernel, device)));
  }
  gpuGroupSizes = {{kernelName, groupSize}, {"mean_squared_errors", mseGroupSize}};
}

void NN_PSO_OpenCL::bindSimulationArguments() {
  const char* const binding = "Error setting kernel arguments";
  const int status = ombra_status::kSimulationArguments;
  checkCl(setKernelBuffer(simulationKernel, 1, weightsBuffer), binding, status);
  checkCl(setKernelBuffer(simulationKernel, 2, particleOutputsBuffer), binding, status);
  checkCl(setKernelArg(simulationKernel, 3, numberOfLayers()), binding, status);
  checkCl(setKernelBuffer(simulationKernel, 4, layersBuffer), binding, status);
  checkCl(setKernelBuffer(simulationKernel, 5, outputRangesBuffer), binding, status);
  checkCl(setKernelArg(simulationKernel, 6, parameters.populationSize), binding, status);
  checkCl(setKernelArg(simulationKernel, 8, numberOfWeights()), binding, status);
}

void NN_PSO_OpenCL::simNNs(const std::vector<float>& inputs) {
  const int n = numberOfSamples(inputs);
  const cl_mem inputsBuffer = deviceBufferFor(inputs);
  cl_int binding = setKernelBuffer(simulationKernel, 0, inputsBuffer);
  if (binding == CL_SUCCESS) binding = setKernelArg(simulationKernel, 7, n);
  checkCl(binding, "Error setting arguments in simNNs", ombra_status::kSimulationArgumentsPerRun);
  // The in-order queue runs the write before the kernel, and the blocking read of mses after
  // both: weights must stay untouched until then, as the loop does.
  checkCl(
      enqueueWrite(queue, weightsBuffer, false, 0, sizeof(float) * weights.size(), weights.data()),
      "Error writing weights to buffer", ombra_status::kPsoWriteWeights);

  // Dimension 0 the particle, dimension 1 the sample: one particle and G samples per group.
  const size_t G = static_cast<size_t>(groupSize);
  const size_t global[2] = {static_cast<size_t>(parameters.populationSize),
                            roundUp(static_cast<size_t>(n), G)};
  const size_t local[2] = {1, G};
  const cl_int status = enqueueKernel(queue, simulationKernel, 2, global, local);
  if (status != CL_SUCCESS) {
    std::cout << "kernel err= " << status << std::endl;
    char name[64] = "";
    clGetKernelInfo(simulationKernel, CL_KERNEL_FUNCTION_NAME, sizeof name - 1, name, nullptr);
    failCl(status, (std::string("Error running kernel ") + name).c_str(),
           ombra_status::kRunSimulation);
  }
  // No wait: the device starts now and the loop draws the swarm's next random numbers
  // meanwhile; mses waits for the errors.
  checkCl(flushQueue(queue), "Error submitting the swarm evaluation", ombra_status::kSubmitSwarm);
}

std::vector<float> NN_PSO_OpenCL::mses(const std::vector<float>& targets) {
  const int P = parameters.populationSize;
  std::vector<float> result(P, 0.0f);
  const int n = numberOfTargetSamples(targets);
  const cl_mem targetsBuffer = deviceBufferFor(targets);
  cl_int binding = setKernelBuffer(mseKernel, 1, targetsBuffer);
  if (binding == CL_SUCCESS) binding = setKernelArg(mseKernel, 3, n);
  checkCl(binding, kMseArguments, kMseArgumentsStatus);
  // One work-group per particle.
  const size_t global = static_cast<size_t>(mseGroupSize) * P;
  const size_t local = static_cast<size_t>(mseGroupSize);
  checkCl(enqueueKernel(queue, mseKernel, 1, &global, &local), "Error running mse kernel",
          ombra_status::kRunMse);
  checkCl(enqueueRead(queue, msesBuffer, true, 0, sizeof(float) * P, result.data()),
          "Error reading back mses", ombra_status::kReadMses);
  return result;
}
