#include "experiments/network_factory.h"

#include <gtest/gtest.h>

#include "opencl/bp_opencl.h"
#include "opencl/pso_opencl.h"
#include "tests/experiments/experiment_files.h"
#include "tests/support/test_support.h"
#include "trainers/bp.h"
#include "trainers/pso.h"

namespace {

using experiment_test::hasDevice;
using experiment_test::writeFile;

class NetworkFactory : public experiment_test::ExperimentDirectoryTest {
 protected:
  void SetUp() override {
    ExperimentDirectoryTest::SetUp();
    writeFile("net.cfg", "9 4 1 ");
  }
};

// Records its destruction, to see that destroyNetwork really deletes.
class ProbeNetwork : public NN_BP {
 public:
  ProbeNetwork(bool& destroyed)
      : NN("net.cfg", "data.txt"), NN_BP("net.cfg", "data.txt", ""), destroyed_(destroyed) {}
  ~ProbeNetwork() override { destroyed_ = true; }

 private:
  bool& destroyed_;
};

TEST_F(NetworkFactory, CpuTypesBuildTheirClassesFromTheThreeFiles) {
  NN* swarm = createNetwork(0, "net.cfg", "data.txt", "params.txt");
  ASSERT_NE(dynamic_cast<NN_PSO*>(swarm), nullptr);
  EXPECT_EQ(dynamic_cast<NN_PSO*>(swarm)->parameters.populationSize, 4);
  EXPECT_EQ(swarm->numberOfWeights(), 4 * 10 + 5);
  EXPECT_EQ(swarm->numberOfTrainingSamples(), 30);
  destroyNetwork(0, swarm);

  NN* bp = createNetwork(5, "net.cfg", "data.txt", "params.txt");
  ASSERT_NE(dynamic_cast<NN_BP*>(bp), nullptr);
  EXPECT_EQ(dynamic_cast<NN_BP*>(bp)->parameters.iterations, 1);
  EXPECT_EQ(bp->numberOfLayers(), 3);
  destroyNetwork(5, bp);

  const OwnedNetwork owned = makeNetwork(5, "net.cfg", "data.txt", "params.txt");
  EXPECT_NE(dynamic_cast<NN_BP*>(owned.get()), nullptr);
  EXPECT_EQ(owned.get_deleter().type, 5);
}

TEST_F(NetworkFactory, DestroyDeletesThroughTheVirtualDestructorAndIgnoresNull) {
  bool destroyed = false;
  destroyNetwork(5, new ProbeNetwork(destroyed));
  EXPECT_TRUE(destroyed);
  // A type that names another class still releases the whole object.
  destroyed = false;
  destroyNetwork(0, new ProbeNetwork(destroyed));
  EXPECT_TRUE(destroyed);
  for (int type = 0; type < kTrainerTypeCount; ++type) destroyNetwork(type, nullptr);
  // The owner of the experiments hands its network to destroyNetwork when it goes.
  destroyed = false;
  { OwnedNetwork owned(new ProbeNetwork(destroyed), NetworkDestroyer{5}); }
  EXPECT_TRUE(destroyed);
}

TEST_F(NetworkFactory, TypeOutsideTheTableIsFatal) {
  for (int type : {-1, 8}) {
    SCOPED_TRACE(type);
    const std::string message = "^Wrong NN_type: " + std::to_string(type) + " \\(0 to 7\\)\n$";
    EXPECT_EXIT(createNetwork(type, "net.cfg", "data.txt", "params.txt"),
                ::testing::ExitedWithCode(255), message);
    EXPECT_EXIT(destroyNetwork(type, nullptr), ::testing::ExitedWithCode(255), message);
  }
}

TEST_F(NetworkFactory, ConstructorFailuresAreThoseOfTheNetwork) {
  EXPECT_EXIT(createNetwork(5, "missing.cfg", "data.txt", "params.txt"),
              ::testing::ExitedWithCode(-3 & 255),
              "^Error opening file: missing.cfg: no such file or directory\n$");
}

// The type builds an object of class Expected (its information is printed, unchecked).
template <class Expected>
void expectBuilds(int type) {
  test_support::captureStdout();
  NN* network = createNetwork(type, "net.cfg", "data.txt", "params.txt");
  EXPECT_NE(dynamic_cast<Expected*>(network), nullptr) << "type " << type;
  destroyNetwork(type, network);
  test_support::capturedStdout();
}

// The OpenCL CPU classes, where an OpenCL CPU device exists.
TEST_F(NetworkFactory, OpenClCpuTypesBuildTheirClasses) {
  if (!hasDevice(CL_DEVICE_TYPE_CPU)) GTEST_SKIP() << "no OpenCL device of type CPU";
  expectBuilds<NN_BP_OpenCL_CPU>(7);
  expectBuilds<NN_PSO_OpenCL_CPU_local>(4);
  expectBuilds<NN_PSO_OpenCL_CPU_private>(2);
}

TEST_F(NetworkFactory, OpenClGpuTypesBuildTheirClasses) {
  if (!hasDevice(CL_DEVICE_TYPE_GPU)) GTEST_SKIP() << "no OpenCL device of type GPU";
  expectBuilds<NN_BP_OpenCL_GPU>(6);
  expectBuilds<NN_PSO_OpenCL_GPU_local>(3);
  expectBuilds<NN_PSO_OpenCL_GPU_private>(1);
}

}  // namespace
