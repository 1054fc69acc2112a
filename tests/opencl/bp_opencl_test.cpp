// NN_BP_OpenCL against NN_BP on every device target (the CPU device with either work split, a
// GPU when there is one): the same steps from the same random weights must leave the same
// weights up to single-precision rounding.
//
// Tolerance of a single sample: equal, or within 1e-7 absolute or 2e-6 relative (16 ulps).
// The device's exp may differ from the C library's expf by an ulp or two; that moves every
// sigmoid, error term and weight change by a few ulps of itself, which is about one ulp of a
// weight of ordinary size and a few ulps of a weight close to zero (observed: at most 1 ulp
// and 8e-7 relative). A wrong offset, buffer or sum order shows up at the 1e-2 level with the
// learning rate of 1 used here.
#include "opencl/bp_opencl.h"

#include <cstdlib>
#include <utility>

#include "opencl/cl_check.h"
#include "opencl/queue_calls.h"
#include "opencl_test_support.h"
#include "tests/support/test_support.h"

namespace {

using opencl_test::allCloseInSinglePrecision;
using opencl_test::configuration;
using opencl_test::trainingData;
using test_support::writeFile;

constexpr float kStepAbsolute = 1e-7f;
constexpr float kStepRelative = 2e-6f;
constexpr unsigned kSeed = 2024;

// Gives the tests the steps and the state the training loop would use.
template <class Trainer>
class Probe : public Trainer {
 public:
  // extra: the device type, for the OpenCL trainer.
  template <class... Extra>
  explicit Probe(const std::string& parametersFile, Extra... extra)
      : NN("net.cfg", "train.dat"), Trainer("net.cfg", "train.dat", parametersFile, extra...) {}

