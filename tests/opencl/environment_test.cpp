// The OpenCL environment's free functions: program text, token replacement, build, context
// selection and the device report.
#include "opencl/environment.h"

#include <sys/stat.h>

#include <cstdlib>
#include <sstream>

#include "opencl/cl_check.h"
#include "opencl/cl_status.h"
#include "opencl_test_support.h"
#include "tests/support/test_support.h"

namespace {

using opencl_test::hasDevice;
using test_support::readFile;
using test_support::writeFile;

TEST(ReplaceAllTest, ReplacesEveryOccurrenceWithoutRescanning) {
  // The replacement holds the token: only the two occurrences that were there are replaced.
  EXPECT_EQ(replaceAll("a[T]b[T]c", "[T]", "<[T]>"), "a<[T]>b<[T]>c");
  EXPECT_EQ(replaceAll("float v[PRIVATE_MEM_SIZE]; float w[PRIVATE_MEM_SIZE];",
                       "[PRIVATE_MEM_SIZE]", "[12]"),
            "float v[12]; float w[12];");
}

TEST(ReplaceAllTest, EdgesOfTheText) {
  EXPECT_EQ(replaceAll("no token here", "[T]", "x"), "no token here");
  EXPECT_EQ(replaceAll("", "[T]", "x"), "");
  EXPECT_EQ(replaceAll("[T]", "[T]", ""), "");
  EXPECT_EQ(replaceAll("[T][T]", "[T]", "x"), "xx");
  EXPECT_EQ(replaceAll("aaa", "aa", "b"), "ba");  // occurrences never overlap
  EXPECT_EQ(replaceAll("abc", "", "x"), "abc");   // an empty token replaces nothing
}

class ProgramTextTest : public opencl_test::ScratchDirectoryTest {};

TEST_F(ProgramTextTest, ReadsTheFileByteForByte) {
  const std::string text = std::string("line one\r\nline two\n\0after a NUL", 31) + "\n";
  writeFile("kernels.cl", text);
  EXPECT_EQ(readProgramSource("kernels.cl"), text);
  EXPECT_EQ(readProgramSource("NN_kernels.cl"), readFile(opencl_test::kernelsPath()));
}

// Only a regular file is read: a folder, a FIFO (which would wait for a writer forever) and
// /dev/zero (which never ends) are refused at once, with what they are.
TEST_F(ProgramTextTest, MissingOrNonRegularFileIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::filesystem::create_directory("folder.cl");
  ASSERT_EQ(mkfifo("fifo.cl", 0600), 0);
  const struct {
    const char* name;
    const char* message;
  } cases[] = {
      {"no_such_file.cl",
       "^Error opening program file. no_such_file.cl: no such file or directory \\(the OpenCL "
       "types read it from the working directory, or from PREFIX/share/ombra/ beside an "
       "installed PREFIX/bin/ombra\\)\n$"},
      {"folder.cl",
       "^Error opening program file. folder.cl: a directory, not a kernel source file\n$"},
      {"fifo.cl", "^Error opening program file. fifo.cl: not a regular file\n$"},
      {"/dev/zero", "^Error opening program file. /dev/zero: not a regular file\n$"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EXIT(readProgramSource(c.name), ::testing::ExitedWithCode(356 & 255), c.message);
  }
}

class OpenCLDeviceTest : public opencl_test::CpuDeviceTest {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CpuDeviceTest::SetUp();
  }
};

TEST_F(OpenCLDeviceTest, ContextHoldsTheFirstDeviceOfTheType) {
  cl_device_id device = nullptr;
  ClContext context(createContext(CL_DEVICE_TYPE_CPU, device));
  ASSERT_NE(context.get(), nullptr);
  ASSERT_NE(device, nullptr);
  cl_device_type type = 0;
  clGetDeviceInfo(device, CL_DEVICE_TYPE, sizeof type, &type, nullptr);
  EXPECT_TRUE(type & CL_DEVICE_TYPE_CPU);
}

// PoCL shows two CPU devices when asked to: the context holds the chosen one alone, so that a
// program is built once, not once per device of the platform. The child process starts the
// runtime afresh with the setting.
TEST_F(OpenCLDeviceTest, ContextHoldsOnlyTheChosenDevice) {
  setenv("POCL_DEVICES", "pthread pthread", 1);
  EXPECT_EXIT(
      {
        cl_device_id device = nullptr;
        ClContext context(createContext(CL_DEVICE_TYPE_CPU, device));
        cl_uint devices = 0;
        clGetContextInfo(context, CL_CONTEXT_NUM_DEVICES, sizeof devices, &devices, nullptr);
        std::exit(static_cast<int>(devices));
      },
      ::testing::ExitedWithCode(1), "");
  unsetenv("POCL_DEVICES");
}

// A failed call names the status it failed with, after its message; the environment's own
// messages stay whole lines. No device needed.
TEST(ClStatusTest, FailuresNameTheirStatusWhereTheMessageMayGrow) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const struct {
    cl_int status;
    const char* described;
  } cases[] = {
      {CL_OUT_OF_RESOURCES, "CL_OUT_OF_RESOURCES"},
      {CL_INVALID_WORK_GROUP_SIZE, "CL_INVALID_WORK_GROUP_SIZE"},
      {CL_INVALID_DEVICE_PARTITION_COUNT, "CL_INVALID_DEVICE_PARTITION_COUNT"},
      {-1001, "OpenCL status -1001"},  // the loader's own "no platform": no name in the headers
      {-20, "OpenCL status -20"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.described);
    EXPECT_EQ(describeClStatus(c.status), c.described);
    EXPECT_EXIT(checkCl(c.status, "Error running mse kernel", 466),
                ::testing::ExitedWithCode(466 & 255),
                std::string("^Error running mse kernel \\(") + c.described + "\\)\n$");
  }
  EXPECT_EXIT(checkClWithoutStatus(CL_OUT_OF_HOST_MEMORY, "Error creating queue", 553),
              ::testing::ExitedWithCode(553 & 255), "^Error creating queue\n$");
  checkCl(CL_SUCCESS, "Error running mse kernel", 466);
}

