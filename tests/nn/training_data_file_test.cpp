#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "nn/network.h"
#include "tests/nn/test_network.h"
#include "tests/support/test_support.h"

namespace {

using test_support::ScratchFolder;

const char* exampleData =
    "3 1 1\n2 1\n-0.125 1.125\n5 55\n-0.125 1.125\n"
    "0\t12\t0\t\n1\t45\t1\t\n0\t20\t0\t\n1\t50\t1\t\n1\t10\t0\t\n";

std::unique_ptr<TestNetwork> networkFrom(const std::string& data,
                                         const std::string& configuration = "2 3 1") {
  ScratchFolder folder;
  return std::unique_ptr<TestNetwork>(
      new TestNetwork(folder.write("net.cfg", configuration), folder.write("train.dat", data)));
}

// A one-input, one-output file with the given first line and sample count.
std::string countedData(const std::string& firstLine, int samples) {
  std::ostringstream data;
  // Every value within its bounds, which stay a range when there are no samples.
  data << firstLine << "\n1 1\n0 " << std::max(samples, 1) << "\n0 1\n";
  for (int k = 0; k < samples; ++k) data << k << '\t' << (k % 2) << "\t\n";
  return data.str();
}

TEST(TrainingDataFile, ExampleFile) {
  std::unique_ptr<TestNetwork> network = networkFrom(exampleData);
  EXPECT_EQ(network->inputRanges, (std::vector<float>{-0.125f, 1.125f, 5, 55}));
  EXPECT_EQ(network->outputRanges, (std::vector<float>{-0.125f, 1.125f}));
  EXPECT_EQ(network->numberOfTrainingSamples(), 3);
  EXPECT_EQ(network->numberOfValidationSamples(), 1);
  EXPECT_EQ(network->numberOfTestSamples(), 1);
  // Inputs scaled with their ranges, targets as read.
  const float a = (0.125f + 0.125f) / 1.25f - 1.0f;  // 0
  const float b = (1.125f + 1.125f) / 1.25f - 1.0f;  // 1
  EXPECT_EQ(network->trainingInputs,
            (std::vector<float>{a, (7.0f + 7.0f) / 50.0f - 1.0f, b, (40.0f + 40.0f) / 50.0f - 1.0f,
                                a, (15.0f + 15.0f) / 50.0f - 1.0f}));
  EXPECT_EQ(network->trainingTargets, (std::vector<float>{0, 1, 0}));
  EXPECT_EQ(network->validationInputs, (std::vector<float>{b, (45.0f + 45.0f) / 50.0f - 1.0f}));
  EXPECT_EQ(network->validationTargets, (std::vector<float>{1}));
  EXPECT_EQ(network->testInputs, (std::vector<float>{b, (5.0f + 5.0f) / 50.0f - 1.0f}));
  EXPECT_EQ(network->testTargets, (std::vector<float>{0}));

  test_support::captureStdout();
  network->printInfo();
  const std::string info = test_support::capturedStdout();
  EXPECT_NE(info.find("Number of training samples: 3\nNumber of validation samples: 1\n"
                      "Number of test samples: 1\n"),
            std::string::npos);
}

TEST(TrainingDataFile, LineStructureDoesNotMatter) {
  const std::unique_ptr<TestNetwork> reference = networkFrom(exampleData);
  const std::unique_ptr<TestNetwork> reflowed = networkFrom(
      "3 1\n1 2 1 -0.125\n1.125 5 55 -0.125 1.125\n0 12\n0 1 45 1 0 20\n0\n1 50 1 1 10 0");
  EXPECT_EQ(reflowed->trainingInputs, reference->trainingInputs);
  EXPECT_EQ(reflowed->trainingTargets, reference->trainingTargets);
  EXPECT_EQ(reflowed->testInputs, reference->testInputs);
  EXPECT_EQ(reflowed->testTargets, reference->testTargets);
}

TEST(TrainingDataFile, InputAtItsMinimumIsMinusOneTargetsAsRead) {
  const std::unique_ptr<TestNetwork> network =
      networkFrom("1 0 0\n1 1\n-3 9\n-1 1\n-3 0.7\n9 -0.3\n", "1 1");
  EXPECT_EQ(network->trainingInputs, (std::vector<float>{-1.0f, 1.0f}));
  EXPECT_EQ(network->trainingTargets, (std::vector<float>{0.7f, -0.3f}));
}

struct Split {
  const char* firstLine;
  int samples, training, validation, test;
};

TEST(TrainingDataFile, SplitTruncatedTotalHalfUpRounding) {
  for (const Split& split :
       {Split{"7 2 1", 100, 70, 20, 10}, Split{"1 0 0", 9, 9, 0, 0}, Split{"3 1 1", 5, 3, 1, 1},
        Split{"1 1 1", 10, 3, 3, 4}, Split{"1 1 0.9", 10, 5, 5, 0},  // total 2.9 -> 2
        Split{"1 2 2", 3, 1, 1, 1},                                  // 0.6 -> 1, 1.2 -> 1
        Split{"1 1 2", 6, 2, 2, 2},                                  // 1.5 -> 2 (half up)
        Split{"5 3 2", 1, 1, 0, 0},                                  // 0.5 -> 1, 0.3 -> 0
        Split{"600 200 200", 1000, 600, 200, 200}, Split{"1e+06 0 0", 7, 7, 0, 0}}) {
    SCOPED_TRACE(split.firstLine);
    const std::unique_ptr<TestNetwork> network =
        networkFrom(countedData(split.firstLine, split.samples), "1 1");
    EXPECT_EQ(network->numberOfTrainingSamples(), split.training);
    EXPECT_EQ(network->numberOfValidationSamples(), split.validation);
    EXPECT_EQ(network->numberOfTestSamples(), split.test);
    EXPECT_EQ(network->numberOfTargetSamples(network->testTargets), split.test);
    // Samples keep file order across the three sets.
    if (split.test > 0) {
      EXPECT_EQ(network->testTargets.back(), (split.samples - 1) % 2);
    }
  }
}

// {cfg} and {data} in message stand for the two files' names.
void expectFatal(const std::string& data, int status, std::string message,
                 const std::string& configuration = "1 1") {
  ScratchFolder folder;
  const std::string configurationFile = folder.write("net.cfg", configuration);
  const std::string dataFile = folder.write("train.dat", data);
  for (const auto& [name, file] : {std::make_pair(std::string("{cfg}"), configurationFile),
                                   std::make_pair(std::string("{data}"), dataFile)}) {
    const size_t at = message.find(name);
    if (at != std::string::npos) message.replace(at, name.size(), file);
  }
  EXPECT_EXIT(TestNetwork(configurationFile, dataFile), ::testing::ExitedWithCode(status & 255),
              "^" + message + "\n$");
}

TEST(TrainingDataFileDeathTest, MissingFile) {
  ScratchFolder folder;
  const std::string configurationFile = folder.write("net.cfg", "2 1");
  const std::string missing = folder.file("missing.dat");
  EXPECT_EXIT(TestNetwork(configurationFile, missing), ::testing::ExitedWithCode(249),
              "^Error opening file: " + missing + ": no such file or directory\n$");
  EXPECT_EXIT(TestNetwork(configurationFile, folder.path()), ::testing::ExitedWithCode(249),
              "^Error reading file: " + folder.path() + ": is a directory\n$");
}

TEST(TrainingDataFile, ReadsFromAPipe) {
  ScratchFolder folder;
  const std::string configurationFile = folder.write("net.cfg", "2 1");
  const std::string fifo = folder.file("train.pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { std::ofstream(fifo) << exampleData; });
  TestNetwork network(configurationFile, fifo);
  writer.join();
  EXPECT_EQ(network.numberOfTrainingSamples(), 3);
  EXPECT_EQ(network.testTargets, (std::vector<float>{0}));
}

TEST(TrainingDataFileDeathTest, SizesThatDoNotMatchTheConfiguration) {
  expectFatal("1 0 0\n11 1\n", -149,
              "Input size from config file does not match data input size: 12 in {cfg}, 11 in "
              "{data}",
              "12 5 1");
  expectFatal("1 0 0\n12 2\n", -149,
              "Output size from config file does not match data output size: 1 in {cfg}, 2 in "
              "{data}",
              "12 5 1");
  expectFatal("", -149,
              "Input size from config file does not match data input size: 1 in {cfg}, 0 in "
              "{data}");
}

TEST(TrainingDataFileDeathTest, SetSizes) {
  const std::string wrongSize = "Wrong training/validation/test set size: ";
  expectFatal(countedData("0.5 0.2 0.1", 10), 173,
              wrongSize + "line 1 gives 0.5 0.2 0.1, which add up to less than 1");
  expectFatal(countedData("1 0 0", 0), 173, wrongSize + "the file holds no samples");
  // 1/11 of 4 rounds to 0 training samples; 2/1 of 4 is 8.
  expectFatal(countedData("1 5 5", 4), 173,
              wrongSize + "line 1 gives 1 5 5: 0 of the 4 samples would be training samples");
  expectFatal(countedData("2 0 -1", 4), 173,
              wrongSize + "line 1 gives 2 0 -1: 8 of the 4 samples would be training samples");
}

TEST(TrainingDataFileDeathTest, SplitThatCannotBeCarriedOut) {
  expectFatal(countedData("1 1 -1", 4), 173,
              "Wrong training/validation/test set size: 1 1 -1 cannot split 4 samples");
  expectFatal(countedData("1 -1 1", 4), 173,
              "Wrong training/validation/test set size: 1 -1 1 cannot split 4 samples");
}

TEST(TrainingDataFileDeathTest, LastSampleCutShort) {
  expectFatal(countedData("1 0 0", 3) + "7\n", 136,
              "Something is wrong with the samples: sample 4 of the training data file ends "
              "after 1 of its 2 values");
  expectFatal("1 0 0\n2 1\n0 1\n0 1\n0 1\n0.5 0.5 1\n0.5 x 1\n", 136,
              "Something is wrong with the samples: value 2 of sample 2 of the training data "
              "file is 'x', which is not a float",
              "2 1");
}

TEST(TrainingDataFileDeathTest, EmptyOrInvertedRange) {
  expectFatal("1 0 0\n1 1\n5 5\n0 1\n1 1\n", 136,
              "Wrong range of input 1 in the training data file: maximum 5 does not exceed "
              "minimum 5");
  expectFatal("1 0 0\n1 1\n0 1\n2 -1\n1 1\n", 136,
              "Wrong range of output 1 in the training data file: maximum -1 does not exceed "
              "minimum 2");
  // A file that ends inside its ranges.
  expectFatal("1 0 0\n1 1\n0\n", 136,
              "Something is wrong with the samples: the training data file is too short for "
              "its 4 range bounds");
  expectFatal("1 0 0\n1 1\n0     1    0\n", 136,
              "Something is wrong with the samples: the training data file ends at range bound "
              "4 of 4");
}

}  // namespace
