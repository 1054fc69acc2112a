#pragma once

// Shared by the OpenCL tests: device detection, a scratch working directory holding the kernel
// file (ombra reads NN_kernels.cl from the working directory), network files, the device
// targets that run a test against both work splits, and the one tolerance used to compare
// device results with the CPU. The experiment tests use the device probe and the scratch
// directory too.

#include <CL/cl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "opencl/work_split.h"
#include "tests/support/programs.h"
#include "tests/support/test_support.h"

namespace opencl_test {

inline bool hasDevice(cl_device_type type) {
  cl_platform_id platforms[100];
  cl_uint platformCount = 0;
  if (clGetPlatformIDs(100, platforms, &platformCount) != CL_SUCCESS) return false;
  for (cl_uint p = 0; p < std::min<cl_uint>(platformCount, 100); ++p) {
    cl_uint deviceCount = 0;
    if (clGetDeviceIDs(platforms[p], type, 0, nullptr, &deviceCount) == CL_SUCCESS &&
        deviceCount > 0) {
      return true;
    }
  }
  return false;
}

// The kernel file the tests copy: the source tree's, or the copy the build placed beside ombra
// where only the build folder was carried (test_support::builtFile).
inline std::string kernelsPath() { return test_support::builtFile(KERNELS_PATH, "NN_kernels.cl"); }

// The network configuration file: layer sizes separated by blanks.
inline std::string configuration(const std::vector<int>& layers) {
  std::string text;
  for (int size : layers) text += std::to_string(size) + " ";
  return text;
}

// A training data file with deterministic pseudo-random samples: inputs in [0, 10), targets
// 0 or 1, ranges widened like the sample builder's. The generator is its own, so the tests'
// rand() sequence (the weights) does not depend on it.
inline std::string trainingData(int inputs, int outputs, int training, int validation, int test,
                                uint32_t seed = 12345) {
  std::ostringstream text;
  text << training << " " << validation << " " << test << "\n" << inputs << " " << outputs << "\n";
  for (int j = 0; j < inputs; ++j) text << "-1.25 11.25\n";
  for (int k = 0; k < outputs; ++k) text << "-0.125 1.125\n";
  auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) / 16777216.0;
  };
  for (int s = 0; s < training + validation + test; ++s) {
    double sum = 0;
    for (int j = 0; j < inputs; ++j) {
      const double x = std::floor(next() * 1000) / 100;  // two decimals, exact in the file
      sum += x;
      text << x << "\t";
    }
    for (int k = 0; k < outputs; ++k) text << ((sum / inputs + k) > 5 ? 1 : 0) << "\t";
    text << "\n";
  }
  return text.str();
}

// Device and CPU floats agree when equal, or within absoluteMargin (near zero, where a
// relative margin means nothing), or within relativeMargin times the expected value.
inline ::testing::AssertionResult closeInSinglePrecision(float expected, float actual,
                                                         float absoluteMargin,
                                                         float relativeMargin) {
  if (expected == actual) return ::testing::AssertionSuccess();
  const float difference = std::fabs(expected - actual);
  if (difference <= absoluteMargin || difference <= relativeMargin * std::fabs(expected)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << std::setprecision(9) << "expected " << expected << ", actual " << actual
         << ", difference " << difference << " exceeds both the absolute margin " << absoluteMargin
         << " and the relative margin " << relativeMargin
         << " (= " << relativeMargin * std::fabs(expected) << ")";
}

inline ::testing::AssertionResult allCloseInSinglePrecision(const std::vector<float>& expected,
                                                            const std::vector<float>& actual,
                                                            float absoluteMargin,
                                                            float relativeMargin) {
  if (expected.size() != actual.size()) {
    return ::testing::AssertionFailure()
           << "sizes differ: " << expected.size() << " and " << actual.size();
  }
  int failures = 0;
  ::testing::AssertionResult result = ::testing::AssertionFailure();
  for (size_t i = 0; i < expected.size(); ++i) {
    auto close = closeInSinglePrecision(expected[i], actual[i], absoluteMargin, relativeMargin);
    if (!close && ++failures <= 5) result << "\n  [" << i << "] " << close.message();
  }
  if (failures == 0) return ::testing::AssertionSuccess();
  return result << "\n  " << failures << " of " << expected.size() << " values differ";
}

// Each test runs in a fresh scratch working directory that holds a copy of the kernel file,
// so that relative file names (NN_kernels.cl, network files) resolve there.
class ScratchDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = std::make_unique<test_support::ScratchWorkingDirectory>("ombra_opencl_test");
    std::filesystem::copy_file(kernelsPath(), "NN_kernels.cl");
  }
  void TearDown() override { directory_.reset(); }

  std::unique_ptr<test_support::ScratchWorkingDirectory> directory_;
};

// A scratch directory and a CPU device, or the test is skipped.
class CpuDeviceTest : public ScratchDirectoryTest {
 protected:
  void SetUp() override {
    if (!hasDevice(CL_DEVICE_TYPE_CPU)) GTEST_SKIP() << "no OpenCL device of type CPU";
    ScratchDirectoryTest::SetUp();
  }
};

// Where a device test runs: a device type, and the work split its programs are built with
// (the device's own unless forced).
struct DeviceTarget {
  const char* name;
  cl_device_type type;
  std::optional<WorkSplit> forcedSplit;
};

// The CPU device with its own split; the CPU device with the GPU split, which tests the GPU
// split where no GPU exists; a GPU device with its own split (skipped without one).
inline ::testing::internal::ParamGenerator<DeviceTarget> deviceTargets() {
  static const DeviceTarget targets[] = {{"CpuDevice", CL_DEVICE_TYPE_CPU, std::nullopt},
                                         {"CpuDeviceGpuSplit", CL_DEVICE_TYPE_CPU, WorkSplit::Gpu},
                                         {"GpuDevice", CL_DEVICE_TYPE_GPU, std::nullopt}};
  return ::testing::ValuesIn(targets);
}

inline std::string targetName(const ::testing::TestParamInfo<DeviceTarget>& info) {
  return info.param.name;
}

inline void PrintTo(const DeviceTarget& target, std::ostream* out) { *out << target.name; }

// A scratch directory and a device of the target's type, programs built with the target's
// split, or the test is skipped. Instantiate with deviceTargets() and targetName.
class DeviceTargetTest : public ScratchDirectoryTest,
                         public ::testing::WithParamInterface<DeviceTarget> {
 protected:
  void SetUp() override {
    if (!hasDevice(deviceType())) GTEST_SKIP() << "no OpenCL device for " << GetParam().name;
    forceWorkSplit(GetParam().forcedSplit);
    ScratchDirectoryTest::SetUp();
  }
  void TearDown() override {
    forceWorkSplit(std::nullopt);
    ScratchDirectoryTest::TearDown();
  }
  cl_device_type deviceType() const { return GetParam().type; }
  bool gpuSplit() const {
    return GetParam().forcedSplit.value_or(deviceType() == CL_DEVICE_TYPE_GPU
                                               ? WorkSplit::Gpu
                                               : WorkSplit::Cpu) == WorkSplit::Gpu;
  }
};

}  // namespace opencl_test
