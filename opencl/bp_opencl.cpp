#include "opencl/bp_opencl.h"

#include <algorithm>
#include <iostream>

#include "common/fatal.h"
#include "common/ombra_status.h"
#include "opencl/cl_check.h"
#include "opencl/queue_calls.h"
#include "trainers/parameters.h"

NN_BP_OpenCL::NN_BP_OpenCL(const std::string& configurationFileName,
                           const std::string& trainingDataFileName,
                           const std::string& parametersFileName, cl_device_type requestedType)
    : NN(configurationFileName, trainingDataFileName),
      NN_BP(configurationFileName, trainingDataFileName, parametersFileName),
      NN_OpenCL(configurationFileName, trainingDataFileName, requestedType) {
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
  for (cl_int status : statuses)
    checkCl(status, "Error creating buffers", ombra_status::kBpBuffers);

  cl_int status = CL_SUCCESS;
  forwardKernel.reset(clCreateKernel(program, "layer_propagate_forward", &status));
  checkCl(status, "Error creating layer_propagate_forward kernel", ombra_status::kForwardKernel);
  const KernelBinder forward(forwardKernel,
                             "Error setting kernel arguments for propagate layer forward kernel",
                             ombra_status::kBpKernelArguments);
  forward.buffer(2, weightsBuffer);
  forward.buffer(5, activationsBuffer);
  forward.buffer(10, outputRangesBuffer);

  backwardKernel.reset(clCreateKernel(program, "layer_propagate_backwards", &status));
  checkCl(status, "Error creating layer_propagate_backwards kernel", ombra_status::kBackwardKernel);
  const KernelBinder backward(backwardKernel,
                              "Error setting kernel arguments for propagate layer backwards kernel",
                              ombra_status::kBpKernelArguments);
  backward.buffer(0, activationsBuffer);
  backward.buffer(4, weightsBuffer);
  backward.buffer(6, deltaWeightsBuffer);
  backward.value(10, parameters.learningRate);
  backward.buffer(12, trainingTargetsBuffer);
  backward.buffer(14, outputRangesBuffer);

  applyKernel.reset(clCreateKernel(program, "apply_delta_weights", &status));
  checkCl(status, "Error creating apply_delta_weights kernel", ombra_status::kApplyKernel);
  const KernelBinder apply(applyKernel,
                           "Error setting kernel arguments for apply_delta_weights kernel",
                           ombra_status::kBpKernelArguments);
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
      "Error reading back weights", ombra_status::kReadWeights);
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
      "Error reading back weights", ombra_status::kReadWeights);
}

void NN_BP_OpenCL::initializeWeights() {
  NN_BP::initializeWeights();
  // Blocking: the queue may still hold steps, and weights must stay as written until the write.
  checkCl(
      enqueueWrite(queue, weightsBuffer, true, 0, sizeof(float) * weights.size(), weights.data()),
      "Error writing weights to buffer", ombra_status::kWriteWeights);
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
          "Error writing delta weights to buffer", ombra_status::kCopyInput);

  // Layer i writes A when L - i is odd, so the output layer (L - i = 1) always ends in A and
  // each layer reads what the one below wrote.
  const int L = numberOfLayers();
  int activationOffset = inputCount;
  int weightOffset = 0;
  const KernelBinder forward(
      forwardKernel,
      "Error setting kernel arguments for propagate layer forward kernel in propagate forward.",
      ombra_status::kForwardArguments);
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
            "Error running kernel propagate layer forward.", ombra_status::kRunBpKernel);

    activationOffset += layers[i];
    weightOffset += (layers[i - 1] + 1) * layers[i];
  }
}

void NN_BP_OpenCL::propagateBackwards(const std::vector<float>& targets, int index) {
  // The kernels read trainingTargetsBuffer whatever is passed: only trainingTargets itself (or
  // a vector equal to it) makes sense. Identity is checked first so that the loop's own calls
  // cost nothing per sample.
  if (&targets != &trainingTargets && targets != trainingTargets) {
    fatal("propagateBackwards argument must be training_targets", ombra_status::kFailure);
  }

  const int L = numberOfLayers();
  const int targetOffset = index * outputSize();
  int activationOffset = numberOfNeurons();
  int weightOffset = numberOfWeights();
  int isOutputLayer = 1;
  const KernelBinder backward(
      backwardKernel,
      "Error setting kernel arguments for propagate layer backwards kernel in propagate forward.",
      ombra_status::kBackwardArguments);
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
            "Error running kernel propagate layer backwards.", ombra_status::kRunBpKernel);
  }
}

void NN_BP_OpenCL::applyDeltaWeights() {
  const size_t global = roundUp(numberOfWeights(), updateGroupSize);
  checkCl(enqueueKernel(queue, applyKernel, 1, &global, &updateGroupSize),
          "Error running apply_delta_weights_kernel_.", ombra_status::kRunBpKernel);
  weightsOnHostStale = true;
  if (++samplesSinceWait >= kSamplesPerWait) waitForSteps();
}

void NN_BP_OpenCL::waitForSteps() {
  checkCl(finishQueue(queue), "Error waiting for the back-propagation steps",
          ombra_status::kWaitSteps);
  samplesSinceWait = 0;
}

void NN_BP_OpenCL::finishTraining() { readBackWeights(); }

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