TEST_F(OpenCLDeviceTest, NoDeviceOfTheTypeIsFatal) {
  if (hasDevice(CL_DEVICE_TYPE_ACCELERATOR)) GTEST_SKIP() << "an accelerator device exists";
  cl_device_id device = nullptr;
  EXPECT_EXIT(createContext(CL_DEVICE_TYPE_ACCELERATOR, device),
              ::testing::ExitedWithCode(973 & 255),
              "^No devices of the type found: no OpenCL platform of [0-9]+ has an accelerator "
              "device \\(BP and PSO train without OpenCL\\)\n$");
}

class KernelFileTest : public opencl_test::DeviceTargetTest {};

INSTANTIATE_TEST_SUITE_P(Targets, KernelFileTest, opencl_test::deviceTargets(),
                         opencl_test::targetName);

// Both builds of the file hold every kernel, in the split the target's device gets.
TEST_P(KernelFileTest, BuildsAsReadAndWithTheTokenReplaced) {
  cl_device_id device = nullptr;
  ClContext context(createContext(deviceType(), device));
  EXPECT_EQ(workSplitFor(device) == WorkSplit::Gpu, gpuSplit());
  ClProgram asRead(createProgram(context, "NN_kernels.cl"));
  buildProgram(asRead, device);
  const std::string source = readProgramSource("NN_kernels.cl");
  ClProgram replaced(
      createProgramFromSource(context, replaceAll(source, "[PRIVATE_MEM_SIZE]", "[12]")));
  buildProgram(replaced, device);
  for (cl_program program : {asRead.get(), replaced.get()}) {
    for (const char* name :
         {"layer_propagate_forward", "layer_propagate_backwards", "apply_delta_weights",
          "mean_squared_errors", "simulate_neural_networks_private",
          "simulate_neural_networks_local"}) {
      cl_int status = CL_SUCCESS;
      ClKernel kernel(clCreateKernel(program, name, &status));
      EXPECT_EQ(status, CL_SUCCESS) << name;
    }
  }
}

TEST(WorkSplitTest, BuildOptionsOfEachSplitAndDivision) {
  const std::string exact = "-cl-fp32-correctly-rounded-divide-sqrt";
  EXPECT_EQ(buildOptions(WorkSplit::Cpu, false), "");
  EXPECT_EQ(buildOptions(WorkSplit::Gpu, false), "-DWORK_SPLIT_GPU");
  EXPECT_EQ(buildOptions(WorkSplit::Cpu, true), exact);
  EXPECT_EQ(buildOptions(WorkSplit::Gpu, true), "-DWORK_SPLIT_GPU " + exact);
}

