#include "experiments/timing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/experiments/experiment_files.h"
#include "tests/support/test_support.h"

namespace {

using experiment_test::hasDevice;
using experiment_test::lines;
using experiment_test::readFile;
using experiment_test::writeFile;

const char kLayersConfig[] = "nn_config_file_num_layers_timing.txt";
const char kNeuronsConfig[] = "nn_config_file_neur_in_layer_timing.txt";
const char kNumber[] = "[-+0-9.e]+";

// Checks a result file: the header, then one "count;seconds" line per expected count, in
// order, each time a non-negative number.
void expectResultFile(const std::string& fileName, const std::string& header,
                      const std::vector<int>& counts) {
  const std::string text = readFile(fileName);
  ASSERT_FALSE(text.empty()) << fileName;
  EXPECT_EQ(text.back(), '\n');
  const std::vector<std::string> rows = lines(text);
  ASSERT_EQ(rows.size(), counts.size() + 1) << text;
  EXPECT_EQ(rows[0], header);
  for (size_t i = 0; i < counts.size(); ++i) {
    const std::string& row = rows[i + 1];
    const size_t separator = row.find(';');
    ASSERT_NE(separator, std::string::npos) << row;
    EXPECT_EQ(row.substr(0, separator), std::to_string(counts[i]));
    size_t used = 0;
    const double seconds = std::stod(row.substr(separator + 1), &used);
    EXPECT_EQ(used, row.size() - separator - 1) << row;
    EXPECT_GE(seconds, 0.0);
  }
}

TEST(HiddenLayerGrowth, AddsLayersUpToTheCountAndNeverShrinks) {
  std::vector<int> layers{9, 1};
  growHiddenLayers(layers, 0, 4, 1);
  EXPECT_EQ(layers, (std::vector<int>{9, 1}));
  growHiddenLayers(layers, 1, 4, 1);
  EXPECT_EQ(layers, (std::vector<int>{9, 4, 1}));
  growHiddenLayers(layers, 3, 4, 1);
  EXPECT_EQ(layers, (std::vector<int>{9, 4, 4, 4, 1}));
  growHiddenLayers(layers, 2, 4, 1);
  EXPECT_EQ(layers, (std::vector<int>{9, 4, 4, 4, 1}));

  std::vector<int> twoOutputs{5, 2};
  growHiddenLayers(twoOutputs, 2, 7, 2);
  EXPECT_EQ(twoOutputs, (std::vector<int>{5, 7, 7, 2}));
}

TEST(ConfigurationText, EverySizeFollowedByOneSpaceWithoutLineBreak) {
  EXPECT_EQ(configurationText({9, 12, 1}), "9 12 1 ");
  EXPECT_EQ(configurationText({9, 1}), "9 1 ");
}

class Timing : public experiment_test::ExperimentDirectoryTest {
 protected:
  LayerTimingSettings layerSettings(int type, int first, int step, int last) {
    return {type, first, step, last, 3, "layers.csv", 2, 9, 1, "data.txt", "params.txt", 30};
  }
  NeuronTimingSettings neuronSettings(int type, int first, int step, int last) {
    return {type, first, step, last, "neurons.csv", 2, 9, 1, "data.txt", "params.txt", 30, 2};
  }
};

TEST_F(Timing, NumberOfLayersFromNoneToTwoHiddenLayers) {
  for (int type : {5, 0}) {
    SCOPED_TRACE(type);
    test_support::captureStdout();
    timeNumberOfLayers(layerSettings(type, 0, 1, 2));
    const std::string out = test_support::capturedStdout();
    expectResultFile("layers.csv", "layers;time (s)", {0, 1, 2});
    // The last network was (9, 3, 3, 1).
    EXPECT_EQ(readFile(kLayersConfig), "9 3 3 1 ");
    const std::string n = kNumber;
    EXPECT_TRUE(
        testing::internal::RE::FullMatch(out, "i=0 " + n + "\ni=1 " + n + "\ni=2 " + n + "\n"))
        << out;
  }
}

// Each count of the range on its own: the network of n hidden layers is (9, 3 x n, 1).
TEST_F(Timing, NumberOfLayersBuildsTheTopologyOfEachCount) {
  const char* expected[] = {"9 1 ", "9 3 1 ", "9 3 3 1 "};
  for (int n = 0; n < 3; ++n) {
    SCOPED_TRACE(n);
    test_support::captureStdout();
    timeNumberOfLayers(layerSettings(5, n, 1, n));
    test_support::capturedStdout();
    EXPECT_EQ(readFile(kLayersConfig), expected[n]);
    expectResultFile("layers.csv", "layers;time (s)", {n});
  }
}

TEST_F(Timing, NumberOfLayersStartingAboveZeroBuildsAllLayersAtOnce) {
  test_support::captureStdout();
  timeNumberOfLayers(layerSettings(5, 2, 2, 5));
  test_support::capturedStdout();
  expectResultFile("layers.csv", "layers;time (s)", {2, 4});
  EXPECT_EQ(readFile(kLayersConfig), "9 3 3 3 3 1 ");
}

TEST_F(Timing, NeuronsInLayerWithTwoHiddenLayers) {
  test_support::captureStdout();
  timeNeuronsInLayer(neuronSettings(5, 5, 5, 15));
  const std::string out = test_support::capturedStdout();
  expectResultFile("neurons.csv", "neurons in layer;time (s)", {5, 10, 15});
  EXPECT_EQ(readFile(kNeuronsConfig), "9 15 15 1 ");
  // (9, 5, 5, 1): 5*10 + 5*6 + 6 = 86; (9, 10, 10, 1): 100 + 110 + 11 = 221;
  // (9, 15, 15, 1): 150 + 240 + 16 = 406.
  const std::string n = kNumber;
  EXPECT_TRUE(testing::internal::RE::FullMatch(out, "i=5 " + n + "   total weights=86\ni=10 " + n +
                                                        "   total weights=221\ni=15 " + n +
                                                        "   total weights=406\n"))
      << out;
}

TEST_F(Timing, NeuronsInLayerWithParticleSwarm) {
  NeuronTimingSettings settings = neuronSettings(0, 2, 1, 3);
  settings.hiddenLayers = 1;
  test_support::captureStdout();
  timeNeuronsInLayer(settings);
  const std::string out = test_support::capturedStdout();
  expectResultFile("neurons.csv", "neurons in layer;time (s)", {2, 3});
  EXPECT_EQ(readFile(kNeuronsConfig), "9 3 1 ");
  EXPECT_NE(out.find("   total weights=23\n"), std::string::npos) << out;
  EXPECT_NE(out.find("   total weights=34\n"), std::string::npos) << out;
}

TEST_F(Timing, SampleSizeDescendsOnOneNetwork) {
  writeFile("big.txt", experiment_test::trainingData(300, 5, 5));
  writeFile("net.cfg", "9 3 1 ");
  test_support::captureStdout();
  timeSampleSize(5, 100, 100, 300, "samples.csv", 2, "net.cfg", "big.txt", "params.txt");
  const std::string out = test_support::capturedStdout();
  expectResultFile("samples.csv", "samples; time (s)", {300, 200, 100});
  EXPECT_EQ(out, "i = 300\ni = 200\ni = 100\n");
}

TEST_F(Timing, EmptyRangeWritesOnlyTheHeader) {
  writeFile("net.cfg", "9 3 1 ");
  test_support::captureStdout();
  timeNumberOfLayers(layerSettings(5, 3, 1, 2));
  timeNeuronsInLayer(neuronSettings(5, 20, 0, 10));  // a step that does not matter
  timeSampleSize(5, 30, 10, 20, "samples.csv", 2, "net.cfg", "data.txt", "params.txt");
  EXPECT_EQ(test_support::capturedStdout(), "");
  EXPECT_EQ(readFile("layers.csv"), "layers;time (s)\n");
  EXPECT_EQ(readFile("neurons.csv"), "neurons in layer;time (s)\n");
  EXPECT_EQ(readFile("samples.csv"), "samples; time (s)\n");
  EXPECT_FALSE(std::filesystem::exists(kLayersConfig));
  EXPECT_FALSE(std::filesystem::exists(kNeuronsConfig));
}

TEST_F(Timing, ResultFileThatCannotBeOpenedIsFatal) {
  LayerTimingSettings layers = layerSettings(5, 0, 1, 1);
  layers.csvFile = "missing/layers.csv";
  EXPECT_EXIT(
      timeNumberOfLayers(layers), ::testing::ExitedWithCode(255),
      "^Error opening output file \\(num layers timings\\): missing/layers.csv: no such file "
      "or directory\n$");
  NeuronTimingSettings neurons = neuronSettings(5, 1, 1, 1);
  neurons.csvFile = "missing/neurons.csv";
  EXPECT_EXIT(timeNeuronsInLayer(neurons), ::testing::ExitedWithCode(255),
              "^Error opening output file file \\(num neurons in layer timings\\): "
              "missing/neurons.csv: no such file or directory\n$");
  EXPECT_EXIT(
      timeSampleSize(5, 10, 10, 10, "missing/samples.csv", 1, "net.cfg", "data.txt", "params.txt"),
      ::testing::ExitedWithCode(255),
      "^Error opening file \\(sample size stats\\): missing/samples.csv: no such file or "
      "directory\n$");
}

TEST_F(Timing, ConfigurationFileThatCannotBeOpenedIsFatal) {
  std::filesystem::create_directory(kLayersConfig);
  std::filesystem::create_directory(kNeuronsConfig);
  EXPECT_EXIT(timeNumberOfLayers(layerSettings(5, 0, 1, 1)), ::testing::ExitedWithCode(255),
              "^Error opening config file \\(num layers timings\\): "
              "nn_config_file_num_layers_timing.txt: is a directory\n$");
  EXPECT_EXIT(timeNeuronsInLayer(neuronSettings(5, 1, 1, 1)), ::testing::ExitedWithCode(255),
              "^Error opening config file \\(num neurons in layer timings\\): "
              "nn_config_file_neur_in_layer_timing.txt: is a directory\n$");
}

// A step that cannot reach the end of the range would measure forever; the result file
// is left as it was.
TEST_F(Timing, StepThatNeverEndsTheRangeIsFatal) {
  writeFile("layers.csv", "earlier results\n");
  EXPECT_EXIT(timeNumberOfLayers(layerSettings(5, 0, 0, 2)), ::testing::ExitedWithCode(255),
              "^Wrong range step: 0 from 0 to 2 \\(at least 1\\)\n$");
  EXPECT_EXIT(timeNeuronsInLayer(neuronSettings(5, 5, -5, 15)), ::testing::ExitedWithCode(255),
              "^Wrong range step: -5 from 5 to 15 \\(at least 1\\)\n$");
  EXPECT_EXIT(timeSampleSize(5, 10, 0, 20, "layers.csv", 1, "net.cfg", "data.txt", "params.txt"),
              ::testing::ExitedWithCode(255),
              "^Wrong range step: 0 from 10 to 20 \\(at least 1\\)\n$");
  EXPECT_EQ(readFile("layers.csv"), "earlier results\n");
}

// Cutting the training set to more samples than the file holds would time rows of zeros.
TEST_F(Timing, MoreTrainingSamplesThanTheFileHoldsIsFatal) {
  LayerTimingSettings layers = layerSettings(5, 0, 1, 1);
  layers.trainingSamples = 31;
  const std::string has = " asked of the 30 the network holds\n$";
  EXPECT_EXIT(timeNumberOfLayers(layers), ::testing::ExitedWithCode(255),
              "^Wrong number of training samples: 31" + has);
  NeuronTimingSettings neurons = neuronSettings(5, 1, 1, 1);
  neurons.trainingSamples = -1;
  EXPECT_EXIT(timeNeuronsInLayer(neurons), ::testing::ExitedWithCode(255),
              "^Wrong number of training samples: -1" + has);
  writeFile("net.cfg", "9 3 1 ");
  EXPECT_EXIT(timeSampleSize(5, 10, 10, 40, "samples.csv", 1, "net.cfg", "data.txt", "params.txt"),
              ::testing::ExitedWithCode(255), "^Wrong number of training samples: 40" + has);
}

// Every result line reaches the file as it is measured: a failure later in the series
// keeps the measurements before it.
TEST_F(Timing, MeasurementsBeforeAFailureAreKept) {
  writeFile("net.cfg", "9 3 1 ");
  EXPECT_EXIT(
      {
        test_support::captureStdout();
        timeSampleSize(5, -20, 20, 20, "samples.csv", 1, "net.cfg", "data.txt", "params.txt");
      },
      ::testing::ExitedWithCode(255),
      "^Wrong number of training samples: -20 asked of the 0 the network holds\n$");
  expectResultFile("samples.csv", "samples; time (s)", {20, 0});
}

TEST_F(Timing, OpenClCpuBackPropagation) {
  if (!hasDevice(CL_DEVICE_TYPE_CPU)) GTEST_SKIP() << "no OpenCL device of type CPU";
  test_support::captureStdout();
  timeNumberOfLayers(layerSettings(7, 1, 1, 1));
  test_support::capturedStdout();
  expectResultFile("layers.csv", "layers;time (s)", {1});
}

}  // namespace
