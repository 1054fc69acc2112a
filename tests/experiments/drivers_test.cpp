#include "experiments/drivers.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/experiments/experiment_files.h"
#include "tests/support/test_support.h"

namespace {

using experiment_test::hasDevice;
using experiment_test::lines;
using experiment_test::readFile;
using experiment_test::writeFile;

const std::vector<std::string> kPsoSuffixes = {"_PSO CPU.csv", "_PSO local GPU.csv",
                                               "_PSO private GPU.csv", "_PSO local CPU.csv",
                                               "_PSO private CPU.csv"};
const std::vector<std::string> kBpSuffixes = {"_BP CPU.csv", "_BP OpenCL GPU.csv",
                                              "_BP OpenCL CPU.csv"};

bool exitedWithFailure(int status) { return WIFEXITED(status) && WEXITSTATUS(status) != 0; }

class Drivers : public experiment_test::ExperimentDirectoryTest {
 protected:
  // The .csv files in the working directory.
  std::set<std::string> resultFiles() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
      const std::string name = entry.path().filename().string();
      if (name.size() > 4 && name.substr(name.size() - 4) == ".csv") names.insert(name);
    }
    return names;
  }
  std::set<std::string> named(const std::string& prefix, const std::vector<std::string>& suffixes) {
    std::set<std::string> names;
    for (const std::string& suffix : suffixes) names.insert(prefix + suffix);
    return names;
  }
  // The first counts of every result line of a file.
  std::vector<std::string> measuredCounts(const std::string& fileName) {
    std::vector<std::string> counts;
    const std::vector<std::string> rows = lines(readFile(fileName));
    for (size_t i = 1; i < rows.size(); ++i) counts.push_back(rows[i].substr(0, rows[i].find(';')));
    return counts;
  }
  bool bothDeviceTypes() { return hasDevice(CL_DEVICE_TYPE_CPU) && hasDevice(CL_DEVICE_TYPE_GPU); }
};

// With an empty range no network is built: only the named result files appear, each with
// its header line.
TEST_F(Drivers, EveryTrainerGetsItsResultFileInOrder) {
  test_support::captureStdout();
  runPSONeuronsInLayerTimings(2, 1, 1, 1, "neurons", 10);
  runBPNeuronsInLayerTimings(2, 1, 1, 1, "bp", 2, 10);
  runPSONumberOfLayersTimings(2, 1, 1, 1, "layers", 4, 10);
  EXPECT_EQ(test_support::capturedStdout(), "");

  std::set<std::string> expected = named("neurons", kPsoSuffixes);
  const std::set<std::string> bp = named("bp", kBpSuffixes);
  const std::set<std::string> layers = named("layers", kPsoSuffixes);
  expected.insert(bp.begin(), bp.end());
  expected.insert(layers.begin(), layers.end());
  EXPECT_EQ(resultFiles(), expected);
  for (const std::string& name : named("neurons", kPsoSuffixes)) {
    EXPECT_EQ(readFile(name), "neurons in layer;time (s)\n") << name;
  }
  for (const std::string& name : bp) EXPECT_EQ(readFile(name), "neurons in layer;time (s)\n");
  for (const std::string& name : layers) EXPECT_EQ(readFile(name), "layers;time (s)\n");
}

// The CPU trainer comes first in every driver. Without a GPU the run ends at the first
// GPU trainer, after the CPU trainer's file is complete; with both device types it runs
// every trainer.
TEST_F(Drivers, BackPropagationNeuronsInLayerReadsItsFixedFiles) {
  writeFile("BP_params.txt", "Iterations: 1\n");
  writeFile("BP_num_neur_in_layers_10_KTH-SP2-1996-2.1-cln.swf",
            experiment_test::trainingData(20, 5, 5));
  if (bothDeviceTypes()) {
    test_support::captureStdout();
    runBPNeuronsInLayerTimings(2, 1, 3, 1, "bp", 2, 20);
    test_support::capturedStdout();
    for (const std::string& name : named("bp", kBpSuffixes)) {
      EXPECT_EQ(measuredCounts(name), (std::vector<std::string>{"2", "3"})) << name;
    }
  } else if (!hasDevice(CL_DEVICE_TYPE_GPU)) {
    EXPECT_EXIT(
        {
          test_support::captureStdout();
          runBPNeuronsInLayerTimings(2, 1, 3, 1, "bp", 2, 20);
        },
        exitedWithFailure, "");
    EXPECT_EQ(measuredCounts("bp_BP CPU.csv"), (std::vector<std::string>{"2", "3"}));
    // The GPU trainer's first network, with the two hidden layers of the call.
    EXPECT_EQ(readFile("nn_config_file_neur_in_layer_timing.txt"), "9 2 2 1 ");
  } else {
    GTEST_SKIP() << "a GPU but no OpenCL CPU device";
  }
}

TEST_F(Drivers, ParticleSwarmDriversReadTheirFixedFiles) {
  const std::string data = experiment_test::trainingData(20, 5, 5);
  writeFile("PSO_params_neurons_in_layer_timings.txt", experiment_test::kParameters);
  writeFile("neurons_in_layer_KTH-SP2-1996-2.1-cln.swf", data);
  writeFile("PSO_params_num_layers_timings.txt", experiment_test::kParameters);
  writeFile("num_layers_KTH-SP2-1996-2.1-cln.swf", data);
  writeFile("PSO_params_samples_timings.txt", experiment_test::kParameters);
  writeFile("samples_KTH-SP2-1996-2.1-cln.swf", data);
  writeFile("nn_config_sample_size_timings.txt", "9 3 1 ");

  if (bothDeviceTypes()) {
    test_support::captureStdout();
    runPSONeuronsInLayerTimings(2, 2, 4, 1, "neurons", 20);
    runPSONumberOfLayersTimings(0, 1, 1, 1, "layers", 3, 20);
    runPSOSampleSizeTimings(10, 10, 20, 1, "samples");
    test_support::capturedStdout();
    for (const std::string& suffix : kPsoSuffixes) {
      SCOPED_TRACE(suffix);
      EXPECT_EQ(measuredCounts("neurons" + suffix), (std::vector<std::string>{"2", "4"}));
      EXPECT_EQ(measuredCounts("layers" + suffix), (std::vector<std::string>{"0", "1"}));
      EXPECT_EQ(measuredCounts("samples" + suffix), (std::vector<std::string>{"20", "10"}));
    }
  } else if (!hasDevice(CL_DEVICE_TYPE_GPU)) {
    EXPECT_EXIT(
        {
          test_support::captureStdout();
          runPSONeuronsInLayerTimings(2, 2, 4, 1, "neurons", 20);
        },
        exitedWithFailure, "");
    EXPECT_EQ(measuredCounts("neurons_PSO CPU.csv"), (std::vector<std::string>{"2", "4"}));
    EXPECT_EXIT(
        {
          test_support::captureStdout();
          runPSONumberOfLayersTimings(0, 1, 1, 1, "layers", 3, 20);
        },
        exitedWithFailure, "");
    EXPECT_EQ(measuredCounts("layers_PSO CPU.csv"), (std::vector<std::string>{"0", "1"}));
    EXPECT_EXIT(
        {
          test_support::captureStdout();
          runPSOSampleSizeTimings(10, 10, 20, 1, "samples");
        },
        exitedWithFailure, "");
    EXPECT_EQ(measuredCounts("samples_PSO CPU.csv"), (std::vector<std::string>{"20", "10"}));
  } else {
    GTEST_SKIP() << "a GPU but no OpenCL CPU device";
  }
}

}  // namespace
