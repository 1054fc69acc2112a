#include "opencl/bp_opencl.h"

#include <algorithm>
#include <iostream>

#include "nn/fatal.h"
#include "opencl/cl_check.h"
#include "opencl/pso_opencl.h"
#include "opencl/queue_calls.h"
#include "trainers/parameters.h"

namespace {

// Binds arguments of one kernel; any failure ends the program with the one message and status.
class KernelBinder {
 public:
  KernelBinder(cl_kernel kernel, const char* message, int exitStatus)
      : kernel_(kernel), message_(message), exitStatus_(exitStatus) {}
  template <class T>
  void value(cl_uint index, const T& argument) const {
    checkCl(setKernelArg(kernel_, index, argument), message_, exitStatus_);
  }
  void buffer(cl_uint index, cl_mem buffer) const {
    checkCl(setKernelBuffer(kernel_, index, buffer), message_, exitStatus_);
  }
  void local(cl_uint index, size_t bytes) const {
    checkCl(setKernelLocal(kernel_, index, bytes), message_, exitStatus_);
  }

 private:
  cl_kernel kernel_;
  const char* message_;
  int exitStatus_;
};

const char* const kStepsWait = "Error waiting for the back-propagation steps";
constexpr int kStepsWaitStatus = 558;
const char* const kEpochArguments = "Error setting kernel arguments for train_epoch kernel";
constexpr int kEpochArgumentsStatus = 561;
const char* const kBatchArguments =
    "Error setting kernel arguments for simulate_neural_networks_local kernel";
constexpr int kBatchArgumentsStatus = 565;
constexpr size_t kMarginBytes = 256;  // of local memory, kept free besides the kernel's own

}  // namespace

NN_BP_OpenCL::NN_BP_OpenCL(const std::string& configurationFileName,
                           const std::string& trainingDataFileName,
                           const std::string& parametersFileName, cl_device_type deviceType)
    : NN(configurationFileName, trainingDataFileName),
      NN_BP(configurationFileName, trainingDataFileName, parametersFileName),
      NN_OpenCL(configurationFileName, trainingDataFileName, deviceType) {
  refuseOptionsOfTheCpuSteps(parameters, "the OpenCL back-propagation trainers");
  // Every buffer is tried; the first failure in table order is the one reported.
  const size_t floatsPerBuffer[] = {
      static_cast<size_t>(numberOfNeurons()), static_cast<size_t>(maxLayerSize()),
      static_cast<size_t>(maxLayerSize()),    static_cast<size_t>(numberOfWeights()),
      static_cast<size_t>(maxLayerSize()),    static_cast<size_t>(maxLayerSize())};
  ClMem* buffers[] = {&activationsBuffer,  &deltasBufferA,      &deltasBufferB,
                      &deltaWeightsBuffer, &layerOutputBufferA, &layerOutputBufferB};
  cl_int statuses[6];
  for (int i = 0; i < 6; ++i) {
    buffers[i]->reset(clCreateBuffer(context, CL_MEM_READ_WRITE, sizeof(float) * floatsPerBuffer[i],
                                     nullptr, &statuses[i]));
  }
  for (cl_int status : statuses) checkCl(status, "Error creating buffers", 638);

  cl_int status = CL_SUCCESS;
  forwardKernel.reset(clCreateKernel(program, "layer_propagate_forward", &status));
  checkCl(status, "Error creating layer_propagate_forward kernel", 833);
  const KernelBinder forward(
      forwardKernel, "Error setting kernel arguments for propagate layer forward kernel", 547);
  forward.buffer(2, weightsBuffer);
  forward.buffer(5, activationsBuffer);
  forward.buffer(10, outputRangesBuffer);

  backwardKernel.reset(clCreateKernel(program, "layer_propagate_backwards", &status));
  checkCl(status, "Error creating layer_propagate_backwards kernel", 233);
  const KernelBinder backward(
      backwardKernel, "Error setting kernel arguments for propagate layer backwards kernel", 547);
  backward.buffer(0, activationsBuffer);
  backward.buffer(4, weightsBuffer);
  backward.buffer(6, deltaWeightsBuffer);
  backward.value(10, parameters.learningRate);
  backward.buffer(12, trainingTargetsBuffer);
  backward.buffer(14, outputRangesBuffer);

  applyKernel.reset(clCreateKernel(program, "apply_delta_weights", &status));
  checkCl(status, "Error creating apply_delta_weights kernel", 222);
  const KernelBinder apply(applyKernel,
                           "Error setting kernel arguments for apply_delta_weights kernel", 547);
  apply.buffer(0, weightsBuffer);
  apply.buffer(1, deltaWeightsBuffer);
  apply.value(2, numberOfWeights());

  if (workSplit == WorkSplit::Gpu) {
    forwardGroupSize = gpuGroupSize(forwardKernel, device, forwardGroupSize);
    backwardGroupSize = gpuGroupSize(backwardKernel, device, backwardGroupSize);
    updateGroupSize = gpuGroupSize(applyKernel, device, updateGroupSize);
    gpuGroupSizes = {{"layer_propagate_forward", forwardGroupSize},
                     {"layer_propagate_backwards", backwardGroupSize},
                     {"apply_delta_weights", updateGroupSize}};
    createEpochKernel();
  }
}