  void trainOnSample(int i) {
    this->initializeDeltaWeights();
    this->propagateForward(this->trainingInputs, i);
    this->propagateBackwards(this->trainingTargets, i);
    this->applyDeltaWeights();
  }
  void trainOneEpoch() {
    for (int i = 0; i < this->numberOfTrainingSamples(); ++i) trainOnSample(i);
  }
  std::vector<float> simulated(const std::vector<float>& inputs, int i) {
    this->simulateSample(inputs, i);
    return std::vector<float>(this->outputs.begin(), this->outputs.begin() + this->outputSize());
  }
  const std::vector<float>& currentWeights() const { return this->weights; }
  std::vector<float>& trainingInputsVector() { return this->trainingInputs; }
  std::vector<float>& trainingTargetsVector() { return this->trainingTargets; }
  std::vector<float>& validationInputsVector() { return this->validationInputs; }
  std::vector<float>& validationTargetsVector() { return this->validationTargets; }
  std::vector<float>& testInputsVector() { return this->testInputs; }
  std::vector<float>& testTargetsVector() { return this->testTargets; }
};

class DeviceBP : public Probe<NN_BP_OpenCL> {
 public:
  // The most derived class constructs the virtual NN part, so no inherited constructor here.
  explicit DeviceBP(cl_device_type type = CL_DEVICE_TYPE_CPU,
                    const std::string& parametersFile = "bp.txt")
      : NN("net.cfg", "train.dat"), Probe(parametersFile, type) {}
  // Later launches use these work-group sizes, as a device with other limits would.
  void forceGroupSizes(size_t layer, size_t update) {
    forwardGroupSize = backwardGroupSize = layer;
    updateGroupSize = update;
  }
  // The weights as the loop would see them: read back from the device first.
  const std::vector<float>& currentWeights() {
    readBackWeights();
    return weights;
  }
  bool usesEpochKernel() const { return static_cast<bool>(epochKernel); }
  // Later epochs run the per-sample steps, or train_epoch with groups of `size`.
  void useTheSteps() {
    epochKernel.reset();
    batchKernel.reset();
  }
  // Groups of `size` work-items, launches of `samples` samples.
  void forceEpochLaunches(size_t size, int samples) {
    epochGroupSize = size;
    samplesPerEpochLaunch = samples;
  }
  cl_mem trainingInputs() const { return trainingInputsBuffer; }
  cl_mem trainingTargets() const { return trainingTargetsBuffer; }
  cl_mem validationInputs() const { return validationInputsBuffer; }
  cl_mem validationTargets() const { return validationTargetsBuffer; }
  cl_mem testInputs() const { return testInputsBuffer; }
  cl_mem testTargets() const { return testTargetsBuffer; }
};
using HostBP = Probe<NN_BP>;

void writeNetwork(const std::vector<int>& layers, int training, int validation, int test,
                  const std::string& parameters = "Learning rate: 1\nIterations: 1\n") {
  writeFile("net.cfg", configuration(layers));
  writeFile("train.dat", trainingData(layers.front(), layers.back(), training, validation, test));
  writeFile("bp.txt", parameters);
}

// Same seed, same draws: both start from identical weights.
void initializeBoth(HostBP& host, DeviceBP& device) {
  std::srand(kSeed);
  host.initializeWeights();
  std::srand(kSeed);
  device.initializeWeights();
  ASSERT_EQ(host.currentWeights(), device.currentWeights());
}

// Two samples in a row: the second also checks that the device weights and buffers were
// left consistent by the first (apply, read-back, buffer alternation).
void expectTwoSamplesLikeTheCpu(HostBP& host, DeviceBP& device) {
  initializeBoth(host, device);
  for (int sample : {3, 0}) {
    host.trainOnSample(sample);
    device.trainOnSample(sample);
    EXPECT_TRUE(allCloseInSinglePrecision(host.currentWeights(), device.currentWeights(),
                                          kStepAbsolute, kStepRelative))
        << "after sample " << sample;
    EXPECT_NE(host.currentWeights(), std::vector<float>(host.currentWeights().size(), 0.0f));
  }
  EXPECT_TRUE(allCloseInSinglePrecision(host.simulated(host.validationInputsVector(), 1),
                                        device.simulated(device.validationInputsVector(), 1),
                                        kStepAbsolute, kStepRelative));
}

// Split-independent host behaviour, on the CPU device.
class BPOpenCLTest : public opencl_test::CpuDeviceTest {};

// The steps themselves, on every device target.
class BPSplitTest : public opencl_test::DeviceTargetTest {};

INSTANTIATE_TEST_SUITE_P(Targets, BPSplitTest, opencl_test::deviceTargets(),
                         opencl_test::targetName);

const std::vector<int> kTopologies[] = {{3, 2},           // no hidden layer
                                        {3, 5, 1},        // the classic example
                                        {4, 70, 2},       // 2 groups of 64
                                        {5, 65, 130, 3},  // 4 layers, wide
                                        {2, 7, 66, 1}};   // wide layer on top

TEST_P(BPSplitTest, OneSampleLeavesTheWeightsOfTheCpuTrainer) {
  for (const std::vector<int>& layers : kTopologies) {
    SCOPED_TRACE("layers " + configuration(layers));
    writeNetwork(layers, 6, 2, 2);
    HostBP host("bp.txt");
    DeviceBP device(deviceType());
    expectTwoSamplesLikeTheCpu(host, device);
  }
}

// Groups of other sizes, as devices with other limits get with the GPU split: a group of 1,
// groups that divide no layer, a group larger than every layer.
TEST_P(BPSplitTest, OtherGroupSizesLeaveTheWeightsOfTheCpuTrainer) {
  writeNetwork(kTopologies[3], 6, 2, 2);
  for (const auto& [layers, update] :
       {std::pair<size_t, size_t>{1, 1}, {5, 7}, {20, 44}, {128, 512}}) {
    SCOPED_TRACE("groups " + std::to_string(layers) + " and " + std::to_string(update));
    HostBP host("bp.txt");
    DeviceBP device(deviceType());
    device.forceGroupSizes(layers, update);
    expectTwoSamplesLikeTheCpu(host, device);
  }
}

// Whole training runs through the loop of NN_BP, with and without validation samples (without
// them the last weights are kept): the weights stay close to the CPU trainer's.
// The training options that live in the loop (seed, shuffled order, AUC selection) work the
// same way on the device; AUC selection needs validation samples.
TEST_P(BPSplitTest, TrainingFollowsTheCpuTrainer) {
  for (const char* options : {"", "Seed: 9\nShuffle: 1\nSelect by AUC: 1\n"})
    for (int validation : {8, 0}) {
      const std::string used = validation == 0 && *options ? "Seed: 9\nShuffle: 1\n" : options;
      SCOPED_TRACE(std::to_string(validation) + " validation samples " + used);
      writeNetwork({4, 9, *options ? 1 : 2}, 30, validation, 4,
                   "Learning rate: 0.2\nIterations: 4\nStrip length: 2\n" + used);
      HostBP host("bp.txt");
      DeviceBP device(deviceType());
      std::srand(kSeed);
      host.train();
      std::srand(kSeed);
      device.train();
      EXPECT_TRUE(
          allCloseInSinglePrecision(host.currentWeights(), device.currentWeights(), 1e-5f, 1e-4f));
    }
}

// With the GPU split an epoch is one launch of train_epoch, and an error one launch over the
// set; they leave bit for bit the weights and errors of the per-sample steps on the same
// device: file order and shuffled, with validation checks (weights read back at each) and
// without (the last weights kept), no hidden layer and two, with groups narrower than the
// layers and an epoch cut into several launches.
TEST_P(BPSplitTest, EpochKernelLeavesTheWeightsOfTheSteps) {
  const std::pair<std::vector<int>, size_t> networks[] = {
      {{3, 2}, 0}, {{3, 7, 6, 2}, 0}, {{3, 7, 6, 2}, 4}};
  for (const auto& [layers, group] : networks) {
    for (const char* options : {"", "Seed: 4\nShuffle: 1\n"}) {
      SCOPED_TRACE(configuration(layers) + "group " + std::to_string(group) + " " + options);
      writeNetwork(layers, 30, *options ? 0 : 5, 2,
                   std::string("Learning rate: 0.3\nIterations: 3\nStrip length: 2\n") + options);
      DeviceBP epoch(deviceType());
      DeviceBP steps(deviceType());
      ASSERT_EQ(epoch.usesEpochKernel(), gpuSplit());
      if (group > 0) epoch.forceEpochLaunches(group, 7);  // an epoch of 30 in five launches
      steps.useTheSteps();
      std::srand(kSeed);
      epoch.train();
      std::srand(kSeed);
      steps.train();
      EXPECT_EQ(epoch.currentWeights(), steps.currentWeights());
      // One launch over the set, or a forward pass per sample: the same error.
      EXPECT_EQ(epoch.computeMSE(epoch.testInputsVector(), epoch.testTargetsVector()),
                steps.computeMSE(steps.testInputsVector(), steps.testTargetsVector()));
    }
  }
}

// A device fault surfaces at the first wait after it; that wait reports it under its own
// message: the epoch's for train_epoch, the steps' for the per-sample path.
TEST_P(BPSplitTest, FailedWaitIsReportedUnderItsOwnMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  writeNetwork({3, 5, 1}, 6, 2, 2, "Iterations: 2\n");
  const bool epoch = gpuSplit();
  EXPECT_EXIT(
      {
        DeviceBP device(deviceType());
        failWaitAfter(1, CL_OUT_OF_RESOURCES);  // after the weights' upload: the first epoch's
        device.train();
      },
      ::testing::ExitedWithCode((epoch ? 559 : 558) & 255),
      epoch ? "^Error waiting for the training epoch \\(CL_OUT_OF_RESOURCES\\)\n$"
            : "^Error waiting for the back-propagation steps \\(CL_OUT_OF_RESOURCES\\)\n$");
}

// The report lists the GPU split's work-group sizes after the device report; the CPU split
// adds nothing to it.
TEST_P(BPSplitTest, DeviceReportNamesTheSplitsGroupSizes) {
  writeNetwork({3, 5, 1}, 6, 2, 2);
  DeviceBP device(deviceType());
  test_support::captureStdout();
  device.printInfo();
  const std::string report = test_support::capturedStdout();
  if (!gpuSplit()) {
    EXPECT_EQ(report.find("Work split"), std::string::npos) << report;
    return;
  }
  const size_t listed =
      report.find("\nWork split: GPU\nWork-group size of layer_propagate_forward: ");
  ASSERT_NE(listed, std::string::npos) << report;
  EXPECT_LT(report.find("Max work-item in work-group"), listed);
  EXPECT_NE(report.find("\nWork-group size of layer_propagate_backwards: ", listed),
            std::string::npos);
  EXPECT_NE(report.find("\nWork-group size of apply_delta_weights: ", listed), std::string::npos);
  EXPECT_NE(report.find("\nWork-group size of train_epoch: ", listed), std::string::npos);
  if (deviceType() == CL_DEVICE_TYPE_CPU) {  // PoCL's preferred multiple divides 64 and 256
    EXPECT_NE(report.find("layer_propagate_forward: 64\n"), std::string::npos) << report;
    EXPECT_NE(report.find("apply_delta_weights: 256\n"), std::string::npos) << report;
  }
}

// One epoch of many samples: rounding differences may grow a little, never to the size of a
// wrong step. The epoch's training error must agree as well.
TEST_P(BPSplitTest, OneEpochStaysCloseToTheCpuTrainer) {
  writeNetwork({6, 12, 8, 2}, 60, 10, 0, "Learning rate: 0.2\nIterations: 1\n");
  HostBP host("bp.txt");
  DeviceBP device(deviceType());
  initializeBoth(host, device);
  host.trainOneEpoch();
  device.trainOneEpoch();
  EXPECT_TRUE(
      allCloseInSinglePrecision(host.currentWeights(), device.currentWeights(), 1e-5f, 1e-4f));
  const double hostError =
      host.computeMSE(host.trainingInputsVector(), host.trainingTargetsVector());
  const double deviceError =
      device.computeMSE(device.trainingInputsVector(), device.trainingTargetsVector());
  EXPECT_TRUE(opencl_test::closeInSinglePrecision(static_cast<float>(hostError),
                                                  static_cast<float>(deviceError), 1e-6f, 1e-4f));
}

// Layers 1 and 1, both weights 0, input at the top of its range, target at the top of its
// range: output 0.5, scaled target 1, delta 0.25 * 0.5 = 0.125, and with a learning rate of
// 0.02 the bias and the weight both grow by 0.0025.
TEST_P(BPSplitTest, HandComputedStepOfTheSmallestNetwork) {
  writeFile("net.cfg", "1 1");
  writeFile("train.dat", "1 0 0\n1 1\n0 2\n5 7\n2\t7\t\n");
  writeFile("bp.txt", "Lower limit: 0\nUpper limit: 0\nLearning rate: 0.02\n");
  DeviceBP network(deviceType());
  network.initializeWeights();
  ASSERT_EQ(network.currentWeights(), std::vector<float>({0.0f, 0.0f}));
  EXPECT_EQ(network.simulated(network.trainingInputsVector(), 0), std::vector<float>({6.0f}));
  network.trainOnSample(0);
  EXPECT_EQ(network.currentWeights(), std::vector<float>({0.0025f, 0.0025f}));
}

TEST_F(BPOpenCLTest, SampleVectorsMapToTheirBuffersByIdentity) {
  writeNetwork({3, 4, 1}, 5, 2, 3);
  DeviceBP device;
  EXPECT_EQ(device.deviceBufferFor(device.trainingInputsVector()), device.trainingInputs());
  EXPECT_EQ(device.deviceBufferFor(device.trainingTargetsVector()), device.trainingTargets());
  EXPECT_EQ(device.deviceBufferFor(device.validationInputsVector()), device.validationInputs());
  EXPECT_EQ(device.deviceBufferFor(device.validationTargetsVector()), device.validationTargets());
  EXPECT_EQ(device.deviceBufferFor(device.testInputsVector()), device.testInputs());
  EXPECT_EQ(device.deviceBufferFor(device.testTargetsVector()), device.testTargets());
  std::vector<cl_mem> buffers = {device.trainingInputs(),   device.trainingTargets(),
                                 device.validationInputs(), device.validationTargets(),
                                 device.testInputs(),       device.testTargets()};
  std::sort(buffers.begin(), buffers.end());
  EXPECT_EQ(std::unique(buffers.begin(), buffers.end()), buffers.end());
  EXPECT_EQ(std::count(buffers.begin(), buffers.end(), nullptr), 0);
}

TEST_F(BPOpenCLTest, EmptySampleSetsHaveNoBuffers) {
  writeNetwork({3, 4, 1}, 5, 0, 0);
  DeviceBP device;
  EXPECT_NE(device.trainingInputs(), nullptr);
  EXPECT_EQ(device.validationInputs(), nullptr);
  EXPECT_EQ(device.validationTargets(), nullptr);
  EXPECT_EQ(device.testInputs(), nullptr);
  EXPECT_EQ(device.testTargets(), nullptr);
}

// Death tests re-run the test program, so no OpenCL state is shared with a forked child.
class BPOpenCLDeathTest : public BPOpenCLTest {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    BPOpenCLTest::SetUp();
  }
};

