// "PSO" through the real ombra program: training mode, saving, and prediction mode on the
// saved file.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/support/programs.h"
#include "tests/support/test_support.h"
#include "tests/trainers/trainer_files.h"

namespace {

using test_support::lines;
using test_support::ProgramRun;
using test_support::runOmbra;
using test_support::ScratchFolder;

const char* const kQueries = "1 2 3\n9 9\n9\n5 5 5\n";  // the second vector spans two lines

TEST(PSODriver, TrainsSavesAndAnswersLikeTheReloadedNetwork) {
  ScratchFolder folder;
  folder.write("net.cfg", "3 6 1");
  folder.write("train.dat", samplesText(3, 1, 60, 20, 20, 1));
  folder.write("pso.txt", "Population size: 12\nIterations: 200\n");

  const ProgramRun training =
      runOmbra("PSO net.cfg train.dat pso.txt net.bin", kQueries, folder.path());
  ASSERT_EQ(training.status, 0) << training.out << training.err;
  const std::vector<std::string> out = lines(training.out);

  // Information block, then the training and evaluation lines in order.
  ASSERT_GE(out.size(), 32u) << training.out;
  EXPECT_EQ(out[0], "Neural network info");
  EXPECT_EQ(out[13], "PSO parameters info:");
  EXPECT_EQ(out[14], "  Population size: 12");
  EXPECT_EQ(out[19], "  Iterations: 200");
  EXPECT_EQ(out[21], "Training...");
  const std::string number = "[-+.e0-9]+";
  for (int i = 0; i < 2; ++i) {
    const std::regex progress("training mse\\[" + std::to_string(100 * (i + 1)) + "\\]= " + number +
                              "\t validation mse = " + number + "\t best mse = " + number);
    EXPECT_TRUE(std::regex_match(out[22 + i], progress)) << out[22 + i];
  }
  EXPECT_EQ(out[24], "Network trained");
  EXPECT_TRUE(std::regex_match(out[25], std::regex("Test set MSE= " + number))) << out[25];
  EXPECT_EQ(out[26].rfind("positives = ", 0), 0u) << out[26];
  EXPECT_TRUE(std::regex_match(out[29], std::regex("Test set TPR= " + number))) << out[29];
  const std::regex answer("Input:Output: " + number + " ");
  for (int i = 30; i < 33; ++i) EXPECT_TRUE(std::regex_match(out[i], answer)) << out[i];
  EXPECT_EQ(out.back(), "Input:");

  // The reloaded network answers the same queries with the same text.
  const ProgramRun prediction = runOmbra("net.bin", kQueries, folder.path());
  ASSERT_EQ(prediction.status, 0) << prediction.out << prediction.err;
  const std::string trainedAnswers = training.out.substr(training.out.find("Input:"));
  const std::string reloadedAnswers = prediction.out.substr(prediction.out.find("Input:"));
  EXPECT_EQ(reloadedAnswers, trainedAnswers);
}

}  // namespace
