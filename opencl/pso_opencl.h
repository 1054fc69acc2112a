#pragma once

#include <CL/cl.h>

#include <string>
#include <vector>

#include "opencl/cl_handles.h"
#include "opencl/environment.h"
#include "trainers/pso.h"

// Particle-swarm optimisation with the two evaluation steps on an OpenCL device. The loop and
// the swarm of NN_PSO are kept; simNNs runs every particle on every sample in one launch and
// leaves the outputs on the device (particleOutputsBuffer), mses reduces them to one error
// per particle in a second launch and reads back only those P floats. NN_PSO comes first
// among the bases so that weights (P * D floats) is sized before the OpenCL part creates its
// buffer. The two variants differ in their simulation kernel; the leaves pick the device type.
class NN_PSO_OpenCL : public NN_PSO, public NN_OpenCL {
 public:
  NN_PSO_OpenCL(const std::string& configurationFileName, const std::string& trainingDataFileName,
                const std::string& parametersFileName, cl_device_type requestedType);
  ~NN_PSO_OpenCL() override;

  // NN_PSO block, then the device report; the variants add their own lines between the two.
  void printInfo() override;
  // Writes every particle's weights to the device and simulates them on the set inputs
  // belongs to; the host outputs member is left untouched. Returns without waiting: weights
  // must not change before the next mses has returned.
  void simNNs(const std::vector<float>& inputs) override;
  // One mean squared error per particle against targets; follows a simNNs of the matching
  // input set.
  std::vector<float> mses(const std::vector<float>& targets) override;
  // The largest work-group the variant's simulation kernel may use on device.
  virtual int maxWorkGroupSize() = 0;

 protected:
  // simNNs returns while the device evaluates; the loop draws the next move meanwhile.
  bool evaluatesInBackground() const override { return true; }
  // Binds the simulation kernel's arguments that both variants fix at construction: 1 the
  // weights, 2 the outputs, 3 the layer count, 4 the layers, 5 the output ranges, 6 the
  // population and 8 the weights per network.
  void bindSimulationArguments();
  // The variants' printInfo: NN_PSO block, work-group size, memoryLine, device report.
  void printVariantInfo(const char* memoryLine);
  // groupSize = min(maxWorkGroupSize(), limit); with the GPU split rounded down to a multiple
  // of the simulation kernel's preferred work-group size multiple where one fits, and listed
  // with the MSE kernel's group in the device report under kernelName.
  void chooseGroupSize(const char* kernelName, int limit = 64);

  // Work-items per group of mean_squared_errors, one group per particle: 64 with the CPU
  // split, chosen from the device (at most 64) with the GPU split.
  int mseGroupSize = 64;
  int groupSize = 0;   // G: samples per work-group of the simulation launch, 1 ... 64
  ClKernel mseKernel;  // mean_squared_errors
  ClMem msesBuffer;    // populationSize floats: one error per particle
};

// Simulation kernel with the layer values in private arrays; their length is written into
// the kernel source (every "[PRIVATE_MEM_SIZE]" becomes "[maxLayerSize()]") before a second
// build.
class NN_PSO_OpenCL_private : public NN_PSO_OpenCL {
 public:
  NN_PSO_OpenCL_private(const std::string& configurationFileName,
                        const std::string& trainingDataFileName,
                        const std::string& parametersFileName, cl_device_type requestedType);
  ~NN_PSO_OpenCL_private() override;

  // NN_PSO block, work-group size, "Using private memory.", device report.
  void printInfo() override;
  // CL_KERNEL_WORK_GROUP_SIZE of the simulation kernel on device.
  int maxWorkGroupSize() override;
};

// Simulation kernel with the particle's weights and the group's layer values in local memory.
class NN_PSO_OpenCL_local : public NN_PSO_OpenCL {
 public:
  NN_PSO_OpenCL_local(const std::string& configurationFileName,
                      const std::string& trainingDataFileName,
                      const std::string& parametersFileName, cl_device_type requestedType);
  ~NN_PSO_OpenCL_local() override;

  // NN_PSO block, work-group size, "Using local memory.", device report.
  void printInfo() override;
  // The kernel's work-group limit, lowered so that the weights, two layer arrays per
  // work-item and a margin fit into the device's local memory (localMemoryFit).
  int maxWorkGroupSize() override;

 private:
  // CL_KERNEL_LOCAL_MEM_SIZE of the simulation kernel before any local argument was bound:
  // the kernel's own local memory. Once the weights are bound, implementations count them in
  // that figure too, and localMemoryFit would subtract them twice.
  cl_ulong kernelLocalBytes = 0;
};

// Work-items per group whose local memory fits beside the weights:
//   (deviceLocal - 256 - kernelLocal - 4 * numberOfWeights) / (8 * maxLayerSize)
// in signed 32-bit arithmetic on the low 32 bits of the two sizes, truncating toward zero,
// as the device reports sizes. Below 1 when the weights alone do not fit.
int localMemoryFit(cl_ulong deviceLocal, cl_ulong kernelLocal, int numberOfWeights,
                   int maxLayerSize);

class NN_PSO_OpenCL_CPU_private : public NN_PSO_OpenCL_private {
 public:
  NN_PSO_OpenCL_CPU_private(const std::string& configurationFileName,
                            const std::string& trainingDataFileName,
                            const std::string& parametersFileName);
};

class NN_PSO_OpenCL_GPU_private : public NN_PSO_OpenCL_private {
 public:
  NN_PSO_OpenCL_GPU_private(const std::string& configurationFileName,
                            const std::string& trainingDataFileName,
                            const std::string& parametersFileName);
};

class NN_PSO_OpenCL_CPU_local : public NN_PSO_OpenCL_local {
 public:
  NN_PSO_OpenCL_CPU_local(const std::string& configurationFileName,
                          const std::string& trainingDataFileName,
                          const std::string& parametersFileName);
};

class NN_PSO_OpenCL_GPU_local : public NN_PSO_OpenCL_local {
 public:
  NN_PSO_OpenCL_GPU_local(const std::string& configurationFileName,
                          const std::string& trainingDataFileName,
                          const std::string& parametersFileName);
};
