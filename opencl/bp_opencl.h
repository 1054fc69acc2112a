#pragma once

#include <CL/cl.h>

#include <string>
#include <vector>

#include "opencl/cl_handles.h"
#include "opencl/environment.h"
#include "trainers/bp.h"

// On-line back-propagation on an OpenCL device. The training loop of NN_BP is kept; the steps
// become kernel launches (one input copy, L-1 forward, L-1 backward and one update launch per
// sample) that the in-order queue runs in order, so the host neither waits for them nor reads
// the weights back per sample: it waits once per epoch (and every kSamplesPerWait samples, which
// bounds the queue), and reads the weights only when the loop looks at them (validation checks,
// progress lines, the end of training). With the GPU split, where the network fits one
// work-group's local memory, a whole epoch is one launch of train_epoch instead, with the same
// weights as the steps. NN_BP comes first among the bases so that weights is sized before the
// OpenCL part creates its buffer.
class NN_BP_OpenCL : public NN_BP, public NN_OpenCL {
 public:
  NN_BP_OpenCL(const std::string& configurationFileName, const std::string& trainingDataFileName,
               const std::string& parametersFileName, cl_device_type requestedType);
  ~NN_BP_OpenCL() override;

  // NN block, device report, back-propagation parameters.
  void printInfo() override;
  // Also brings weights up to date first: the loop measures the network through here and then
  // keeps or checks weights.
  void simulateSample(const std::vector<float>& inputs, int index) override;
  // NN_BP's error, from one launch of simulate_neural_networks_local over the whole set and
  // one read where the batch kernel runs here (the same outputs as simulateSample's launches,
  // summed by NN_BP::computeMSE as ever); else through simulateSample sample by sample.
  double computeMSE(const std::vector<float>& inputs, const std::vector<float>& targets) override;
  void initializeWeights() override;
  void initializeDeltaWeights() override;
  void propagateForward(const std::vector<float>& inputs, int index) override;
  void propagateBackwards(const std::vector<float>& targets, int index) override;
  // Launches the update; the weights stay on the device until readBackWeights.
  void applyDeltaWeights() override;
  // Brings weights up to date: the loop keeps the last weights when no check improved.
  void finishTraining() override;

  // Samples of the per-sample path between two waits.
  static constexpr int kSamplesPerWait = 1024;
  // Samples of one train_epoch launch (a few milliseconds on a GPU): a launch that runs for
  // seconds would trip the watchdog of a GPU that also drives a display.
  static constexpr int kSamplesPerEpochLaunch = 65536;

 protected:
  // The whole epoch in one launch where train_epoch can run it, else the steps; then one wait.
  void trainEpoch(const std::vector<int>& order) override;
  // Reads the device's weights into weights when the device has changed them since.
  void readBackWeights();
  // Waits for the steps queued so far; their faults surface here.
  void waitForSteps();

  ClMem activationsBuffer;   // numberOfNeurons(): every neuron's value, input layer first
  ClMem deltasBufferA;       // maxLayerSize(): error terms, alternating with B by layer
  ClMem deltasBufferB;       // maxLayerSize()
  ClMem deltaWeightsBuffer;  // numberOfWeights(): weight changes of the current sample
  ClMem layerOutputBufferA;  // maxLayerSize(): the output layer's values after a forward pass
  ClMem layerOutputBufferB;  // maxLayerSize(): the other layer-result buffer
  ClKernel forwardKernel;    // layer_propagate_forward
  ClKernel backwardKernel;   // layer_propagate_backwards
  ClKernel applyKernel;      // apply_delta_weights
  // Work-items per group of the three kernels: 64, 64 and 256 with the CPU split; chosen from
  // the device, at most those, with the GPU split.
  size_t forwardGroupSize = 64;
  size_t backwardGroupSize = 64;
  size_t updateGroupSize = 256;
  // train_epoch and its group, with the GPU split where the weights, activations and error
  // terms fit the device's local memory (and the kernel file has it); else null.
  ClKernel epochKernel;
  size_t epochGroupSize = 0;
  int samplesPerEpochLaunch = kSamplesPerEpochLaunch;
  ClMem orderBuffer;  // numberOfTrainingSamples() ints: a shuffled epoch's order, for epochKernel
  // simulate_neural_networks_local for one network: every sample of a set in one launch, for
  // computeMSE; with train_epoch, where its group fits local memory; else null.
  ClKernel batchKernel;
  size_t batchGroupSize = 0;
  ClMem batchOutputsBuffer;           // largest sample set times outputSize() floats
  std::vector<float> batchOutputs;    // their host copy
  const float* servedRows = nullptr;  // during computeMSE: the rows simulateSample hands out
  bool weightsOnHostStale = false;    // the device has moved on since weights was last read
  int samplesSinceWait = 0;

 private:
  void createEpochKernel();
  void createBatchKernel();
};

class NN_BP_OpenCL_CPU : public NN_BP_OpenCL {
 public:
  NN_BP_OpenCL_CPU(const std::string& configurationFileName,
                   const std::string& trainingDataFileName, const std::string& parametersFileName);
};

class NN_BP_OpenCL_GPU : public NN_BP_OpenCL {
 public:
  NN_BP_OpenCL_GPU(const std::string& configurationFileName,
                   const std::string& trainingDataFileName, const std::string& parametersFileName);
};
