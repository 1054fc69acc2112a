#pragma once

#include <CL/cl.h>

#include <string>
#include <vector>

#include "opencl/cl_handles.h"
#include "opencl/environment.h"
#include "trainers/bp.h"

// On-line back-propagation with every per-sample step on an OpenCL device. The training loop
// of NN_BP is kept; the steps become kernel launches (L-1 forward, L-1 backward, one update)
// around one input copy and one blocking read of the weights per sample. NN_BP comes first
// among the bases so that weights is sized before the OpenCL part creates its buffer.
class NN_BP_OpenCL : public NN_BP, public NN_OpenCL {
 public:
  NN_BP_OpenCL(const std::string& configurationFileName, const std::string& trainingDataFileName,
               const std::string& parametersFileName, cl_device_type deviceType);
  ~NN_BP_OpenCL() override;

  // NN block, device report, back-propagation parameters.
  void printInfo() override;
  void simulateSample(const std::vector<float>& inputs, int index) override;
  void initializeWeights() override;
  void initializeDeltaWeights() override;
  void propagateForward(const std::vector<float>& inputs, int index) override;
  void propagateBackwards(const std::vector<float>& targets, int index) override;
  void applyDeltaWeights() override;

 protected:
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
