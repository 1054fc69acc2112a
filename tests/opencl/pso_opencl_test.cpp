// NN_PSO_OpenCL on every device target (the CPU device with either work split, a GPU when there
// is one) against the CPU evaluation of NN_PSO: the same particles on the same samples must
// give the same outputs and errors up to single-precision rounding.
//
// Tolerances. Outputs (data units, spans of 1.25 here): equal, or within 2e-6 absolute or
// 4e-6 relative. Each sample's weighted sums are the same float operations on both sides;
// only exp differs (the device's by up to 3 ulps, the host's vectorised one by up to 1 ulp from
// expf), which moves a sigmoid by a few ulps of itself (observed: at most 1.2e-7 after
// unscaling). Errors: within 1e-5 relative. The host sums the squared errors in double in
// element order, the device in float: each work-item about n/G elements (in eight lanes with
// the CPU split), then the G partial sums pairwise, which costs up to about
// n/G + 3 + log2(G) + 1 roundings of 6e-8 each. A wrong offset, lane or sample shows up at the
// 1e-2 level with random weights in [-2, 2].
#include "opencl/pso_opencl.h"

#include <cstdlib>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "opencl/cl_check.h"
#include "opencl/private_memory.h"
#include "opencl_test_support.h"

namespace {

using opencl_test::allCloseInSinglePrecision;
using opencl_test::configuration;
using opencl_test::trainingData;
using test_support::readFile;
using test_support::writeFile;

constexpr float kOutputAbsolute = 2e-6f;
constexpr float kOutputRelative = 4e-6f;
constexpr float kErrorAbsolute = 1e-9f;
constexpr float kErrorRelative = 1e-5f;

// Gives the tests the particles, both evaluations and the device state of one trainer.
template <class Trainer>
class Probe : public Trainer {
 public:
  // extra: the device type, for the OpenCL variants.
  template <class... Extra>
  explicit Probe(Extra... extra)
      : NN("net.cfg", "train.dat"), Trainer("net.cfg", "train.dat", "pso.txt", extra...) {}

  // Particles drawn uniformly from [-2, 2], wider than the swarm's start, so that sigmoids
  // reach their flat ends too.
  void drawParticles() {
    const float draws = static_cast<float>(RAND_MAX) + 1.0f;
    for (float& w : this->weights) w = 4.0f * (std::rand() / draws) - 2.0f;
  }
  // Fills the device outputs with NaN, so that an output no launch writes cannot pass.
  void poisonOutputs() {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    size_t bytes = 0;
    checkCl(
        clGetMemObjectInfo(this->particleOutputsBuffer, CL_MEM_SIZE, sizeof bytes, &bytes, nullptr),
        "sizing particle outputs", 1);
    checkCl(clEnqueueFillBuffer(this->queue, this->particleOutputsBuffer, &nan, sizeof nan, 0,
                                bytes, 0, nullptr, nullptr),
            "poisoning particle outputs", 1);
    checkCl(clFinish(this->queue), "poisoning particle outputs", 1);
  }
  // Device outputs of the last simNNs over n samples, in the host's layout.
  std::vector<float> deviceOutputs(int n) {
    std::vector<float> result(static_cast<size_t>(this->parameters.populationSize) * n *
                              this->outputSize());
    checkCl(clEnqueueReadBuffer(this->queue, this->particleOutputsBuffer, CL_TRUE, 0,
                                sizeof(float) * result.size(), result.data(), 0, nullptr, nullptr),
            "reading particle outputs", 1);
    return result;
  }
  // The CPU evaluation of NN_PSO on the same particles.
  std::vector<float> hostOutputs(const std::vector<float>& inputs) {
    NN_PSO::simNNs(inputs);
    const size_t count = static_cast<size_t>(this->parameters.populationSize) *
                         this->numberOfSamples(inputs) * this->outputSize();
    return std::vector<float>(this->outputs.begin(), this->outputs.begin() + count);
  }
  std::vector<float> hostErrors(const std::vector<float>& targets) { return NN_PSO::mses(targets); }
  const std::vector<float>& trainingInputsVector() const { return this->trainingInputs; }
  const std::vector<float>& trainingTargetsVector() const { return this->trainingTargets; }
  const std::vector<float>& validationInputsVector() const { return this->validationInputs; }
  const std::vector<float>& validationTargetsVector() const { return this->validationTargets; }
  int workGroupSize() const { return this->groupSize; }
  // Later launches use G = size, as on a device with a smaller limit; the local variant's
  // layer arrays are bound again for it. The GPU split's MSE kernel, which takes any group
  // size, gets the same size (the CPU split's needs a power of two and keeps 64).
  void forceGroupSize(int size) {
    this->groupSize = size;
    if (std::is_base_of<NN_PSO_OpenCL_local, Trainer>::value) {
      const size_t layerBytes = sizeof(float) * size * this->maxLayerSize();
      checkCl(setKernelLocal(this->simulationKernel, 11, layerBytes), "binding 11", 1);
      checkCl(setKernelLocal(this->simulationKernel, 12, layerBytes), "binding 12", 1);
    }
    if (this->workSplit == WorkSplit::Gpu) {
      this->mseGroupSize = size;
      checkCl(setKernelLocal(this->mseKernel, 5, sizeof(float) * size), "binding 5", 1);
    }
  }
  cl_program currentProgram() const { return this->program; }
  cl_context currentContext() const { return this->context; }
  cl_command_queue currentQueue() const { return this->queue; }
};

struct Topology {
  std::vector<int> layers;
  int training;
  int validation;
  int population;
};

// 100 training samples are not a multiple of the group size, 64 validation samples are;
// the second network has a hidden layer wider than the group and four layers; the third has
// more than eight inputs; the fourth no validation samples. The CPU split's private kernel
// shares each group's samples among eight consecutive particles and runs them four at a
// time: 9 particles leave a share of one, 6 and 11 shares that are not a multiple of four.
const Topology kTopologies[] = {{{3, 6, 1}, 100, 64, 9},
                                {{5, 70, 3, 2}, 128, 37, 9},
                                {{14, 10, 1}, 91, 40, 6},
                                {{4, 9, 2}, 45, 0, 11}};

void writeNetwork(const Topology& topology) {
  writeFile("net.cfg", configuration(topology.layers));
  writeFile("train.dat", trainingData(topology.layers.front(), topology.layers.back(),
                                      topology.training, topology.validation, 5));
  writeFile("pso.txt",
            "Population size: " + std::to_string(topology.population) + "\nIterations: 1\n");
}

// Split-independent host behaviour, on the CPU device.
class PsoOpenCLHostTest : public opencl_test::CpuDeviceTest {};

// The evaluation on every device target.
class PsoOpenCLTest : public opencl_test::DeviceTargetTest {
 protected:
  // Random particles with the group size the trainer chose.
  template <class Trainer>
  void expectSameEvaluationAsCpu(Probe<Trainer>& trainer) {
    std::srand(77);
    trainer.drawParticles();
    if (deviceType() == CL_DEVICE_TYPE_CPU) {
      ASSERT_EQ(trainer.workGroupSize(), 64);
    }
    expectSameOutputsAndErrors(trainer);
  }

