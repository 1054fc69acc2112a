// Write failures of ombra's files: a full disk, a folder that cannot hold the file, a file
// size limit part-way. Each is reported with its message and status 255, nothing after the
// failed save runs, and a file already there keeps its content.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <memory>
#include <sstream>
#include <string>

#include "tests/nn/test_network.h"

namespace {

// 12 inputs, 100 hidden neurons, 1 output: a network file of 5,772 bytes.
const char* configuration = "12 100 1";

std::string trainingData() {
  std::ostringstream data;
  data << "6 2 2\n12 1\n";
  for (int j = 0; j < 12; ++j) data << "-1.25 11.25\n";
  data << "-0.125 1.125\n";
  for (int s = 0; s < 10; ++s) {
    for (int j = 0; j < 12; ++j) data << (s * 7 + j * 3) % 11 << '\t';
    data << s % 2 << "\t\n";
  }
  return data.str();
}

class OmbraSave : public testing::Test {
 protected:
  void SetUp() override {
    folder.write("net.cfg", configuration);
    folder.write("train.dat", trainingData());
    folder.write("bp.txt", "Iterations: 1\n");
  }
  // Trains for one epoch and saves under networkFile; shellSetup runs first (ulimit...).
  CommandResult train(const std::string& networkFile, const std::string& shellSetup = "") {
    return runCommand(shellSetup + "cd '" + folder.path() + "' && '" + OMBRA_PATH +
                          "' BP net.cfg train.dat bp.txt '" + networkFile + "' </dev/null",
                      folder);
  }
  TemporaryFolder folder;
};

TEST_F(OmbraSave, FullDiskIsReportedAndNothingRunsAfterIt) {
  const CommandResult result = train("/dev/full");
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.err, "Error writing file: /dev/full\n");
  EXPECT_NE(result.out.find("Test set TPR= "), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("Input:"), std::string::npos) << result.out;
}

TEST_F(OmbraSave, FolderThatCannotHoldTheFile) {
  // A path under a regular file, and one under a missing folder, fail for root as well.
  folder.write("plain.txt", "not a folder");
  for (const std::string& name : {folder.file("plain.txt/net.bin"), folder.file("none/net.bin")}) {
    SCOPED_TRACE(name);
    const CommandResult result = train(name);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "Error opening file: " + name + "\n");
    EXPECT_EQ(result.out.find("Input:"), std::string::npos);
  }
}

TEST_F(OmbraSave, FileSizeLimitPartWayKeepsThePreviousFile) {
  const std::string name = folder.write("net.bin", "previous network");
  // Writes past 4 KiB fail (EFBIG, not SIGXFSZ); standard output stays below that.
  const CommandResult result = train(name, "ulimit -f 4 && ");
  EXPECT_EQ(result.status, 255) << result.err;
  EXPECT_EQ(result.err, "Error writing file: " + name + "\n");
  EXPECT_EQ(readWholeFile(name), "previous network");
  // No temporary file is left beside it.
  EXPECT_EQ(runCommand("ls -A '" + folder.path() + "' | grep -c '^\\.net'", folder).out, "0\n");
}

TEST_F(OmbraSave, SavedNetworkReplacesThePreviousFileWhenAllGoesWell) {
  const std::string name = folder.write("net.bin", "previous network");
  const CommandResult result = train(name);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(readWholeFile(name).size(), 4u + 12 + 4 * 1401 + 8 * 12 + 8);
}

TEST(OmbraAnswers, UnwritableAnswersEndTheRunWithAMessage) {
  TemporaryFolder folder;
  const std::string name =
      folder.write("net.bin", networkFileBytes({2, 1}, {0.25f, 1.5f, -0.75f, 0, 10, -5, 5, 0, 1}));
  const std::string ombra = "'" + std::string(OMBRA_PATH) + "' '" + name + "'";
  folder.write("queries.txt", "1 2\n3 4\n");
  const CommandResult full =
      runCommand(ombra + " <'" + folder.file("queries.txt") + "' >/dev/full", folder);
  EXPECT_EQ(full.status, 255);
  EXPECT_EQ(full.err, "Error writing standard output\n");
  // A reader that stops early: EPIPE is reported, the program does not die of SIGPIPE.
  const CommandResult closed = runCommand(
      "bash -c \"yes '1 2' | head -n 100000 | " + ombra + " | head -c 10 >/dev/null; "
      "exit \\${PIPESTATUS[2]}\"",
      folder);
  EXPECT_EQ(closed.status, 255);
  EXPECT_EQ(closed.err, "Error writing standard output\n");
}

TEST(LiftChartDeathTest, WriteFailuresKeepThePreviousChart) {
  std::unique_ptr<TestNetwork> network(new TestNetwork({1, 1}, {0, 1}, {0, 1}, {0.25f, 0.5f}));
  network->testInputs.assign(200, 0.5f);
  network->testTargets.assign(200, 1.0f);
  EXPECT_EXIT(network->writeLiftChart("/dev/full"), ::testing::ExitedWithCode(255),
              "^Error writing file: /dev/full\n$");
  TemporaryFolder folder;
  const std::string name = folder.write("lift.csv", "previous chart");
  EXPECT_EXIT(
      {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = 100;  // the chart of 200 samples is longer
        setrlimit(RLIMIT_FSIZE, &limit);
        network->writeLiftChart(name);
      },
      ::testing::ExitedWithCode(255), "^Error writing file: " + name + "\n$");
  EXPECT_EQ(readWholeFile(name), "previous chart");
  const std::string inFile = folder.file("lift.csv/chart.csv");
  EXPECT_EXIT(network->writeLiftChart(inFile), ::testing::ExitedWithCode(255),
              "^Error opening file: " + inFile + "\n$");
}

}  // namespace
