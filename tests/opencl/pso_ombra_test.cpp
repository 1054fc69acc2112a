// The OpenCL particle-swarm types through the real ombra program, run in a scratch working
// directory that holds a copy of NN_kernels.cl (ombra reads it from there).
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "opencl/private_memory.h"
#include "opencl_test_support.h"

namespace {

using opencl_test::configuration;
using opencl_test::hasDevice;
using opencl_test::trainingData;
using test_support::ProgramRun;
using test_support::readFile;
using test_support::runOmbra;
using test_support::runProgram;
using test_support::shellQuoted;
using test_support::writeFile;

// Everything the program printed after the last "Input:" prompt that was answered.
std::string answers(const std::string& out) {
  const auto first = out.find("Input:Output: ");
  return first == std::string::npos ? std::string() : out.substr(first);
}

class PsoOmbraTest : public opencl_test::ScratchDirectoryTest {
 protected:
  virtual cl_device_type deviceType() const { return CL_DEVICE_TYPE_CPU; }
  void SetUp() override {
    if (!hasDevice(deviceType())) GTEST_SKIP() << "no OpenCL device of the type";
    ScratchDirectoryTest::SetUp();
    writeFile("net.cfg", configuration({3, 6, 1}));
    writeFile("train.dat", trainingData(3, 1, 70, 20, 20));
    writeFile("pso.txt", "Population size: 16\nIterations: 100\nStrip length: 5\nTime: 0\n");
  }