TEST_F(BPOpenCLDeathTest, ACopyOfASampleVectorHasNoDeviceBuffer) {
  writeNetwork({3, 4, 1}, 5, 2, 3);
  EXPECT_EXIT(
      {
        DeviceBP device;
        const std::vector<float> copy = device.trainingInputsVector();
        device.deviceBufferFor(copy);
      },
      ::testing::ExitedWithCode(395 & 255),
      "^Only training, validation and test samples supported for now.\n$");
}

TEST_F(BPOpenCLDeathTest, RefusesTheOptionsOfTheCpuSteps) {
  for (const char* key : {"Momentum: 0.5", "Cross entropy: 1", "Positive weight: 2"}) {
    SCOPED_TRACE(key);
    writeNetwork({3, 4, 1}, 5, 2, 3, std::string("Iterations: 2\n") + key + "\n");
    const std::string name = std::string(key).substr(0, std::string(key).find(':'));
    EXPECT_EXIT(
        DeviceBP device, ::testing::ExitedWithCode(-238 & 255),
        "^" + name + " is not supported by the OpenCL back-propagation trainers: use BP\n$");
  }
}

TEST_F(BPOpenCLDeathTest, BackwardPassRejectsOtherTargets) {
  writeNetwork({3, 4, 1}, 5, 5, 0);
  EXPECT_EXIT(
      {
        DeviceBP device;
        device.propagateForward(device.trainingInputsVector(), 0);
        device.propagateBackwards(device.validationTargetsVector(), 0);
      },
      ::testing::ExitedWithCode(255), "^propagateBackwards argument must be training_targets\n$");
}

