// "BP" through the real ombra program: training mode with and without saving, prediction
// mode on the saved file, and the trainer's fatal errors.
#include <dirent.h>
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/support/programs.h"
#include "tests/support/test_support.h"
#include "tests/trainers/trainer_files.h"

namespace {

using test_support::lines;
using test_support::ProgramRun;
using test_support::readFile;
using test_support::runOmbra;
using test_support::ScratchFolder;

const char* const kQueries = "1 2 3\n9 9\n9\n5 5 5\n";  // the second vector spans two lines

TEST(BPDriver, TrainsSavesAndAnswersLikeTheReloadedNetwork) {
  ScratchFolder folder;
  folder.write("net.cfg", "3 5 1\n");
  folder.write("train.dat", samplesText(3, 1, 60, 20, 20, 7));
  folder.write("bp.txt", "Iterations: 200\nStrip length: 5\n");

  const ProgramRun training =
      runOmbra("BP net.cfg train.dat bp.txt net.bin", kQueries, folder.path());
  ASSERT_EQ(training.status, 0) << training.out << training.err;
  const std::vector<std::string> out = lines(training.out);
  ASSERT_EQ(out.size(), 33u) << training.out;
  EXPECT_EQ(out[0], "Neural network info");
  EXPECT_EQ(out[5], "Layers: 3 5 1 ");
  EXPECT_EQ(out[12], "Total weights: 26");
  EXPECT_EQ(out[13], "BP parameters info:");
  EXPECT_EQ(out[15], "  Strip length: 5");
  EXPECT_EQ(out[17], "  Time: 0");
  EXPECT_EQ(out[18], "  Iterations: 200");
  EXPECT_EQ(out[20], "Training...");
  const std::string number = "[-+.e0-9]+";
  for (int i = 0; i < 2; ++i) {
    const std::regex progress("training mse\\[" + std::to_string(100 * (i + 1)) + "\\]= " + number +
                              "\t validation mse = " + number + "\t best mse = " + number);
    EXPECT_TRUE(std::regex_match(out[21 + i], progress)) << out[21 + i];
  }
  EXPECT_EQ(out[23], "Network trained");
  EXPECT_TRUE(std::regex_match(out[24], std::regex("Test set MSE= " + number))) << out[24];
  EXPECT_EQ(out[25].rfind("positives = ", 0), 0u) << out[25];
  EXPECT_EQ(out[26].rfind("true positives = ", 0), 0u) << out[26];
  EXPECT_EQ(out[27].rfind("true negatives = ", 0), 0u) << out[27];
  EXPECT_TRUE(std::regex_match(out[28], std::regex("Test set TPR= " + number))) << out[28];
  const std::regex answer("Input:Output: " + number + " ");
  for (int i = 29; i < 32; ++i) EXPECT_TRUE(std::regex_match(out[i], answer)) << out[i];
  EXPECT_EQ(out.back(), "Input:");

  // The reloaded network answers the same queries with the same text.
  const ProgramRun prediction = runOmbra("net.bin", kQueries, folder.path());
  ASSERT_EQ(prediction.status, 0) << prediction.err;
  const std::string trained = training.out.substr(training.out.find("Input:"));
  const std::string reloaded = prediction.out.substr(prediction.out.find("Input:"));
  EXPECT_EQ(trained, reloaded);
}

TEST(BPDriver, FourArgumentsSaveNothing) {
  ScratchFolder folder;
  folder.write("net.cfg", "2 1\n");
  folder.write("train.dat", samplesText(2, 1, 10, 0, 5, 7));
  folder.write("bp.txt", "Iterations: 3\n");
  const ProgramRun run = runOmbra("BP net.cfg train.dat bp.txt", "", folder.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Network trained\n"), std::string::npos);
  std::set<std::string> names;
  DIR* directory = opendir(folder.path().c_str());
  while (dirent* entry = readdir(directory)) names.insert(entry->d_name);
  closedir(directory);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "bp.txt", "net.cfg", "train.dat"}));
}

// With a Seed two runs write the same network file and print the same text; the parameter
// block shows the options given.
TEST(BPDriver, SeededRunsWriteIdenticalNetworkFiles) {
  ScratchFolder folder;
  folder.write("net.cfg", "3 5 1\n");
  folder.write("train.dat", samplesText(3, 1, 60, 20, 20, 7));
  folder.write("bp.txt",
               "Iterations: 30\nStrip length: 1\nSeed: 42\nShuffle: 1\n"
               "Cross entropy: 1\nSelect by AUC: 1\n");
  const ProgramRun first = runOmbra("BP net.cfg train.dat bp.txt first.bin", "", folder.path());
  ASSERT_EQ(first.status, 0) << first.err;
  const ProgramRun second = runOmbra("BP net.cfg train.dat bp.txt second.bin", "", folder.path());
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(first.out, second.out);
  const std::string bytes = readFile(folder.file("first.bin"));
  EXPECT_EQ(bytes.size(), 4u * (1 + 3 + 26 + 8));
  EXPECT_EQ(bytes, readFile(folder.file("second.bin")));
  EXPECT_NE(first.out.find("  MSE: 0\n  Seed: 42\n  Select by AUC: yes\n  Shuffle: yes\n"
                           "  Cross entropy: yes\nTraining...\n"),
            std::string::npos)
      << first.out;
}

TEST(BPDriver, TrainerErrorsEndTheProgram) {
  ScratchFolder folder;
  folder.write("net.cfg", "2 1\n");
  folder.write("train.dat", samplesText(2, 1, 10, 0, 5, 7));

  folder.write("bp.txt", "Time: 0\n");  // clears the other limits too
  ProgramRun run = runOmbra("BP net.cfg train.dat bp.txt", "", folder.path());
  EXPECT_EQ(run.status, -79 & 255);
  EXPECT_EQ(run.err,
            "No terminating conditions: Iterations, Time and MSE are all 0 in the parameters file "
            "(give one of them a value other than 0; a file naming none trains for 60 s)\n");
  EXPECT_NE(run.out.find("Training...\n"), std::string::npos);

  folder.write("bp.txt", "Strip length: -1\n");
  run = runOmbra("BP net.cfg train.dat bp.txt", "", folder.path());
  EXPECT_EQ(run.status, -238 & 255);
  EXPECT_EQ(run.err, "Strip length must be at least 1 in parameters file: bp.txt\n");

  run = runOmbra("BP net.cfg train.dat missing.txt", "", folder.path());
  EXPECT_EQ(run.status, -238 & 255);
  EXPECT_EQ(run.err, "Error opening file: missing.txt: no such file or directory\n");
}

}  // namespace
