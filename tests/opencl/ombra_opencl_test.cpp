// The OpenCL back-propagation types through the real ombra program, run in a scratch working
// directory (ombra reads NN_kernels.cl from there).
#include <algorithm>
#include <filesystem>

#include "opencl_test_support.h"

namespace {

using opencl_test::configuration;
using opencl_test::hasDevice;
using opencl_test::trainingData;
using test_support::ProgramRun;
using test_support::readFile;
using test_support::runOmbra;
using test_support::writeFile;

class OmbraOpenCLTest : public opencl_test::ScratchDirectoryTest {
 protected:
  virtual cl_device_type deviceType() const { return CL_DEVICE_TYPE_CPU; }
  void SetUp() override {
    if (!hasDevice(deviceType())) GTEST_SKIP() << "no OpenCL device of the type";
    ScratchDirectoryTest::SetUp();
    writeFile("net.cfg", configuration({3, 6, 1}));
    writeFile("train.dat", trainingData(3, 1, 40, 10, 10));
    writeFile("bp.txt", "Iterations: 20\nStrip length: 1\nTime: 0\nLearning rate: 0.1\n");
  }

  // Train, save, reload: the reloaded network answers the queries exactly as the trained one.
  // Returns what the training run printed.
  std::string expectTrainsSavesAndReloads(const std::string& type) {
    const std::string queries = "1 2 3\n9.5 0 4.25\n";
    const ProgramRun trained = runOmbra(type + " net.cfg train.dat bp.txt net.bin", queries);
    EXPECT_NE(trained.out.find("Network trained\n"), std::string::npos) << trained.err;
    EXPECT_EQ(trained.err, "");  // nothing from the runtime either (a simulator's race reports)

    // Information block: network, then device, then the parameters.
    const size_t network = trained.out.find("Neural network info\n");
    const size_t device = trained.out.find("Device info\n--------------------\nDevice name: ");
    const size_t parameters = trained.out.find("Learn rate: 0.1\n");
    // The kernel file the program was built from, by its full path.
    EXPECT_NE(trained.out.find(
                  "\nKernel file: " + std::filesystem::canonical("NN_kernels.cl").string() + "\n"),
              std::string::npos)
        << trained.out;
    const size_t training = trained.out.find("Training...\n");
    EXPECT_LT(network, device);
    EXPECT_LT(device, parameters);
    EXPECT_LT(parameters, training);
    EXPECT_NE(parameters, std::string::npos);
    EXPECT_NE(training, std::string::npos);
    EXPECT_NE(trained.out.find("Test set MSE= "), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists("net.bin"));

    const ProgramRun reloaded = runOmbra("net.bin", queries);
    auto answers = [](const std::string& out) {
      const size_t prompt = out.find("Input:");
      return prompt == std::string::npos ? std::string() : out.substr(prompt);
    };
    EXPECT_NE(trained.out.find("Output: "), std::string::npos);
    EXPECT_EQ(answers(reloaded.out), answers(trained.out));
    return trained.out;
  }
};

// BP_GPU where a GPU exists: the GPU split, its group sizes listed after the device report.
class OmbraOpenCLGpuTest : public OmbraOpenCLTest {
 protected:
  cl_device_type deviceType() const override { return CL_DEVICE_TYPE_GPU; }
};

TEST_F(OmbraOpenCLTest, MissingKernelFileStopsBeforeTraining) {
  std::filesystem::remove("NN_kernels.cl");
  const ProgramRun run = runOmbra("BP_CPU net.cfg train.dat bp.txt");
  EXPECT_EQ(run.status, 356 & 255);
  EXPECT_EQ(run.err,
            "Error opening program file. NN_kernels.cl: no such file or directory (the OpenCL "
            "types read it from the working directory, or from PREFIX/share/ombra/ beside an "
            "installed PREFIX/bin/ombra)\n");
  EXPECT_EQ(run.out.find("Training..."), std::string::npos);
}

TEST_F(OmbraOpenCLTest, KernelFileWithASyntaxErrorPrintsTheBuildLog) {
  writeFile("NN_kernels.cl", readFile(opencl_test::kernelsPath()) + "\n__kernel void broken( {\n");
  const ProgramRun run = runOmbra("BP_CPU net.cfg train.dat bp.txt");
  EXPECT_EQ(run.status, 527 & 255);
  // The OpenCL compiler may add its own diagnostics on standard error before the message.
  const std::string buildError = "Build error: the compiler's log is above, on standard output\n";
  ASSERT_GE(run.err.size(), buildError.size());
  EXPECT_EQ(run.err.substr(run.err.size() - buildError.size()), buildError) << run.err;
  EXPECT_NE(run.out.find("error"), std::string::npos) << "no build log in:\n" << run.out;
}

// cmake --install into a fresh prefix: every program in PREFIX/bin answers --version, and the
// installed ombra trains an OpenCL type from a folder without NN_kernels.cl, reading the
// installed one; a kernel file in the working directory still comes first.
TEST_F(OmbraOpenCLTest, InstalledProgramsRunFromAnyFolder) {
  const test_support::ScratchFolder prefix("ombra_install");
  const ProgramRun install =
      test_support::runProgram(test_support::shellQuoted(CMAKE_COMMAND) + " --install " +
                               test_support::shellQuoted(BUILD_DIR) + " --prefix " +
                               test_support::shellQuoted(prefix.path()));
  ASSERT_EQ(install.status, 0) << install.out << install.err;
  EXPECT_EQ(readFile(prefix.file("share/ombra/NN_kernels.cl")),
            readFile(opencl_test::kernelsPath()));
  for (const char* program : {"ombra", "tallis", "swfgen", "ombra-timings", "ombra-evaluate"}) {
    const ProgramRun version = test_support::runProgram(
        test_support::shellQuoted(prefix.file("bin/") + program) + " --version");
    EXPECT_EQ(version.status, 0) << program;
    EXPECT_EQ(version.out, std::string(program) + " " + PROJECT_VERSION + "\n");
  }

  std::filesystem::remove("NN_kernels.cl");
  const std::string ombra = test_support::shellQuoted(prefix.file("bin/ombra"));
  const ProgramRun trained = test_support::runProgram(ombra + " BP_CPU net.cfg train.dat bp.txt");
  EXPECT_EQ(trained.status, 0) << trained.err;
  EXPECT_NE(trained.out.find("Network trained\n"), std::string::npos) << trained.err;

  writeFile("NN_kernels.cl", "__kernel void broken( {\n");
  const ProgramRun local = test_support::runProgram(ombra + " BP_CPU net.cfg train.dat bp.txt");
  EXPECT_EQ(local.status, 527 & 255) << local.err;

  // A folder of that name is no kernel file: the installed one is built, and named.
  std::filesystem::remove("NN_kernels.cl");
  std::filesystem::create_directory("NN_kernels.cl");
  const ProgramRun folder = test_support::runProgram(ombra + " BP_CPU net.cfg train.dat bp.txt");
  EXPECT_EQ(folder.status, 0) << folder.err;
  EXPECT_NE(
      folder.out.find(
          "\nKernel file: " +
          std::filesystem::canonical(prefix.file("share/ombra/NN_kernels.cl")).string() + "\n"),
      std::string::npos)
      << folder.out;
}

TEST_F(OmbraOpenCLTest, GpuTypeWithoutAGpu) {
  if (hasDevice(CL_DEVICE_TYPE_GPU)) GTEST_SKIP() << "this machine has an OpenCL GPU";
  const ProgramRun run = runOmbra("BP_GPU net.cfg train.dat bp.txt");
  EXPECT_EQ(run.status, 973 & 255);
  EXPECT_EQ(run.err.rfind("No devices of the type found: no OpenCL platform of ", 0), 0u);
  const std::string tail =
      "has a GPU device (BP and PSO train without OpenCL; the _CPU types use a CPU device)\n";
  EXPECT_EQ(run.err.substr(run.err.size() - std::min(run.err.size(), tail.size())), tail);
}

TEST_F(OmbraOpenCLTest, TrainsSavesAndReloads) {
  const std::string out = expectTrainsSavesAndReloads("BP_CPU");
  EXPECT_EQ(out.find("Work split"), std::string::npos);  // the CPU split's report is unchanged
}

TEST_F(OmbraOpenCLGpuTest, TrainsSavesAndReloads) {
  const std::string out = expectTrainsSavesAndReloads("BP_GPU");
  EXPECT_NE(out.find("\nWork split: GPU\nWork-group size of layer_propagate_forward: "),
            std::string::npos)
      << out;
}

}  // namespace