void NN_BP_OpenCL::createEpochKernel() {
  cl_int status = CL_SUCCESS;
  ClKernel kernel(clCreateKernel(program, "train_epoch", &status));
  // A kernel file from before train_epoch existed still trains, through the steps.
  if (status == CL_INVALID_KERNEL_NAME || numberOfLayers() < 2) return;
  checkCl(status, "Error creating train_epoch kernel", 564);

  // The kernel's own local memory is measured before any local argument is bound: an
  // implementation counts the bound ones in CL_KERNEL_LOCAL_MEM_SIZE too.
  cl_ulong kernelLocal = 0;
  cl_ulong deviceLocal = 0;
  checkCl(clGetKernelWorkGroupInfo(kernel, device, CL_KERNEL_LOCAL_MEM_SIZE, sizeof kernelLocal,
                                   &kernelLocal, nullptr),
          "Error finding work-group size", 845);
  checkCl(
      clGetDeviceInfo(device, CL_DEVICE_LOCAL_MEM_SIZE, sizeof deviceLocal, &deviceLocal, nullptr),
      "Error finding work-group size", 845);
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
  checkCl(status, "Error creating buffers", 638);
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
  checkCl(status, "Error creating simulate_neural_networks_local kernel", 568);
  // The group size of the swarm's local variant for one particle (see localMemoryFit), its
  // own local memory measured before any local argument is bound.
  size_t kernelLimit = 0;
  cl_ulong kernelLocal = 0;
  cl_ulong deviceLocal = 0;
  const char* const query = "Error finding work-group size";
  checkCl(clGetKernelWorkGroupInfo(kernel, device, CL_KERNEL_WORK_GROUP_SIZE, sizeof kernelLimit,
                                   &kernelLimit, nullptr),
          query, 845);
  checkCl(clGetKernelWorkGroupInfo(kernel, device, CL_KERNEL_LOCAL_MEM_SIZE, sizeof kernelLocal,
                                   &kernelLocal, nullptr),
          query, 845);
  checkCl(
      clGetDeviceInfo(device, CL_DEVICE_LOCAL_MEM_SIZE, sizeof deviceLocal, &deviceLocal, nullptr),
      query, 845);
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
  checkCl(status, "Error creating buffers", 638);
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

// The six buffers in table order, then the kernels; the NN_OpenCL part follows.
NN_BP_OpenCL::~NN_BP_OpenCL() {
  activationsBuffer.reset();
  deltasBufferA.reset();
  deltasBufferB.reset();
  deltaWeightsBuffer.reset();
  layerOutputBufferA.reset();
  layerOutputBufferB.reset();
  forwardKernel.reset();
  backwardKernel.reset();
  applyKernel.reset();
  epochKernel.reset();
  orderBuffer.reset();
  batchKernel.reset();
  batchOutputsBuffer.reset();
}

void NN_BP_OpenCL::printInfo() {
  NN::printInfo();
  NN_OpenCL::printInfo();
  printParameters(parameters);
}

void NN_BP_OpenCL::readBackWeights() {
  if (!weightsOnHostStale) return;
  checkCl(
      enqueueRead(queue, weightsBuffer, true, 0, sizeof(float) * numberOfWeights(), weights.data()),
      "Error reading back weights", 1671);
  weightsOnHostStale = false;
}

void NN_BP_OpenCL::simulateSample(const std::vector<float>& inputs, int index) {
  readBackWeights();
  if (servedRows != nullptr) {
    const float* row = servedRows + static_cast<size_t>(index) * outputSize();
    std::copy(row, row + outputSize(), outputs.begin());
    return;
  }
  propagateForward(inputs, index);
  checkCl(
      enqueueRead(queue, layerOutputBufferA, true, 0, sizeof(float) * outputSize(), outputs.data()),
      "Error reading back weights", 1671);
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
          "Error running kernel simulate_neural_networks_local.", 566);
  checkCl(enqueueRead(queue, batchOutputsBuffer, true, 0,
                      sizeof(float) * static_cast<size_t>(n) * outputSize(), batchOutputs.data()),
          "Error reading back outputs", 567);
  // NN_BP's own sum over the rows, handed out by simulateSample.
  servedRows = batchOutputs.data();
  const double error = NN_BP::computeMSE(inputs, targets);
  servedRows = nullptr;
  return error;
}