  // Trains with the type, saves, reloads, and expects the reloaded network to answer the
  // same queries with the same outputs; returns what the training run printed.
  std::string expectTrainsSavesAndReloads(const std::string& type, const std::string& memoryLine) {
    const std::string queries = "1 2 3\n9.5 0 4.25\n";
    const ProgramRun trained = runOmbra(type + " net.cfg train.dat pso.txt net.bin", queries);
    EXPECT_EQ(trained.status, 0) << trained.err;
    EXPECT_EQ(trained.err, "");
    const size_t group = trained.out.find("\nWork-group size: ");
    EXPECT_LT(group, trained.out.find("\n" + memoryLine + "\nDevice info\n")) << trained.out;
    EXPECT_NE(trained.out.find("training mse[100]= "), std::string::npos) << trained.out;
    EXPECT_NE(trained.out.find("Network trained\nTest set MSE= "), std::string::npos);

    const ProgramRun reloaded = runOmbra("net.bin", queries);
    EXPECT_EQ(reloaded.status, 0) << reloaded.err;
    EXPECT_NE(answers(trained.out), "");
    EXPECT_EQ(answers(reloaded.out), answers(trained.out));
    return trained.out;
  }
};

// The CPU types build the CPU split: the report is as it always was.
TEST_F(PsoOmbraTest, PrivateCpuTrainsSavesAndReloads) {
  const std::string out = expectTrainsSavesAndReloads("PSO_private_CPU", "Using private memory.");
  EXPECT_NE(out.find("Work-group size: 64\nUsing private memory.\n"), std::string::npos);
  EXPECT_EQ(out.find("Work split"), std::string::npos);
}

TEST_F(PsoOmbraTest, LocalCpuTrainsSavesAndReloads) {
  const std::string out = expectTrainsSavesAndReloads("PSO_local_CPU", "Using local memory.");
  EXPECT_NE(out.find("Work-group size: 64\nUsing local memory.\n"), std::string::npos);
  EXPECT_EQ(out.find("Work split"), std::string::npos);
}

// The GPU types where a GPU exists: the GPU split, its group sizes listed after the device
// report.
class PsoOmbraGpuTest : public PsoOmbraTest {
 protected:
  cl_device_type deviceType() const override { return CL_DEVICE_TYPE_GPU; }
};

TEST_F(PsoOmbraGpuTest, PrivateGpuTrainsSavesAndReloads) {
  const std::string out = expectTrainsSavesAndReloads("PSO_private_GPU", "Using private memory.");
  EXPECT_NE(out.find("\nWork split: GPU\nWork-group size of simulate_neural_networks_private: "),
            std::string::npos);
}

TEST_F(PsoOmbraGpuTest, LocalGpuTrainsSavesAndReloads) {
  const std::string out = expectTrainsSavesAndReloads("PSO_local_GPU", "Using local memory.");
  EXPECT_NE(out.find("\nWork split: GPU\nWork-group size of simulate_neural_networks_local: "),
            std::string::npos);
}

// Weights that do not fit into the device's local memory are refused before training.
TEST_F(PsoOmbraTest, LocalVariantRefusesWeightsBeyondLocalMemory) {
  cl_platform_id platform;
  cl_device_id device;
  cl_ulong localBytes = 0;
  ASSERT_EQ(clGetPlatformIDs(1, &platform, nullptr), CL_SUCCESS);
  ASSERT_EQ(clGetDeviceIDs(platform, CL_DEVICE_TYPE_CPU, 1, &device, nullptr), CL_SUCCESS);
  ASSERT_EQ(
      clGetDeviceInfo(device, CL_DEVICE_LOCAL_MEM_SIZE, sizeof localBytes, &localBytes, nullptr),
      CL_SUCCESS);
  // One hidden layer as wide as the inputs, with more weights than local memory has floats.
  int width = 8;
  while (static_cast<cl_ulong>(width + 1) * width * 4 <= localBytes) width *= 2;
  const int weights = (width + 1) * width + (width + 1);
  writeFile("net.cfg", configuration({width, width, 1}));
  writeFile("train.dat", trainingData(width, 1, 3, 1, 1));
  writeFile("pso.txt", "Population size: 1\nIterations: 1\n");

  const ProgramRun run = runOmbra("PSO_local_CPU net.cfg train.dat pso.txt");
  EXPECT_EQ(run.status, 846 & 255);
  EXPECT_EQ(run.err, "Network too large for local memory: " + std::to_string(weights) +
                         " weights (" + std::to_string(4 * weights) + " bytes) and " +
                         std::to_string(8 * width) +
                         " bytes of layer values per work-item do not fit into the device's " +
                         std::to_string(localBytes) + " bytes of local memory\n");
  EXPECT_EQ(run.out.find("Training..."), std::string::npos);
}

// Every work-item of a group keeps its private arrays on the stack of the device's worker
// thread: the group shrinks to fit, and a network whose arrays do not fit one work-item is
// refused before any launch. Run with a 1 MiB stack limit, so that the largest network that
// still trains stays small: largest layer (1 MiB - 64 KiB) / bytes per layer value.
TEST_F(PsoOmbraTest, PrivateVariantFitsItsGroupsIntoTheThreadStack) {
  const size_t perValue = privateBytesPerLayerValue(readFile("NN_kernels.cl"));
  ASSERT_GT(perValue, 0u);
  const int largest = static_cast<int>((1024 * 1024 - 64 * 1024) / perValue);
  writeFile("train.dat", trainingData(3, 1, 40, 10, 10));
  writeFile("pso.txt", "Population size: 2\nIterations: 2\n");
  for (int hidden : {largest, largest + 1}) {
    SCOPED_TRACE(hidden);
    writeFile("net.cfg", configuration({3, hidden, 1}));
    const ProgramRun run =
        runProgram("ulimit -s 1024 && " + shellQuoted(test_support::ombraPath()) +
                   " PSO_private_CPU net.cfg train.dat pso.txt");
    if (hidden == largest) {
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_NE(run.out.find("Work-group size: 1\nUsing private memory."), std::string::npos)
          << run.out;
      EXPECT_NE(run.out.find("Network trained"), std::string::npos);
    } else {
      const size_t needs = perValue * hidden;
      EXPECT_EQ(run.status, 847 & 255);
      EXPECT_EQ(run.err, "Network too large for private memory: a work-item needs " +
                             std::to_string(needs) + " bytes for the values of a " +
                             std::to_string(hidden) +
                             "-neuron layer, more than the 983040 bytes a work-group may take "
                             "on the device (the thread stack, ulimit -s, less 64 KiB)\n");
      EXPECT_EQ(run.out.find("Training..."), std::string::npos);
    }
  }
}

TEST_F(PsoOmbraTest, GpuTypeWithoutGpuEndsWithNoDevices) {
  if (hasDevice(CL_DEVICE_TYPE_GPU)) GTEST_SKIP() << "this machine has an OpenCL GPU";
  for (const char* type : {"PSO_private_GPU", "PSO_local_GPU"}) {
    const ProgramRun run = runOmbra(std::string(type) + " net.cfg train.dat pso.txt");
    EXPECT_EQ(run.status, 973 & 255) << type;
    EXPECT_EQ(run.err.rfind("No devices of the type found: no OpenCL platform of ", 0), 0u) << type;
    EXPECT_NE(run.err.find("has a GPU device (BP and PSO train without OpenCL; the _CPU types use "
                           "a CPU device)\n"),
              std::string::npos)
        << run.err;
  }
}

}  // namespace
