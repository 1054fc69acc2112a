// NN_BP_OpenCL's whole-set launches under the GPU split: an epoch in one launch of
// train_epoch, an error measurement in one launch of simulate_neural_networks_local, each
// where its group fits the device's local memory; the per-sample steps stay for the rest.
#include <algorithm>

#include "common/fatal.h"
#include "common/ombra_status.h"
#include "opencl/bp_opencl.h"
#include "opencl/cl_check.h"
#include "opencl/pso_opencl.h"
#include "opencl/queue_calls.h"

namespace {

const char* const kEpochArguments = "Error setting kernel arguments for train_epoch kernel";
constexpr int kEpochArgumentsStatus = ombra_status::kEpochArguments;
const char* const kBatchArguments =
    "Error setting kernel arguments for simulate_neural_networks_local kernel";
constexpr int kBatchArgumentsStatus = ombra_status::kBatchArguments;
const char* const kQuery = "Error finding work-group size";
constexpr int kQueryStatus = ombra_status::kWorkGroupQuery;
constexpr size_t kMarginBytes = 256;  // of local memory, kept free besides the kernel's own

}  // namespace

void NN_BP_OpenCL::createEpochKernel() {
  cl_int status = CL_SUCCESS;
  ClKernel kernel(clCreateKernel(program, "train_epoch", &status));
  // A kernel file from before train_epoch existed still trains, through the steps.
  if (status == CL_INVALID_KERNEL_NAME || numberOfLayers() < 2) return;
  checkCl(status, "Error creating train_epoch kernel", ombra_status::kEpochKernel);

  // The kernel's own local memory is measured before any local argument is bound: an
  // implementation counts the bound ones in CL_KERNEL_LOCAL_MEM_SIZE too.
  cl_ulong kernelLocal = 0;
  cl_ulong deviceLocal = 0;
  checkCl(clGetKernelWorkGroupInfo(kernel, device, CL_KERNEL_LOCAL_MEM_SIZE, sizeof kernelLocal,
                                   &kernelLocal, nullptr),
          kQuery, kQueryStatus);
  checkCl(
      clGetDeviceInfo(device, CL_DEVICE_LOCAL_MEM_SIZE, sizeof deviceLocal, &deviceLocal, nullptr),
      kQuery, kQueryStatus);
  const size_t weightBytes = sizeof(float) * numberOfWeights();
  const size_t neuronBytes = sizeof(float) * numberOfNeurons();
  if (kernelLocal + kMarginBytes + weightBytes + 2 * neuronBytes > deviceLocal) return;

  // Enough work-items for the widest layer, in whole multiples of the device's preferred
  // size: every barrier waits for the whole group, so more would only wait longer.
  const size_t multiple = std::max<size_t>(1, preferredGroupSizeMultiple(kernel, device));
  epochGroupSize =
      gpuGroupSize(kernel, device, std::min<size_t>(256, roundUp(maxLayerSize(), multiple)));

  orderBuffer.reset(clCreateBuffer(context, CL_MEM_READ_ONLY,
                                   sizeof(cl_int) * std::max(1, numberOfTrainingSamples()), nullptr,
                                   &status));
  checkCl(status, "Error creating buffers", ombra_status::kBpBuffers);
  const KernelBinder epoch(kernel, kEpochArguments, kEpochArgumentsStatus);
  epoch.buffer(0, trainingInputsBuffer);
  epoch.buffer(1, trainingTargetsBuffer);
  epoch.buffer(2, weightsBuffer);
  epoch.buffer(3, layersBuffer);
  epoch.value(4, numberOfLayers());
  epoch.buffer(5, outputRangesBuffer);
  epoch.value(6, parameters.learningRate);
  epoch.buffer(7, orderBuffer);
  epoch.value(11, numberOfWeights());
  epoch.local(12, weightBytes);
  epoch.local(13, neuronBytes);
  epoch.local(14, neuronBytes);
  epochKernel = std::move(kernel);
  gpuGroupSizes.push_back({"train_epoch", epochGroupSize});
  createBatchKernel();
}