  // simNNs + mses of the device against the CPU versions, on the training and (where there
  // are any) validation sets.
  template <class Trainer>
  void expectSameOutputsAndErrors(Probe<Trainer>& trainer) {
    const std::vector<float>* sets[][2] = {
        {&trainer.trainingInputsVector(), &trainer.trainingTargetsVector()},
        {&trainer.validationInputsVector(), &trainer.validationTargetsVector()}};
    for (auto& set : sets) {
      const std::vector<float>& inputs = *set[0];
      const std::vector<float>& targets = *set[1];
      const int n = trainer.numberOfSamples(inputs);
      if (n == 0) continue;
      SCOPED_TRACE(std::to_string(n) + " samples");
      trainer.poisonOutputs();
      trainer.simNNs(inputs);
      const std::vector<float> deviceErrors = trainer.mses(targets);
      const std::vector<float> deviceOutputs = trainer.deviceOutputs(n);

      const std::vector<float> hostOutputs = trainer.hostOutputs(inputs);
      EXPECT_TRUE(
          allCloseInSinglePrecision(hostOutputs, deviceOutputs, kOutputAbsolute, kOutputRelative));
      const std::vector<float> hostErrors = trainer.hostErrors(targets);
      EXPECT_TRUE(
          allCloseInSinglePrecision(hostErrors, deviceErrors, kErrorAbsolute, kErrorRelative));
    }
  }
};

INSTANTIATE_TEST_SUITE_P(Targets, PsoOpenCLTest, opencl_test::deviceTargets(),
                         opencl_test::targetName);

TEST_P(PsoOpenCLTest, PrivateVariantEvaluatesLikeTheCpu) {
  for (const Topology& topology : kTopologies) {
    SCOPED_TRACE(configuration(topology.layers));
    writeNetwork(topology);
    Probe<NN_PSO_OpenCL_private> trainer(deviceType());
    expectSameEvaluationAsCpu(trainer);
  }
}

TEST_P(PsoOpenCLTest, LocalVariantEvaluatesLikeTheCpu) {
  for (const Topology& topology : kTopologies) {
    SCOPED_TRACE(configuration(topology.layers));
    writeNetwork(topology);
    Probe<NN_PSO_OpenCL_local> trainer(deviceType());
    expectSameEvaluationAsCpu(trainer);
  }
}

// The CPU split cuts a group's samples into runs of 8 and 32 and, in the private kernel,
// shares them among the particles of a share; the GPU split gives each work-item a sample and
// reduces the errors across groups of any size. Group sizes that divide into none of these
// still cover every particle on every sample exactly once.
TEST_P(PsoOpenCLTest, OtherGroupSizesEvaluateLikeTheCpu) {
  const Topology& topology = kTopologies[2];
  writeNetwork(topology);
  Probe<NN_PSO_OpenCL_private> privateTrainer(deviceType());
  Probe<NN_PSO_OpenCL_local> localTrainer(deviceType());
  std::srand(78);
  privateTrainer.drawParticles();
  localTrainer.drawParticles();
  for (int size : {1, 5, 20, 44}) {
    SCOPED_TRACE("group size " + std::to_string(size));
    privateTrainer.forceGroupSize(size);
    expectSameOutputsAndErrors(privateTrainer);
    localTrainer.forceGroupSize(size);
    expectSameOutputsAndErrors(localTrainer);
  }
}

// A network whose weights take most of the device's local memory leaves room for only a few
// work-items' layer values: the local variant runs with that small group and still
// evaluates like the CPU. With layers w, w, 1 the weights take 4(w + 1)^2 bytes and each
// work-item 8w; w is the widest that leaves room for four work-items besides the 256-byte
// margin. The weights then take over half of local memory, so counting them twice (the
// kernel's local size once they are bound includes them) would refuse the network.
TEST_P(PsoOpenCLTest, LocalVariantNearTheLocalMemoryLimit) {
  cl_platform_id platforms[100];
  cl_uint platformCount = 0;
  ASSERT_EQ(clGetPlatformIDs(100, platforms, &platformCount), CL_SUCCESS);
  cl_ulong localBytes = 0;
  for (cl_uint p = 0; p < platformCount && localBytes == 0; ++p) {
    cl_device_id device;
    if (clGetDeviceIDs(platforms[p], deviceType(), 1, &device, nullptr) == CL_SUCCESS) {
      clGetDeviceInfo(device, CL_DEVICE_LOCAL_MEM_SIZE, sizeof localBytes, &localBytes, nullptr);
    }
  }
  int width = 2;
  while (static_cast<cl_ulong>(4 * (width + 2) * (width + 2) + 256 + 32 * (width + 1)) <=
         localBytes) {
    ++width;
  }
  ASSERT_GT(8 * (width + 1) * (width + 1), static_cast<int>(localBytes));
  writeNetwork({{width, width, 1}, 13, 6, 2});

  Probe<NN_PSO_OpenCL_local> trainer(deviceType());
  std::srand(79);
  trainer.drawParticles();
  EXPECT_GE(trainer.workGroupSize(), 1);
  EXPECT_LT(trainer.workGroupSize(), 64);
  expectSameOutputsAndErrors(trainer);
}

// The device evaluation feeds the unchanged swarm: the same seed gives the same errors as the
// CPU trainer, up to the rounding of the errors, with validation samples (the best validation
// check is kept) and without (the swarm's best training position is kept).
TEST_P(PsoOpenCLTest, TrainingFollowsTheCpuTrainer) {
  for (const Topology& topology : {kTopologies[0], kTopologies[3]}) {
    SCOPED_TRACE(configuration(topology.layers));
    writeNetwork(topology);
    writeFile("pso.txt", "Population size: 9\nIterations: 30\nStrip length: 5\nTime: 0\n");
    Probe<NN_PSO_OpenCL_local> device(deviceType());
    NN_PSO host("net.cfg", "train.dat", "pso.txt");
    std::srand(5);
    device.train();
    std::srand(5);
    host.train();
    EXPECT_NEAR(
        device.meanSquaredError(device.trainingInputsVector(), device.trainingTargetsVector()),
        host.meanSquaredError(device.trainingInputsVector(), device.trainingTargetsVector()), 1e-4);
  }
}

// The private build writes the largest layer size into every bracketed token: a probe kernel
// added to the file reports the length of its token-sized array.
TEST_F(PsoOpenCLHostTest, PrivateBuildReplacesTheArrayLengthToken) {
  const std::string probe =
      "\n__kernel void token_probe(__global int* length) {\n"
      "  float values[PRIVATE_MEM_SIZE];\n"
      "  length[0] = (int)(sizeof(values) / sizeof(values[0]));\n"
      "}\n";
  writeFile("NN_kernels.cl", readFile(opencl_test::kernelsPath()) + probe);
  writeNetwork(kTopologies[1]);
  Probe<NN_PSO_OpenCL_CPU_private> trainer;

  cl_int status = CL_SUCCESS;
  ClKernel kernel(clCreateKernel(trainer.currentProgram(), "token_probe", &status));
  ASSERT_EQ(status, CL_SUCCESS);
  ClMem result(clCreateBuffer(trainer.currentContext(), CL_MEM_WRITE_ONLY, sizeof(cl_int), nullptr,
                              &status));
  ASSERT_EQ(status, CL_SUCCESS);
  ASSERT_EQ(setKernelBuffer(kernel, 0, result), CL_SUCCESS);
  const size_t one = 1;
  ASSERT_EQ(clEnqueueNDRangeKernel(trainer.currentQueue(), kernel, 1, nullptr, &one, &one, 0,
                                   nullptr, nullptr),
            CL_SUCCESS);
  cl_int length = 0;
  ASSERT_EQ(clEnqueueReadBuffer(trainer.currentQueue(), result, CL_TRUE, 0, sizeof length, &length,
                                0, nullptr, nullptr),
            CL_SUCCESS);
  EXPECT_EQ(length, 70);  // maxLayerSize() of 5 70 3 2
}

TEST_F(PsoOpenCLHostTest, AucSelectionIsRefusedBecauseTheOutputsStayOnTheDevice) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  writeNetwork(kTopologies[1]);
  writeFile("pso.txt", "Iterations: 2\nSelect by AUC: 1\n");
  EXPECT_EXIT(Probe<NN_PSO_OpenCL_CPU_private> trainer, ::testing::ExitedWithCode(-238 & 255),
              "^Select by AUC is not supported by the OpenCL particle-swarm trainers: use PSO\n$");
  // A seed is the swarm's, on the host: accepted.
  writeFile("pso.txt", "Iterations: 2\nSeed: 3\n");
  Probe<NN_PSO_OpenCL_CPU_private> seeded;
  EXPECT_EQ(*seeded.parameters.options.seed, 3u);
}

