#pragma once

#include <CL/cl.h>

#include <string>
#include <utility>
#include <vector>

#include "nn/network.h"
#include "opencl/cl_handles.h"
#include "opencl/work_split.h"

// The OpenCL world of one network object: a context on the first platform with a device of
// the requested type, that device, one in-order queue, the program built from NN_kernels.cl
// (read from the working directory, else from the installation: kernelSourceFile), and read-only
// device copies of the sample sets, the output ranges and the topology, made once at construction.
// A mix-in: the OpenCL trainers derive from their CPU trainer first (which sizes weights) and from
// NN_OpenCL second.
class NN_OpenCL : public virtual NN {
 public:
  NN_OpenCL(const std::string& configurationFileName, const std::string& trainingDataFileName,
            cl_device_type requestedType);
  ~NN_OpenCL() override;

  // The device copy of one of NN's six sample vectors, found by identity (which member it
  // is), never by content; any other vector is fatal.
  cl_mem deviceBufferFor(const std::vector<float>& samples) const;

  // "Device info" heading and the device report; with the GPU split, the split and the
  // work-group sizes of its kernels after it.
  void printInfo() override;

 protected:
  ClContext context;
  cl_device_id device = nullptr;  // not owned: device ids are not reference counted
  ClQueue queue;
  std::string kernelFile;  // the NN_kernels.cl the program was built from
  ClProgram program;
  ClKernel simulationKernel;  // set and released by the particle-swarm classes
  cl_device_type deviceType = 0;
  ClMem trainingInputsBuffer;
  ClMem validationInputsBuffer;  // only with validation samples
  ClMem testInputsBuffer;        // only with test samples
  ClMem trainingTargetsBuffer;
  ClMem validationTargetsBuffer;  // only with validation samples
  ClMem testTargetsBuffer;        // only with test samples
  ClMem particleOutputsBuffer;    // created by the particle-swarm classes
  ClMem outputRangesBuffer;
  ClMem layersBuffer;
  ClMem weightsBuffer;                   // weights.size() floats, written by the trainers
  WorkSplit workSplit = WorkSplit::Cpu;  // the split program was built with
  // GPU split only: each kernel's work-group size, chosen from the device by the trainers and
  // listed after the device report.
  std::vector<std::pair<const char*, size_t>> gpuGroupSizes;
};

// A context holding only the first device of deviceType on the first platform that has one;
// device receives that device.
cl_context createContext(cl_device_type deviceType, cl_device_id& device);
// The whole file, byte for byte.
std::string readProgramSource(const std::string& fileName);
cl_program createProgramFromSource(cl_context context, const std::string& source);
cl_program createProgram(cl_context context, const std::string& fileName);
// Builds for device alone, with the options buildOptionsFor gives it (its work split, exact
// division where it offers it); on failure prints device's build log on standard output and
// ends the process.
void buildProgram(cl_program program, cl_device_id device);
// text with every occurrence of token replaced; replacements are never rescanned.
std::string replaceAll(const std::string& text, const std::string& token,
                       const std::string& replacement);
void printDeviceInfo(cl_device_id device);
void printPlatformsInfo();
