#include "experiments/data_sets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <typeinfo>
#include <vector>

#include "opencl/pso_opencl.h"
#include "tests/experiments/experiment_files.h"
#include "tests/support/test_support.h"
#include "trainers/pso.h"

namespace {

using experiment_test::hasDevice;
using experiment_test::lines;
using experiment_test::readFile;
using experiment_test::writeFile;

TEST(FastestIndex, SmallestTimeAndTheEarlierOfEqualOnes) {
  EXPECT_EQ(indexOfFastest({0.5, 0.25, 0.75, 0.125, 1.0}), 3);
  EXPECT_EQ(indexOfFastest({0.3, 0.1, 0.1, 0.2, 0.1}), 1);
  EXPECT_EQ(indexOfFastest({0.2, 0.2, 0.2, 0.2, 0.2}), 0);
  EXPECT_EQ(indexOfFastest({0.2, 0.2, 0.2, 0.2, 0.0}), 4);
}

// Only a time below the largest double counts; with none, the first network is kept
// rather than none at all.
TEST(FastestIndex, TimesThatAreNoTimes) {
  const double infinity = std::numeric_limits<double>::infinity();
  const double notANumber = std::nan("");
  EXPECT_EQ(indexOfFastest({DBL_MAX, DBL_MAX, 7.0, DBL_MAX, 7.0}), 2);
  EXPECT_EQ(indexOfFastest({infinity, notANumber, infinity, notANumber, infinity}), 0);
  EXPECT_EQ(indexOfFastest({notANumber, 3.0, notANumber, 2.0, notANumber}), 3);
  EXPECT_EQ(indexOfFastest({DBL_MAX, DBL_MAX, DBL_MAX, DBL_MAX, DBL_MAX}), 0);
}

TEST(DataSetNames, SevenDistinctWorkloadLogs) {
  std::vector<std::string> names(std::begin(kDataSetNames), std::end(kDataSetNames));
  ASSERT_EQ(names.size(), 7u);
  for (const std::string& name : names) {
    EXPECT_EQ(name.substr(name.size() - 4), ".swf") << name;
    EXPECT_EQ(std::count(names.begin(), names.end(), name), 1) << name;
  }
}

class DataSets : public experiment_test::ExperimentDirectoryTest {
 protected:
  void SetUp() override {
    ExperimentDirectoryTest::SetUp();
    writeFile("net.cfg", "9 3 1 ");
  }
};

TEST_F(DataSets, ParticleSwarmFromTheThreeFiles) {
  NN* network = createParticleSwarm("net.cfg", "data.txt", "params.txt");
  ASSERT_EQ(typeid(*network), typeid(NN_PSO));
  EXPECT_EQ(dynamic_cast<NN_PSO*>(network)->parameters.populationSize, 4);
  EXPECT_EQ(network->numberOfWeights(), 3 * 10 + 4);
  EXPECT_EQ(network->numberOfTrainingSamples(), 30);
  delete network;
}

// The five swarms need both device types.
TEST_F(DataSets, FastestParticleSwarmReturnsTheSmallestPrintedTime) {
  if (!hasDevice(CL_DEVICE_TYPE_CPU) || !hasDevice(CL_DEVICE_TYPE_GPU)) {
    GTEST_SKIP() << "needs OpenCL devices of type CPU and GPU";
  }
  test_support::captureStdout();
  NN* fastest = fastestParticleSwarm("net.cfg", "data.txt", "params.txt");
  const std::string out = test_support::capturedStdout();
  ASSERT_NE(fastest, nullptr);

  std::vector<double> printed;
  for (const std::string& line : lines(out)) {
    const std::string label = "t[" + std::to_string(printed.size()) + "]=";
    if (line.compare(0, label.size(), label) == 0) {
      printed.push_back(std::stod(line.substr(label.size())));
    }
  }
  ASSERT_EQ(printed.size(), 5u) << out;
  const std::vector<const std::type_info*> order = {
      &typeid(NN_PSO), &typeid(NN_PSO_OpenCL_CPU_local), &typeid(NN_PSO_OpenCL_CPU_private),
      &typeid(NN_PSO_OpenCL_GPU_local), &typeid(NN_PSO_OpenCL_GPU_private)};
  int index = -1;
  for (int j = 0; j < 5; ++j) {
    if (typeid(*fastest) == *order[j]) index = j;
  }
  ASSERT_GE(index, 0);
  // Printed with six digits: the winner's printed time is the smallest printed one.
  for (int j = 0; j < 5; ++j) EXPECT_LE(printed[index], printed[j]) << j;
  delete fastest;
}

TEST_F(DataSets, TrainsSavesAndChartsEveryDataSet) {
  if (!hasDevice(CL_DEVICE_TYPE_GPU)) GTEST_SKIP() << "no OpenCL device of type GPU";
  for (const char* name : kDataSetNames) {
    writeFile(std::string(name) + ".dat", experiment_test::trainingData(20, 5, 5));
  }
  test_support::captureStdout();
  trainOnDataSets(".dat", "net.cfg", "params.txt");
  const std::string out = test_support::capturedStdout();

  size_t position = 0;
  for (const char* name : kDataSetNames) {
    const std::string file = std::string(name) + ".dat";
    SCOPED_TRACE(file);
    position = out.find("Training file = " + file + "\n", position);
    ASSERT_NE(position, std::string::npos) << out;
    // The count lines of truePositiveRate stand on their own lines, before the rate's line.
    for (const char* label : {"\nElapsed = ", "\nTest set MSE= ", "\npositives = ",
                              "\ntrue positives = ", "\ntrue negatives = ", "\nTest set TPR= "}) {
      position = out.find(label, position);
      ASSERT_NE(position, std::string::npos) << label << "\n" << out;
    }
    const size_t rate = position + std::string("\nTest set TPR= ").size();
    const std::string rateText = out.substr(rate, out.find('\n', rate) - rate);
    EXPECT_TRUE(rateText == "nan" ||
                rateText.find_first_not_of("0123456789.e+-") == std::string::npos)
        << rateText;
    // The header and one line per test sample.
    EXPECT_EQ(lines(readFile(file + "lift chart.cvs")).size(), 6u);
    // 4 + 4 * 3 layer ints + 4 * 34 weights + 8 * 9 input and 8 * 1 output range bytes.
    EXPECT_EQ(std::filesystem::file_size(file + "weights.wgh"), 232u);
  }
}

}  // namespace