void NN_BP_OpenCL::createBatchKernel() {
  cl_int status = CL_SUCCESS;
  ClKernel kernel(clCreateKernel(program, "simulate_neural_networks_local", &status));
  checkCl(status, "Error creating simulate_neural_networks_local kernel",
          ombra_status::kBatchKernel);
  // The group size of the swarm's local variant for one particle (see localMemoryFit), its
  // own local memory measured before any local argument is bound.
  size_t kernelLimit = 0;
  cl_ulong kernelLocal = 0;
  cl_ulong deviceLocal = 0;
  checkCl(clGetKernelWorkGroupInfo(kernel, device, CL_KERNEL_WORK_GROUP_SIZE, sizeof kernelLimit,
                                   &kernelLimit, nullptr),
          kQuery, kQueryStatus);
  checkCl(clGetKernelWorkGroupInfo(kernel, device, CL_KERNEL_LOCAL_MEM_SIZE, sizeof kernelLocal,
                                   &kernelLocal, nullptr),
          kQuery, kQueryStatus);
  checkCl(
      clGetDeviceInfo(device, CL_DEVICE_LOCAL_MEM_SIZE, sizeof deviceLocal, &deviceLocal, nullptr),
      kQuery, kQueryStatus);
  const int fit = localMemoryFit(deviceLocal, kernelLocal, numberOfWeights(), maxLayerSize());
  if (fit < 1) return;
  batchGroupSize = roundDownToMultiple(std::min<size_t>({kernelLimit, 64, size_t(fit)}),
                                       preferredGroupSizeMultiple(kernel, device));

  const int largestSet =
      std::max({numberOfTrainingSamples(), numberOfValidationSamples(), numberOfTestSamples()});
  batchOutputs.assign(static_cast<size_t>(largestSet) * outputSize(), 0.0f);
  batchOutputsBuffer.reset(clCreateBuffer(context, CL_MEM_WRITE_ONLY,
                                          sizeof(float) * std::max<size_t>(1, batchOutputs.size()),
                                          nullptr, &status));
  checkCl(status, "Error creating buffers", ombra_status::kBpBuffers);
  const KernelBinder batch(kernel, kBatchArguments, kBatchArgumentsStatus);
  batch.buffer(1, weightsBuffer);
  batch.buffer(2, batchOutputsBuffer);
  batch.value(3, numberOfLayers());
  batch.buffer(4, layersBuffer);
  batch.buffer(5, outputRangesBuffer);
  batch.value(6, 1);  // one network
  batch.value(8, numberOfWeights());
  batch.value(9, maxLayerSize());
  batch.local(10, sizeof(float) * numberOfWeights());
  batch.local(11, sizeof(float) * batchGroupSize * maxLayerSize());
  batch.local(12, sizeof(float) * batchGroupSize * maxLayerSize());
  batchKernel = std::move(kernel);
  gpuGroupSizes.push_back({"simulate_neural_networks_local", batchGroupSize});
}

double NN_BP_OpenCL::computeMSE(const std::vector<float>& inputs,
                                const std::vector<float>& targets) {
  const int n = numberOfSamples(inputs);
  if (!batchKernel || n == 0) return NN_BP::computeMSE(inputs, targets);
  const KernelBinder batch(batchKernel, kBatchArguments, kBatchArgumentsStatus);
  batch.buffer(0, deviceBufferFor(inputs));
  batch.value(7, n);
  const size_t global[2] = {1, roundUp(static_cast<size_t>(n), batchGroupSize)};
  const size_t local[2] = {1, batchGroupSize};
  checkCl(enqueueKernel(queue, batchKernel, 2, global, local),
          "Error running kernel simulate_neural_networks_local.", ombra_status::kRunBatch);
  checkCl(enqueueRead(queue, batchOutputsBuffer, true, 0,
                      sizeof(float) * static_cast<size_t>(n) * outputSize(), batchOutputs.data()),
          "Error reading back outputs", ombra_status::kReadOutputs);
  // NN_BP's own sum over the rows, handed out by simulateSample.
  servedRows = batchOutputs.data();
  const double error = NN_BP::computeMSE(inputs, targets);
  servedRows = nullptr;
  return error;
}

void NN_BP_OpenCL::trainEpoch(const std::vector<int>& order) {
  if (!epochKernel) {
    NN_BP::trainEpoch(order);
    // One wait per epoch: the loop's time limit then measures the device's work, not how fast
    // the host can queue it.
    waitForSteps();
    return;
  }
  const int useOrder = order.empty() ? 0 : 1;
  if (useOrder) {
    checkCl(enqueueWrite(queue, orderBuffer, false, 0, sizeof(cl_int) * order.size(), order.data()),
            "Error writing the sample order to buffer", ombra_status::kWriteOrder);
  }
  const KernelBinder epoch(epochKernel, kEpochArguments, kEpochArgumentsStatus);
  epoch.value(8, useOrder);
  const int samples = numberOfTrainingSamples();
  for (int first = 0; first == 0 || first < samples; first += samplesPerEpochLaunch) {
    epoch.value(9, first);
    epoch.value(10, std::min(samplesPerEpochLaunch, samples - first));
    checkCl(enqueueKernel(queue, epochKernel, 1, &epochGroupSize, &epochGroupSize),
            "Error running kernel train_epoch.", ombra_status::kRunEpoch);
  }
  weightsOnHostStale = true;
  // Also keeps order untouched until its write is done.
  checkCl(finishQueue(queue), "Error waiting for the training epoch", ombra_status::kWaitEpoch);
}