void NN_BP_OpenCL::initializeWeights() {
  NN_BP::initializeWeights();
  // Blocking: the queue may still hold steps, and weights must stay as written until the write.
  checkCl(
      enqueueWrite(queue, weightsBuffer, true, 0, sizeof(float) * weights.size(), weights.data()),
      "Error writing weights to buffer", 151);
  weightsOnHostStale = false;
}

// Each backward launch overwrites its layer's weight changes, so there is nothing to clear.
void NN_BP_OpenCL::initializeDeltaWeights() {}

void NN_BP_OpenCL::propagateForward(const std::vector<float>& inputs, int index) {
  const cl_mem in = deviceBufferFor(inputs);
  const int inputCount = inputSize();
  const int inputOffset = index * inputCount;
  checkCl(enqueueCopy(queue, in, activationsBuffer, sizeof(float) * inputOffset, 0,
                      sizeof(float) * inputCount),
          "Error writing delta weights to buffer", 155);

  // Layer i writes A when L - i is odd, so the output layer (L - i = 1) always ends in A and
  // each layer reads what the one below wrote.
  const int L = numberOfLayers();
  int activationOffset = inputCount;
  int weightOffset = 0;
  const KernelBinder forward(
      forwardKernel,
      "Error setting kernel arguments for propagate layer forward kernel in propagate forward.",
      557);
  for (int i = 1; i < L; ++i) {
    const bool writesA = (L - i) % 2 == 1;
    const cl_mem source = i == 1 ? in : (writesA ? layerOutputBufferB : layerOutputBufferA);
    const cl_mem result = writesA ? layerOutputBufferA : layerOutputBufferB;
    const int sourceOffset = i == 1 ? inputOffset : 0;
    const int isOutputLayer = i == L - 1 ? 1 : 0;

    forward.buffer(0, source);
    forward.value(1, sourceOffset);
    forward.value(3, weightOffset);
    forward.buffer(4, result);
    forward.value(6, activationOffset);
    forward.value(7, layers[i - 1]);
    forward.value(8, layers[i]);
    forward.value(9, isOutputLayer);

    const size_t global = roundUp(layers[i], forwardGroupSize);
    checkCl(enqueueKernel(queue, forwardKernel, 1, &global, &forwardGroupSize),
            "Error running kernel propagate layer forward.", 357);

    activationOffset += layers[i];
    weightOffset += (layers[i - 1] + 1) * layers[i];
  }
}