// A device that can divide exactly gets a program that does: the build asks for it.
TEST_P(KernelFileTest, ExactDivisionWhereTheDeviceOffersIt) {
  cl_device_id device = nullptr;
  ClContext context(createContext(deviceType(), device));
  ClProgram program(createProgram(context, "NN_kernels.cl"));
  buildProgram(program, device);
  cl_device_fp_config single = 0;
  ASSERT_EQ(clGetDeviceInfo(device, CL_DEVICE_SINGLE_FP_CONFIG, sizeof single, &single, nullptr),
            CL_SUCCESS);
  char options[256] = "";
  ASSERT_EQ(clGetProgramBuildInfo(program, device, CL_PROGRAM_BUILD_OPTIONS, sizeof options,
                                  options, nullptr),
            CL_SUCCESS);
  const bool exact =
      std::string(options).find("-cl-fp32-correctly-rounded-divide-sqrt") != std::string::npos;
  EXPECT_EQ(exact, (single & CL_FP_CORRECTLY_ROUNDED_DIVIDE_SQRT) != 0) << options;
}

TEST_F(OpenCLDeviceTest, FailedBuildPrintsTheLogThenStops) {
  cl_device_id device = nullptr;
  ClContext context(createContext(CL_DEVICE_TYPE_CPU, device));
  ClProgram program(createProgramFromSource(context, "__kernel void broken( {"));
  // The OpenCL compiler may write its own diagnostics to standard error first.
  EXPECT_EXIT(buildProgram(program, device), ::testing::ExitedWithCode(527 & 255),
              "Build error: the compiler's log is above, on standard output\n$");
}

// The report's items in order, with the forms of their values.
TEST_F(OpenCLDeviceTest, DeviceReportListsEveryItemInOrder) {
  cl_device_id device = nullptr;
  ClContext context(createContext(CL_DEVICE_TYPE_CPU, device));
  test_support::captureStdout();
  printDeviceInfo(device);
  const std::string report = test_support::capturedStdout();

  const char* labels[] = {"Device name: ",
                          "Vendor name: ",
                          "Device type: ",
                          "Device version: ",
                          "Driver version: ",
                          "Device extensions:\n",
                          "Max clock frequency: ",
                          "Global mem size: ",
                          "Global mem cache size: ",
                          "Local mem size: ",
                          "Local mem type: ",
                          "Constant buffer size: ",
                          "Max compute units: ",
                          "Max work-group size: ",
                          "Max work-item in work-group (for each dim): ("};
  size_t position = 0;
  for (const char* label : labels) {
    const size_t found = report.find(label, position);
    ASSERT_NE(found, std::string::npos) << label << " missing or out of order in\n" << report;
    position = found;
  }
  EXPECT_NE(report.find("Device type: CL_DEVICE_TYPE_CPU \n"), std::string::npos);
  EXPECT_NE(report.find(" (Vendor ID: "), std::string::npos);
  EXPECT_NE(report.find(" MHz\n"), std::string::npos);
  EXPECT_NE(report.find("MB\nGlobal mem cache size: "), std::string::npos);
  EXPECT_NE(report.find("kB\nLocal mem size: "), std::string::npos);
  // Every work-item size is followed by ", ", the last one too.
  const std::string tail = report.substr(position);
  EXPECT_EQ(tail.substr(tail.size() - 4), ", )\n") << tail;
  // Blanks of the extension list become line ends.
  const size_t extensions = report.find("Device extensions:\n") + 19;
  const size_t clock = report.find("Max clock frequency: ");
  EXPECT_EQ(report.substr(extensions, clock - extensions).find(' '), std::string::npos);
}

TEST_F(OpenCLDeviceTest, PlatformReportCountsPlatformsAndDevices) {
  test_support::captureStdout();
  printPlatformsInfo();
  const std::string report = test_support::capturedStdout();
  EXPECT_EQ(report.rfind("Number of platforms: ", 0), 0u) << report;
  EXPECT_NE(report.find("\nPlatform 0\n=================\nPlatform name: "), std::string::npos);
  EXPECT_NE(report.find("\n\nNumber of devices:"), std::string::npos);
  EXPECT_NE(report.find("\nDevice 0\n-----------------\nDevice name: "), std::string::npos);
}

}  // namespace
