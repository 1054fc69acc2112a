#include "experiments/timings_cli.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "experiments/data_sets.h"
#include "experiments/drivers.h"
#include "tests/experiments/experiment_files.h"
#include "tests/support/test_support.h"

namespace {

using experiment_test::lines;
using experiment_test::readFile;
using experiment_test::writeFile;

const char* const kCommands[] = {"layers",      "neurons",    "samples",     "pso-neurons",
                                 "bp-neurons",  "pso-layers", "pso-samples", "train-data-sets",
                                 "fastest-pso", "lift-chart", "make-data",   "make-data-sets"};

struct RunResult {
  int status;
  std::string out;
  std::string err;
};

RunResult runTimingsWith(std::initializer_list<const char*> args) {
  std::vector<const char*> argv{"ombra-timings"};
  argv.insert(argv.end(), args);
  test_support::captureStdout();
  test_support::captureStderr();
  const int status = runTimings(static_cast<int>(argv.size()), argv.data());
  RunResult result{status, test_support::capturedStdout(), test_support::capturedStderr()};
  return result;
}

class TimingsCommandLine : public experiment_test::ExperimentDirectoryTest {};

TEST_F(TimingsCommandLine, ProgramHelpListsEveryCommand) {
  for (const char* help : {"--help", "-h", "help"}) {
    const RunResult result = runTimingsWith({help});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    for (const char* command : kCommands) {
      EXPECT_NE(result.out.find(std::string("\n  ") + command + " "), std::string::npos) << command;
    }
    EXPECT_NE(result.out.find("4 PSO_local_CPU"), std::string::npos);
  }
  const RunResult version = runTimingsWith({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("ombra-timings ") + PROJECT_VERSION + "\n");
}

TEST_F(TimingsCommandLine, EveryCommandHasHelpThatRunsNothing) {
  for (const char* command : kCommands) {
    SCOPED_TRACE(command);
    // --help wins over arguments that would be refused or would run something.
    const RunResult result = runTimingsWith({command, "--step", "0", "--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind(std::string("Usage: ombra-timings ") + command + " [options]\n", 0),
              0u)
        << result.out;
    EXPECT_NE(result.out.find("  --help "), std::string::npos);
    EXPECT_EQ(result.err, "");
  }
  EXPECT_NE(runTimingsWith({"layers", "-h"})
                .out.find("  --hidden-neurons N      neurons in every hidden "
                          "layer (default: 10)\n"),
            std::string::npos);
}

TEST_F(TimingsCommandLine, MissingOrUnknownCommand) {
  RunResult result = runTimingsWith({});
  EXPECT_EQ(result.status, kUsageStatus);
  EXPECT_EQ(result.err, "ombra-timings: missing command\nTry 'ombra-timings --help'.\n");
  result = runTimingsWith({"timeNumberOfLayers"});
  EXPECT_EQ(result.status, kUsageStatus);
  EXPECT_EQ(result.err,
            "ombra-timings: unknown command 'timeNumberOfLayers'\nTry 'ombra-timings --help'.\n");
  EXPECT_EQ(result.out, "");
}

// A refused command line replaces no result file and builds no network.
TEST_F(TimingsCommandLine, BadArgumentsRunNothing) {
  writeFile("layers.csv", "earlier results\n");
  const struct {
    std::initializer_list<const char*> args;
    const char* message;
  } cases[] = {
      {{"layers", "--type", "BP", "--step", "0", "--data", "data.txt", "--params", "params.txt",
        "--samples", "30"},
       "layers: --step: must be at least 1, got 0"},
      {{"neurons", "--type", "5", "--step=-5", "--data", "data.txt", "--params", "params.txt",
        "--samples", "30", "--result", "layers.csv"},
       "neurons: --step: must be at least 1, got -5"},
      {{"samples", "--type", "5", "--first", "10", "--step", "0", "--last", "20", "--config",
        "net.cfg", "--data", "data.txt", "--params", "params.txt", "--result", "layers.csv"},
       "samples: --step: must be at least 1, got 0"},
      {{"layers", "--type", "8", "--data", "data.txt", "--params", "params.txt", "--samples", "30"},
       "layers: --type: '8' is neither a type number 0 to 7 nor a trainer (PSO, PSO_private_GPU, "
       "PSO_private_CPU, PSO_local_GPU, PSO_local_CPU, BP, BP_GPU, BP_CPU)"},
      {{"layers", "--type", "BP", "--iterations", "0", "--data", "data.txt", "--params",
        "params.txt", "--samples", "30"},
       "layers: --iterations: must be at least 1, got 0"},
      {{"layers", "--type", "BP", "--data", "data.txt", "--params", "params.txt", "--samples",
        "-1"},
       "layers: --samples: must be at least 1, got -1"},
      {{"layers", "--type", "BP", "--data", "data.txt", "--params", "params.txt"},
       "layers: missing required option --samples"},
      {{"pso-layers", "--step", "0", "--samples", "30"},
       "pso-layers: --step: must be at least 1, got 0"},
      {{"pso-samples", "--first", "10", "--last", "20"},
       "pso-samples: missing required option --step"},
      {{"bp-neurons", "--samples", "30", "--hidden-layers", "0"},
       "bp-neurons: --hidden-layers: must be at least 1, got 0"},
      {{"make-data"}, "make-data: missing required option --log"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const RunResult result = runTimingsWith(c.args);
    EXPECT_EQ(result.status, kUsageStatus);
    const std::string command = *c.args.begin();
    EXPECT_EQ(result.err, std::string("ombra-timings: ") + c.message + "\nTry 'ombra-timings " +
                              command + " --help'.\n");
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(readFile("layers.csv"), "earlier results\n");
  EXPECT_FALSE(std::filesystem::exists("nn_config_file_num_layers_timing.txt"));
  EXPECT_FALSE(std::filesystem::exists("nn_config_file_neur_in_layer_timing.txt"));
}

TEST_F(TimingsCommandLine, LayersAndNeuronsReachTheExperiments) {
  RunResult result =
      runTimingsWith({"layers", "--type=BP", "--first", "0", "--last", "2", "--hidden-neurons", "3",
                      "--iterations", "1", "--data", "data.txt", "--params", "params.txt",
                      "--samples", "20", "--result", "l.csv"});
  EXPECT_EQ(result.status, 0) << result.err;
  std::vector<std::string> rows = lines(readFile("l.csv"));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], "layers;time (s)");
  EXPECT_EQ(rows[3].substr(0, 2), "2;");
  EXPECT_EQ(readFile("nn_config_file_num_layers_timing.txt"), "9 3 3 1 ");

  result = runTimingsWith(
      {"neurons", "--type",   "0",        "--first",         "2",          "--step",
       "2",       "--last",   "4",        "--hidden-layers", "2",          "--iterations",
       "1",       "--data",   "data.txt", "--params",        "params.txt", "--samples",
       "30",      "--result", "n.csv"});
  EXPECT_EQ(result.status, 0) << result.err;
  rows = lines(readFile("n.csv"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], "neurons in layer;time (s)");
  EXPECT_EQ(rows[2].substr(0, 2), "4;");
  EXPECT_EQ(readFile("nn_config_file_neur_in_layer_timing.txt"), "9 4 4 1 ");
  // (9, 4, 4, 1): 4 * 10 + 4 * 5 + 5 weights.
  EXPECT_NE(result.out.find("   total weights=65\n"), std::string::npos) << result.out;
}

TEST_F(TimingsCommandLine, SamplesDescendAndTheLiftChartHasOneLinePerTestSample) {
  writeFile("net.cfg", "9 3 1 ");
  RunResult result = runTimingsWith({"samples", "--type", "BP", "--first", "10", "--step", "10",
                                     "--last", "30", "--iterations", "1", "--config", "net.cfg",
                                     "--data", "data.txt", "--params", "params.txt"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "i = 30\ni = 20\ni = 10\n");
  const std::vector<std::string> rows = lines(readFile("samples.csv"));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], "samples; time (s)");
  EXPECT_EQ(rows[1].substr(0, 3), "30;");

  result = runTimingsWith({"lift-chart", "--type", "PSO", "--config", "net.cfg", "--data",
                           "data.txt", "--params", "params.txt", "--result", "lift.txt"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("Test set MSE= "), std::string::npos) << result.out;
  const std::vector<std::string> chart = lines(readFile("lift.txt"));
  ASSERT_EQ(chart.size(), 6u);
  EXPECT_EQ(chart[0], "is Positive;output");
}

// Runs a command that must end the process; returns nothing, the death test checks it.
void runToDeath(std::initializer_list<const char*> args) {
  std::vector<const char*> argv{"ombra-timings"};
  argv.insert(argv.end(), args);
  test_support::captureStdout();
  runTimings(static_cast<int>(argv.size()), argv.data());
}

// An output that is one of the inputs, an input that is the topology file the experiment
// rewrites, a data file that is missing and a range beyond the weight limit: each is refused
// before any result file is touched.
TEST_F(TimingsCommandLine, RunsThatWouldDestroyOrNeverStartKeepThePreviousResults) {
  writeFile("net.cfg", "9 3 1 ");
  writeFile("layers.csv", "earlier results\n");
  writeFile("samples.csv", "earlier results\n");
  const std::string data = readFile("data.txt");
  // A training data file kept under the name of the topology file the experiment rewrites.
  writeFile("nn_config_file_num_layers_timing.txt", data);
  EXPECT_EXIT(
      runToDeath({"layers", "--type", "BP", "--data", "nn_config_file_num_layers_timing.txt",
                  "--params", "params.txt", "--samples", "30"}),
      ::testing::ExitedWithCode(255),
      "^The configuration file the experiment writes "
      "nn_config_file_num_layers_timing.txt is the same file as the training data file "
      "nn_config_file_num_layers_timing.txt\n$");
  EXPECT_EQ(readFile("nn_config_file_num_layers_timing.txt"), data);
  const struct {
    std::initializer_list<const char*> args;
    int status;
    const char* message;
  } cases[] = {
      {{"layers", "--type", "BP", "--data", "data.txt", "--params", "params.txt", "--samples", "30",
        "--result", "data.txt"},
       255,
       "The result file data.txt is the same file as the training data file data.txt"},
      {{"samples", "--type", "BP", "--first", "10", "--step", "10", "--last", "20", "--config",
        "net.cfg", "--data", "data.txt", "--params", "params.txt", "--result", "./params.txt"},
       255,
       "The result file ./params.txt is the same file as the parameters file params.txt"},
      {{"lift-chart", "--type", "BP", "--config", "net.cfg", "--data", "data.txt", "--params",
        "params.txt", "--result", "net.cfg"},
       255,
       "The lift-chart file net.cfg is the same file as the configuration file net.cfg"},
      {{"lift-chart", "--type", "BP", "--config", "net.cfg", "--data", "data.txt", "--params",
        "params.txt", "--result", "missing/lift.csv"},
       255,
       "Error opening file: missing/lift.csv: no such file or directory"},
      {{"layers", "--type", "BP", "--data", "missing.txt", "--params", "params.txt", "--samples",
        "30"},
       -7 & 255,
       "Error opening file: missing.txt: no such file or directory"},
      // The kernel source is an input of every OpenCL run: never a result.
      {{"layers", "--type", "BP", "--data", "data.txt", "--params", "params.txt", "--samples", "30",
        "--result", "NN_kernels.cl"},
       255,
       "Error opening output file \\(num layers timings\\): NN_kernels.cl: the OpenCL kernel "
       "source, not a timing result file"},
      {{"lift-chart", "--type", "BP", "--config", "net.cfg", "--data", "data.txt", "--params",
        "params.txt", "--result", "NN_kernels.cl"},
       255,
       "Error opening file: NN_kernels.cl: the OpenCL kernel source, not a lift-chart file"},
      {{"samples", "--type", "BP", "--first", "10", "--step", "10", "--last", "20", "--config",
        "net.cfg", "--data", "missing.txt", "--params", "params.txt"},
       -7 & 255,
       "Error opening file: missing.txt: no such file or directory"},
      {{"layers", "--type", "BP", "--first", "1000000000", "--last", "1000000000", "--data",
        "data.txt", "--params", "params.txt", "--samples", "30"},
       255,
       "Wrong range: 1000000000 hidden layers of 10 neurons exceed the 268435456 weights a "
       "network may have"},
      {{"neurons", "--type", "BP", "--first", "1", "--step", "10000", "--last", "40000",
        "--hidden-layers", "2", "--data", "data.txt", "--params", "params.txt", "--samples", "30"},
       255,
       "Wrong range: 2 hidden layers of 30001 neurons exceed the 268435456 weights a network "
       "may have"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EXIT(runToDeath(c.args), ::testing::ExitedWithCode(c.status),
                std::string("^") + c.message + "\n$");
  }
  EXPECT_EQ(readFile("layers.csv"), "earlier results\n");
  EXPECT_EQ(readFile("samples.csv"), "earlier results\n");
  EXPECT_EQ(readFile("data.txt"), data);
  EXPECT_EQ(readFile("net.cfg"), "9 3 1 ");
  EXPECT_EQ(readFile("NN_kernels.cl"), readFile(KERNELS_PATH));
}

TEST_F(TimingsCommandLine, FailuresInsideAnExperimentKeepTheirStatus) {
  const char* argv[] = {"ombra-timings", "layers",     "--type",    "BP", "--data", "data.txt",
                        "--params",      "params.txt", "--samples", "31", "--last", "0"};
  EXPECT_EXIT(
      {
        test_support::captureStdout();
        runTimings(12, argv);
      },
      ::testing::ExitedWithCode(255),
      "^Wrong number of training samples: 31 asked of the 30 the network holds\n$");
}

// make-data runs the real tallis on the bundled demo log.
TEST_F(TimingsCommandLine, MakeDataWritesTheDriversFilesAndKeepsTunedOnes) {
  writeFile(kBPNeuronsInLayerParameters, "Learning rate: 0.5\n");
  const std::string log = std::string(SOURCE_DIR) + "/data/demo/demo.swf";
  const RunResult result =
      runTimingsWith({"make-data", "--log", log.c_str(), "--tallis", TALLIS_PATH});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::string data = readFile(kNeuronsInLayerData);
  EXPECT_EQ(lines(data).at(1), "9 1");
  for (const char* copy : {kBPNeuronsInLayerData, kNumberOfLayersData, kSampleSizeData}) {
    EXPECT_EQ(readFile(copy), data) << copy;
  }
  EXPECT_EQ(readFile(kBPNeuronsInLayerParameters), "Learning rate: 0.5\n");
  EXPECT_NE(result.out.find(std::string("Kept: ") + kBPNeuronsInLayerParameters + "\n"),
            std::string::npos);
  for (const char* written :
       {kPSONeuronsInLayerParameters, kPSONumberOfLayersParameters, kPSOSampleSizeParameters}) {
    EXPECT_NE(readFile(written).find("Population size: "), std::string::npos) << written;
  }
  EXPECT_EQ(readFile(kSampleSizeConfiguration), "9 10 1 ");
}

TEST_F(TimingsCommandLine, MakeDataReportsATallisThatFails) {
  RunResult result = runTimingsWith({"make-data", "--log", "missing.swf", "--tallis", TALLIS_PATH});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(
      result.err.find("ombra-timings: " + std::string(TALLIS_PATH) + " failed with status 1\n"),
      std::string::npos)
      << result.err;
  result = runTimingsWith({"make-data", "--log", "missing.swf", "--tallis", "./no-such-tallis"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err.rfind("ombra-timings: cannot run ./no-such-tallis", 0), 0u) << result.err;
  // Without --tallis the program runs the tallis built beside it, not one on the search path.
  const test_support::ProgramRun beside =
      test_support::runProgram(std::string(OMBRA_TIMINGS_PATH) + " make-data --log missing.swf");
  EXPECT_EQ(beside.status, 1);
  EXPECT_NE(beside.err.find("/tallis failed with status 1\n"), std::string::npos) << beside.err;
  EXPECT_FALSE(std::filesystem::exists(kNeuronsInLayerData));
}

// The training data files these commands write must not be the logs they read.
TEST_F(TimingsCommandLine, MakeDataNeverWritesOverALog) {
  writeFile(kNumberOfLayersData, "; a workload log\n");
  RunResult result =
      runTimingsWith({"make-data", "--log", kNumberOfLayersData, "--tallis", TALLIS_PATH});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, std::string("ombra-timings: ") + kNumberOfLayersData +
                            " is the workload log " + kNumberOfLayersData +
                            ": refusing to write training data over it\n");
  EXPECT_EQ(readFile(kNumberOfLayersData), "; a workload log\n");
  EXPECT_FALSE(std::filesystem::exists(kNeuronsInLayerData));

  // In the logs' own folder, the suffix ".gz" names the compressed twin of a plain log.
  for (const char* name : kDataSetNames) writeFile(name, "; a workload log\n");
  const std::string twin = std::string(kDataSetNames[3]) + ".gz";
  writeFile(twin, "compressed log");
  result =
      runTimingsWith({"make-data-sets", "--logs", ".", "--suffix", ".gz", "--tallis", TALLIS_PATH});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "ombra-timings: " + twin + " is the workload log ./" + twin +
                            ": refusing to write training data over it\n");
  EXPECT_EQ(readFile(twin), "compressed log");
}

// Seven links to the demo log stand for the seven workload logs, one of them compressed.
TEST_F(TimingsCommandLine, MakeDataSetsRunsTallisOnEveryLogOrOnNone) {
  const std::string demo = std::string(SOURCE_DIR) + "/data/demo/demo.swf";
  std::filesystem::create_directory("logs");
  for (int i = 1; i < 7; ++i) {
    std::filesystem::create_symlink(demo, std::string("logs/") + kDataSetNames[i]);
  }
  RunResult result = runTimingsWith({"make-data-sets", "--logs", "logs", "--tallis", TALLIS_PATH});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, std::string("ombra-timings: no workload log ") + kDataSetNames[0] +
                            " (or " + kDataSetNames[0] + ".gz) in logs\n");
  EXPECT_EQ(result.out, "");

  const std::string gzip = "gzip -c '" + demo + "' > 'logs/" + kDataSetNames[0] + ".gz'";
  ASSERT_EQ(std::system(gzip.c_str()), 0);
  result = runTimingsWith(
      {"make-data-sets", "--logs", "logs", "--suffix", "_t.dat", "--tallis", TALLIS_PATH});
  ASSERT_EQ(result.status, 0) << result.err;
  // tallis deletes random completed jobs, so only the counts and sizes must agree.
  const std::vector<std::string> first = lines(readFile(std::string(kDataSetNames[0]) + "_t.dat"));
  ASSERT_GT(first.size(), 2u);
  EXPECT_EQ(first[1], "9 1");
  for (const char* name : kDataSetNames) {
    const std::vector<std::string> rows = lines(readFile(std::string(name) + "_t.dat"));
    ASSERT_GT(rows.size(), 2u) << name;
    EXPECT_EQ(rows.size(), first.size()) << name;
    EXPECT_EQ(rows[0], first[0]) << name;
    EXPECT_EQ(rows[1], "9 1") << name;
    EXPECT_NE(result.out.find(std::string("Training data: ") + name + "_t.dat\n"),
              std::string::npos);
  }
}

}  // namespace