void NN_BP_OpenCL::propagateBackwards(const std::vector<float>& targets, int index) {
  // The kernels read trainingTargetsBuffer whatever is passed: only trainingTargets itself (or
  // a vector equal to it) makes sense. Identity is checked first so that the loop's own calls
  // cost nothing per sample.
  if (&targets != &trainingTargets && targets != trainingTargets) {
    fatal("propagateBackwards argument must be training_targets", -1);
  }

  const int L = numberOfLayers();
  const int targetOffset = index * outputSize();
  int activationOffset = numberOfNeurons();
  int weightOffset = numberOfWeights();
  int isOutputLayer = 1;
  const KernelBinder backward(
      backwardKernel,
      "Error setting kernel arguments for propagate layer backwards kernel in propagate forward.",
      551);
  for (int i = L - 1; i >= 1; --i) {
    activationOffset -= layers[i];
    weightOffset -= (layers[i - 1] + 1) * layers[i];
    // Layer i writes its error terms into argument 3 and layer i-1 reads them as argument 2.
    const cl_mem upperDeltas = i % 2 == 0 ? deltasBufferA : deltasBufferB;
    const cl_mem ownDeltas = i % 2 == 0 ? deltasBufferB : deltasBufferA;
    const int nextNeurons = isOutputLayer ? layers[i] : layers[i + 1];

    backward.value(1, activationOffset);
    backward.buffer(2, upperDeltas);
    backward.buffer(3, ownDeltas);
    backward.value(5, weightOffset);
    backward.value(7, layers[i - 1]);
    backward.value(8, layers[i]);
    backward.value(9, nextNeurons);
    backward.value(11, isOutputLayer);
    backward.value(13, targetOffset);
    isOutputLayer = 0;

    const size_t global = roundUp(layers[i], backwardGroupSize);
    checkCl(enqueueKernel(queue, backwardKernel, 1, &global, &backwardGroupSize),
            "Error running kernel propagate layer backwards.", 357);
  }
}

void NN_BP_OpenCL::applyDeltaWeights() {
  const size_t global = roundUp(numberOfWeights(), updateGroupSize);
  checkCl(enqueueKernel(queue, applyKernel, 1, &global, &updateGroupSize),
          "Error running apply_delta_weights_kernel_.", 357);
  weightsOnHostStale = true;
  if (++samplesSinceWait >= kSamplesPerWait) {
    checkCl(finishQueue(queue), kStepsWait, kStepsWaitStatus);
    samplesSinceWait = 0;
  }
}

void NN_BP_OpenCL::finishTraining() { readBackWeights(); }

void NN_BP_OpenCL::trainEpoch(const std::vector<int>& order) {
  if (!epochKernel) {
    NN_BP::trainEpoch(order);
    // One wait per epoch: the loop's time limit then measures the device's work, not how fast
    // the host can queue it.
    checkCl(finishQueue(queue), kStepsWait, kStepsWaitStatus);
    samplesSinceWait = 0;
    return;
  }
  const int useOrder = order.empty() ? 0 : 1;
  if (useOrder) {
    checkCl(enqueueWrite(queue, orderBuffer, false, 0, sizeof(cl_int) * order.size(), order.data()),
            "Error writing the sample order to buffer", 562);
  }
  const KernelBinder epoch(epochKernel, kEpochArguments, kEpochArgumentsStatus);
  epoch.value(8, useOrder);
  const int samples = numberOfTrainingSamples();
  for (int first = 0; first == 0 || first < samples; first += samplesPerEpochLaunch) {
    epoch.value(9, first);
    epoch.value(10, std::min(samplesPerEpochLaunch, samples - first));
    checkCl(enqueueKernel(queue, epochKernel, 1, &epochGroupSize, &epochGroupSize),
            "Error running kernel train_epoch.", 560);
  }
  weightsOnHostStale = true;
  // Also keeps order untouched until its write is done.
  checkCl(finishQueue(queue), "Error waiting for the training epoch", 559);
}

NN_BP_OpenCL_CPU::NN_BP_OpenCL_CPU(const std::string& configurationFileName,
                                   const std::string& trainingDataFileName,
                                   const std::string& parametersFileName)
    : NN(configurationFileName, trainingDataFileName),
      NN_BP_OpenCL(configurationFileName, trainingDataFileName, parametersFileName,
                   CL_DEVICE_TYPE_CPU) {}

NN_BP_OpenCL_GPU::NN_BP_OpenCL_GPU(const std::string& configurationFileName,
                                   const std::string& trainingDataFileName,
                                   const std::string& parametersFileName)
    : NN(configurationFileName, trainingDataFileName),
      NN_BP_OpenCL(configurationFileName, trainingDataFileName, parametersFileName,
                   CL_DEVICE_TYPE_GPU) {}
