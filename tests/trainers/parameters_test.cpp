// The algorithm parameters file: keys, the termination group, numbers, line lengths,
// printing, and the uniform initialiser.
#include "trainers/parameters.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/trainers/trainer_files.h"

namespace {

using test_support::ScratchFolder;

BPParameters readBP(const ScratchFolder& folder, const std::string& text) {
  return readBPParameters(folder.write("bp.txt", text));
}

PSOParameters readPSO(const ScratchFolder& folder, const std::string& text) {
  return readPSOParameters(folder.write("pso.txt", text));
}

TEST(ParametersFile, EmptyFileNameGivesTheDefaultsWithoutOpeningAnything) {
  const BPParameters bp = readBPParameters("");
  EXPECT_EQ(bp.learningRate, 0.02f);
  EXPECT_EQ(bp.stripLength, 10);
  EXPECT_EQ(bp.lowerLimit, -1.0f);
  EXPECT_EQ(bp.upperLimit, 1.0f);
  EXPECT_EQ(bp.iterations, 0);
  EXPECT_EQ(bp.mse, 0.0f);
  EXPECT_EQ(bp.time, 60.0f);
  const PSOParameters pso = readPSOParameters("");
  EXPECT_EQ(pso.populationSize, 64);
  EXPECT_EQ(pso.omega, 0.72984f);
  EXPECT_EQ(pso.phiP, 1.49618f);
  EXPECT_EQ(pso.phiG, 1.49618f);
  EXPECT_EQ(pso.maxSpeed, 2.0f);
  EXPECT_EQ(pso.time, 60.0f);
}

TEST(ParametersFile, FileThatCannotBeOpenedIsFatal) {
  EXPECT_EXIT(readBPParameters("/nonexistent/bp.txt"), ::testing::ExitedWithCode(-238 & 255),
              "^Error opening file: /nonexistent/bp.txt: no such file or directory\n$");
  EXPECT_EXIT(readPSOParameters("/nonexistent/pso.txt"), ::testing::ExitedWithCode(-238 & 255),
              "^Error opening file: /nonexistent/pso.txt: no such file or directory\n$");
}

// A file with text but no key at all is refused (HostileParametersFile): it is no parameters
// file. Misspelt keys beside a key are reported and not applied.
TEST(ParametersFile, EmptyFileAndMisspeltKeysKeepTheDefaults) {
  ScratchFolder folder;
  BPParameters p = readBP(folder, "");
  EXPECT_EQ(p.time, 60.0f);
  test_support::captureStderr();
  p = readBP(folder, "some text\nlearning rate: 0.5\nLearning rate : 0.5\nStrip length: 10\n");
  EXPECT_NE(test_support::capturedStderr(), "");
  EXPECT_EQ(p.learningRate, 0.02f);  // case and blanks must match, the colon must follow
  EXPECT_EQ(p.time, 60.0f);
}

TEST(ParametersFile, TheFirstTerminationKeySwitchesTheOtherTwoOff) {
  ScratchFolder folder;
  BPParameters p = readBP(folder, "Iterations: 500\n");
  EXPECT_EQ(p.iterations, 500);
  EXPECT_EQ(p.time, 0.0f);
  EXPECT_EQ(p.mse, 0.0f);

  p = readBP(folder, "Time: 0\n");
  EXPECT_EQ(p.time, 0.0f);
  EXPECT_EQ(p.iterations, 0);

  // Later termination keys are stored plainly: all three survive.
  p = readBP(folder, "MSE: 0.05\nTime: 30\nIterations: 9\n");
  EXPECT_EQ(p.mse, 0.05f);
  EXPECT_EQ(p.time, 30.0f);
  EXPECT_EQ(p.iterations, 9);

  // A key without a number still counts as the first termination key.
  p = readBP(folder, "MSE:\n");
  EXPECT_EQ(p.mse, 0.0f);
  EXPECT_EQ(p.time, 0.0f);

  PSOParameters q = readPSO(folder, "Population size: 8\nIterations: 40\n");
  EXPECT_EQ(q.populationSize, 8);
  EXPECT_EQ(q.iterations, 40);
  EXPECT_EQ(q.time, 0.0f);
}

TEST(ParametersFile, NumbersAreTruncatedRoundedOrZero) {
  ScratchFolder folder;
  BPParameters p = readBP(folder, "Iterations: 12.9\nStrip length: 3.99\nLearning rate: 0.1\n");
  EXPECT_EQ(p.iterations, 12);
  EXPECT_EQ(p.stripLength, 3);
  EXPECT_EQ(p.learningRate, 0.1f);           // the double rounded to single precision
  p = readBP(folder, "Iterations: -0.9\n");  // truncated to 0, then no longer negative
  EXPECT_EQ(p.iterations, 0);
  p = readBP(folder, "Iterations: 1e30\n");  // saturates instead of overflowing
  EXPECT_EQ(p.iterations, 2147483647);
  p = readBP(folder, "Learning rate: fast\n");
  EXPECT_EQ(p.learningRate, 0.0f);
  p = readBP(folder, "Upper limit:   2.5e1xyz\n");  // blanks skipped, rest ignored
  EXPECT_EQ(p.upperLimit, 25.0f);
}

TEST(ParametersFile, KeysStandAnywhereFirstOccurrenceAndLastLineWin) {
  ScratchFolder folder;
  BPParameters p = readBP(folder,
                          "# Learning rate: 0.5\n"
                          "Lower limit: -2 Upper limit: 3\n"
                          "Time: 5 Time: 7\n"
                          "Strip length: 4\nStrip length: 6");  // no line end at the end
  EXPECT_EQ(p.learningRate, 0.5f);
  EXPECT_EQ(p.lowerLimit, -2.0f);
  EXPECT_EQ(p.upperLimit, 3.0f);
  EXPECT_EQ(p.time, 5.0f);
  EXPECT_EQ(p.stripLength, 6);
}

TEST(ParametersFile, LineOf99CharactersIsReadOneOf100EndsTheReading) {
  ScratchFolder folder;
  const std::string key = "Learning rate: 0.5 ";
  const std::string line99 = key + std::string(99 - key.size(), 'x');
  const std::string line100 = key + std::string(100 - key.size(), 'x');
  ASSERT_EQ(line99.size(), 99u);
  BPParameters p = readBP(folder, line99 + "\nStrip length: 4\n");
  EXPECT_EQ(p.learningRate, 0.5f);
  EXPECT_EQ(p.stripLength, 4);
  p = readBP(folder, "Upper limit: 2\n" + line100 + "\nStrip length: 4\n");
  EXPECT_EQ(p.upperLimit, 2.0f);
  EXPECT_EQ(p.learningRate, 0.02f);
  EXPECT_EQ(p.stripLength, 10);
}

TEST(ParametersFile, StripLengthAndPopulationSizeBelowOneAreRejected) {
  ScratchFolder folder;
  const std::string bp = folder.write("bp.txt", "Strip length: 0\n");
  EXPECT_EXIT(readBPParameters(bp), ::testing::ExitedWithCode(-238 & 255),
              "^Strip length must be at least 1 in parameters file: " + bp + "\n$");
  const std::string pso = folder.write("pso.txt", "Population size: 0.5\n");
  EXPECT_EXIT(readPSOParameters(pso), ::testing::ExitedWithCode(-238 & 255),
              "^Population size must be at least 1 in parameters file: " + pso + "\n$");
}

TEST(ReadParameter, FindsTheKeyFollowedByAColon) {
  double value = 42.0;
  EXPECT_FALSE(readParameter("Time 5", "Time", value));
  EXPECT_EQ(value, 42.0);
  EXPECT_TRUE(readParameter("xTime:7.25 s", "Time", value));
  EXPECT_EQ(value, 7.25);
  EXPECT_TRUE(readParameter("Time:", "Time", value));
  EXPECT_EQ(value, 0.0);
}

TEST(ParametersPrint, BlocksAreWrittenExactly) {
  test_support::captureStdout();
  printParameters(BPParameters());
  EXPECT_EQ(test_support::capturedStdout(),
            "BP parameters info:\n"
            "  Learn rate: 0.02\n"
            "  Strip length: 10\n"
            "  Limits : [-1, 1]\n"
            "  Time: 60\n"
            "  Iterations: 0\n"
            "  MSE: 0\n");
  test_support::captureStdout();
  printParameters(PSOParameters());
  EXPECT_EQ(test_support::capturedStdout(),
            "PSO parameters info:\n"
            "  Population size: 64\n"
            "  Limits: [-1,1]\n"
            "  Max speed: 2\n"
            "  omega: 0.72984   phiP: 1.49618   phiG: 1.49618\n"
            "  Time: 60\n"
            "  Iterations: 0\n"
            "  MSE: 0\n");
}

TEST(TrainingOptions, AreUnsetWithoutTheirKeysAndReadAndPrintedWhenGiven) {
  ScratchFolder folder;
  BPParameters p = readBP(folder, "Iterations: 5\nLearning rate: 0.1\n");
  EXPECT_FALSE(p.options.seed || p.options.selectByAuc || p.momentum || p.shuffle ||
               p.crossEntropy || p.positiveWeight);
  p = readBP(folder,
             "Seed: 4294967295\nMomentum: 0.5\nShuffle: 1\nCross entropy: 0\n"
             "Positive weight: 3\nSelect by AUC: 1\nIterations: 50\n");
  EXPECT_EQ(*p.options.seed, 4294967295u);
  EXPECT_EQ(*p.momentum, 0.5f);
  EXPECT_TRUE(*p.shuffle);
  EXPECT_FALSE(*p.crossEntropy);
  EXPECT_EQ(*p.positiveWeight, 3.0f);
  EXPECT_TRUE(p.options.ranksByAuc());
  test_support::captureStdout();
  printParameters(p);
  const std::string bp = test_support::capturedStdout();
  EXPECT_EQ(bp.substr(bp.find("  MSE: 0\n")),
            "  MSE: 0\n"
            "  Seed: 4294967295\n"
            "  Select by AUC: yes\n"
            "  Momentum: 0.5\n"
            "  Shuffle: yes\n"
            "  Cross entropy: no\n"
            "  Positive weight: 3\n");

  PSOParameters q = readPSO(folder, "Seed: 12.9\nSelect by AUC: 0\n");
  EXPECT_EQ(*q.options.seed, 12u);  // truncated like every integer key
  EXPECT_FALSE(q.options.ranksByAuc());
  test_support::captureStdout();
  printParameters(q);
  const std::string pso = test_support::capturedStdout();
  EXPECT_EQ(pso.substr(pso.find("  MSE: 0\n")), "  MSE: 0\n  Seed: 12\n  Select by AUC: no\n");
}

TEST(ShuffleOrder, DrawsAFisherYatesPermutationFromRand) {
  std::vector<int> order = {0, 1, 2, 3, 4, 5, 6};
  std::srand(5);
  std::vector<int> expected = order;
  for (size_t i = expected.size(); i > 1; --i)
    std::swap(expected[i - 1], expected[std::rand() % i]);
  std::srand(5);
  shuffleOrder(order);
  EXPECT_EQ(order, expected);
  EXPECT_NE(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
}

TEST(FillUniform, DrawsLowerPlusRandTimesSpanOver2To31) {
  std::srand(11);
  std::vector<int> draws(1000);
  for (int& r : draws) r = std::rand();
  std::srand(11);
  std::vector<float> values(1000);
  fillUniform(values.data(), 1000, -0.5f, 1.5f);
  bool belowMiddle = false, aboveMiddle = false;
  for (int i = 0; i < 1000; ++i) {
    EXPECT_EQ(values[i], static_cast<float>(-0.5 + draws[i] * 2.0 / 2147483648.0)) << i;
    EXPECT_GE(values[i], -0.5f);
    EXPECT_LT(values[i], 1.5f);
    belowMiddle |= values[i] < 0.5f;
    aboveMiddle |= values[i] > 0.5f;
  }
  EXPECT_TRUE(belowMiddle && aboveMiddle);
}

}  // namespace