TEST(LocalMemoryFit, WorkedExample) {
  // (32768 - 256 - 1000 - 4 * 26) / (8 * 5) = 31408 / 40 = 785.2
  EXPECT_EQ(localMemoryFit(32768, 1000, 26, 5), 785);
}

TEST(LocalMemoryFit, UsesTheLow32BitsOfTheSizes) {
  EXPECT_EQ(localMemoryFit((1ull << 32) + 32768, (1ull << 33) + 1000, 26, 5), 785);
}

TEST(LocalMemoryFit, TruncatesTowardZeroBelowZero) {
  // (1024 - 256 - 0 - 1200) / 40 = -432 / 40 = -10.8
  EXPECT_EQ(localMemoryFit(1024, 0, 300, 5), -10);
  // Exactly nothing left for a work-item: (1024 - 256 - 8 - 760) / 40 = 0
  EXPECT_EQ(localMemoryFit(1024, 8, 190, 5), 0);
}

TEST(PrivateMemory, DeclaredBytesPerLayerValue) {
  // Two float8 arrays (32 bytes each), a float array, an int4 array, a float3 array (room of
  // a float4) and an unknown type (128); the token in a comment does not count.
  const std::string source =
      "// every [PRIVATE_MEM_SIZE] token is replaced\n"
      "/* also [PRIVATE_MEM_SIZE] here */\n"
      "__kernel void k() {\n"
      "  float8 a[PRIVATE_MEM_SIZE], b[PRIVATE_MEM_SIZE];\n"
      "  __private float c[PRIVATE_MEM_SIZE];\n"
      "  for (int i = 0; i < 2; ++i) { const int4 d[PRIVATE_MEM_SIZE]; }\n"
      "  float3 e[PRIVATE_MEM_SIZE]; my_type f[PRIVATE_MEM_SIZE];\n"
      "}\n";
  EXPECT_EQ(privateBytesPerLayerValue(source), 32u + 32 + 4 + 16 + 16 + 128);
  EXPECT_EQ(privateBytesPerLayerValue("__kernel void k() {}"), 0u);
}

TEST(PrivateMemory, WorkItemsThatFitAGroup) {
  EXPECT_EQ(privateMemoryFit(8323072, 288 * 451), 64);  // 8 MiB stack, 451-neuron layer
  EXPECT_EQ(privateMemoryFit(8323072, 288 * 1000), 28);
  EXPECT_EQ(privateMemoryFit(983040, 983040), 1);
  EXPECT_EQ(privateMemoryFit(983040, 983041), 0);
  EXPECT_EQ(privateMemoryFit(SIZE_MAX, 288), 1 << 30);  // no limit: a GPU device
  EXPECT_EQ(privateBytesPerWorkGroup(CL_DEVICE_TYPE_GPU), SIZE_MAX);
}

}  // namespace