// Targets equal to the training targets (a copy, or a validation set with the same values)
// are accepted, and the kernels use the training targets.
TEST_F(BPOpenCLTest, BackwardPassAcceptsTargetsEqualToTheTrainingTargets) {
  writeFile("net.cfg", "2 3 1");
  writeFile("train.dat",
            "1 1 0\n2 1\n0 10\n0 10\n0 1\n"
            "1\t9\t1\t\n"
            "8\t2\t1\t\n");
  writeFile("bp.txt", "Learning rate: 1\n");
  DeviceBP viaTraining;
  DeviceBP viaValidation;
  DeviceBP viaCopy;
  for (DeviceBP* network : {&viaTraining, &viaValidation, &viaCopy}) {
    std::srand(kSeed);
    network->initializeWeights();
    network->propagateForward(network->trainingInputsVector(), 0);
  }
  ASSERT_EQ(viaValidation.validationTargetsVector(), viaValidation.trainingTargetsVector());
  viaTraining.propagateBackwards(viaTraining.trainingTargetsVector(), 0);
  viaValidation.propagateBackwards(viaValidation.validationTargetsVector(), 0);
  const std::vector<float> copy = viaCopy.trainingTargetsVector();
  viaCopy.propagateBackwards(copy, 0);
  for (DeviceBP* network : {&viaTraining, &viaValidation, &viaCopy}) network->applyDeltaWeights();
  EXPECT_EQ(viaValidation.currentWeights(), viaTraining.currentWeights());
  EXPECT_EQ(viaCopy.currentWeights(), viaTraining.currentWeights());
}

}  // namespace
