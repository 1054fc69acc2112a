// Hostile and odd text in the algorithm parameters file, and parameters that ask the swarm
// for more memory than the machine has. Each case reads as specified (a value that is not a
// number gives 0, an over-long line ends the reading) or ends with its message and status.

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "common/fatal.h"
#include "tests/common/fatal_outcome.h"
#include "tests/support/test_support.h"
#include "tests/trainers/trainer_files.h"
#include "trainers/bp.h"
#include "trainers/parameters.h"
#include "trainers/pso.h"

namespace {

using test_support::ScratchFolder;

struct Case {
  const char* what;
  std::string text;
  // Expected fields when the file reads (the rest keep their defaults or the group's 0).
  float learningRate;
  int iterations;
  float time;
  std::string failure;  // the fatal message ({file}: the file's name), empty when it reads
};

TEST(HostileParametersFile, EveryClassReadsAsSpecifiedOrFailsClearly) {
  const std::string megabyteLine(1 << 20, 'x');
  const Case cases[] = {
      {"empty file", "", 0.02f, 0, 60, ""},
      {"nan is not a number: 0", "Learning rate: nan\nIterations: 3\n", 0, 3, 0, ""},
      {"inf is not a number: 0", "Learning rate: inf\nIterations: 3\n", 0, 3, 0, ""},
      {"nan iterations: 0", "Iterations: nan\nTime: 2\n", 0.02f, 0, 2, ""},
      {"letters after a number", "Iterations: 3abc\n", 0.02f, 3, 0, ""},
      {"hex reads its leading 0", "Iterations: 0x10\nTime: 1\n", 0.02f, 0, 1, ""},
      {"leading plus sign", "Iterations: +7\n", 0.02f, 7, 0, ""},
      {"huge exponent saturates an int", "Iterations: 1e300\n", 0.02f, 2147483647, 0, ""},
      {"exponent beyond double: 0", "Iterations: 1e999\nTime: 1\n", 0.02f, 0, 1, ""},
      // A binary file (a network file in the parameters' place) or text without any key
      // (a training data file) is no parameters file: refused rather than read as defaults.
      {"NUL byte after the number", std::string("Iterations: 3\0junk\n", 19), 0, 0, 0,
       "Error reading file: {file}: NUL bytes, not an algorithm parameters file"},
      {"network file", std::string("\2\0\0\0\3\0\0\0\1\0\0\0", 12), 0, 0, 0,
       "Error reading file: {file}: NUL bytes, not an algorithm parameters file"},
      {"training data file", "3 1 1\n2 1\n-0.125 1.125\n", 0, 0, 0,
       "No known key in parameters file: {file} (the keys: Learning rate, Strip length, Lower "
       "limit, Upper limit, Iterations, Time, MSE, Seed, Select by AUC, Momentum, Shuffle, "
       "Cross entropy, Positive weight, each followed at once by a colon)"},
      {"only misspelt keys", "shuffle: 1\nIteration: 60\n", 0, 0, 0, "No known key in {file}"},
      {"CR LF line ends", "Iterations: 3\r\nTime: 2\r\n", 0.02f, 3, 2, ""},
      {"no final newline", "Learning rate: 0.5\nIterations: 3", 0.5f, 3, 0, ""},
      {"one-megabyte line ends the reading", "Iterations: 5\n" + megabyteLine + "\nTime: 7\n",
       0.02f, 5, 0, ""},
      {"learning rate beyond float", "Learning rate: 1e39\n", 0, 0, 0,
       "Value of Learning rate out of float range in parameters file: {file}"},
      {"time beyond float", "Iterations: 3\nTime: 1e300\n", 0, 0, 0,
       "Value of Time out of float range in parameters file: {file}"},
      {"limit beyond float", "Lower limit: -4e38\n", 0, 0, 0,
       "Value of Lower limit out of float range in parameters file: {file}"},
      // 1e-50 is 0 in single precision: a time limit typed would silently be switched off.
      {"time below float", "Iterations: 3\nTime: 1e-50\n", 0, 0, 0,
       "Value of Time is 0 in single precision in parameters file: {file}"},
  };
  ScratchFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = folder.write("bp.txt", c.text);
    BPParameters p;
    const Outcome outcome = outcomeOf([&] { p = readBPParameters(name); });
    if (!c.failure.empty()) {
      EXPECT_EQ(outcome.status, -238);
      const std::string message = std::regex_replace(c.failure, std::regex("\\{file\\}"), name);
      if (message.rfind("No known key in ", 0) == 0) {  // the keys as above
        EXPECT_EQ(outcome.message.rfind("No known key in parameters file: " + name, 0), 0u);
      } else {
        EXPECT_EQ(outcome.message, message);
      }
      continue;
    }
    EXPECT_FALSE(outcome.failed) << outcome.message;
    EXPECT_EQ(p.learningRate, c.learningRate);
    EXPECT_EQ(p.iterations, c.iterations);
    EXPECT_EQ(p.time, c.time);
  }
}

TEST(HostileParametersFile, EndlessDeviceIsRefusedInBoundedMemory) {
  // /dev/zero is one endless line of NUL bytes: the bounded line buffer ends the reading, and
  // its NUL bytes say it is no parameters file.
  const Outcome outcome = outcomeOf([] { readBPParameters("/dev/zero"); });
  EXPECT_EQ(outcome.status, -238);
  EXPECT_EQ(outcome.message,
            "Error reading file: /dev/zero: NUL bytes, not an algorithm parameters file");
}

// Misspelt keys would be ignored without a word: each line without a key is named on standard
// error with its number, then the keys; the file still reads (an older file keeps working).
TEST(HostileParametersFile, LinesWithoutAKeyAreReportedWithTheKeys) {
  ScratchFolder folder;
  const std::string name = folder.write(
      "bp.txt", "Seed : 3\nLearning Rate: 0.03\n\nIterations: 60\nPositive weights: 3\n" +
                    std::string(120, 'x') + "\nTime: 5\n");
  test_support::captureStderr();
  const BPParameters p = readBPParameters(name);
  const std::string warnings = test_support::capturedStderr();
  EXPECT_EQ(p.iterations, 60);
  EXPECT_EQ(p.time, 0.0f);  // after the over-long line: not read, as always
  EXPECT_EQ(warnings,
            "Warning: parameters file " + name +
                ", line 1: no known key, the line is ignored: 'Seed : 3'\n"
                "Warning: parameters file " +
                name +
                ", line 2: no known key, the line is ignored: 'Learning Rate: 0.03'\n"
                "Warning: parameters file " +
                name +
                ", line 5: no known key, the line is ignored: 'Positive weights: 3'\n"
                "Warning: parameters file " +
                name +
                ", line 6: longer than 99 characters; it and the lines after it are ignored\n"
                "Warning: the keys of parameters file " +
                name +
                ": Learning rate, Strip length, Lower limit, Upper limit, Iterations, Time, MSE, "
                "Seed, Select by AUC, Momentum, Shuffle, Cross entropy, Positive weight (each "
                "followed at once by a colon; case and blanks count)\n");
}

TEST(HostileParametersFile, SwarmParametersOutOfRange) {
  ScratchFolder folder;
  const std::string nanPopulation = folder.write("pso.txt", "Population size: nan\n");
  Outcome outcome = outcomeOf([&] { readPSOParameters(nanPopulation); });
  EXPECT_EQ(outcome.status, -238);
  EXPECT_EQ(outcome.message,
            "Population size must be at least 1 in parameters file: " + nanPopulation);
  const std::string hugeOmega = folder.write("pso.txt", "omega: 1e39\n");
  outcome = outcomeOf([&] { readPSOParameters(hugeOmega); });
  EXPECT_EQ(outcome.status, -238);
  EXPECT_EQ(outcome.message, "Value of omega out of float range in parameters file: " + hugeOmega);
}

// Limits that would end training before it starts, or never: refused when the file is read
// by both readers, with the key named. A directory reads as an empty file: refused too.
TEST(HostileParametersFile, NegativeLimitsAndDirectoriesAreRefused) {
  ScratchFolder folder;
  const struct {
    const char* text;
    std::string message;
  } cases[] = {
      {"Iterations: -3\n", "Iterations must not be negative in parameters file: "},
      {"Iterations: 5\nTime: -1\n", "Time must not be negative in parameters file: "},
      {"MSE: -1\n", "MSE must not be negative in parameters file: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string name = folder.write("limits.txt", c.text);
    for (const Outcome& outcome : {outcomeOf([&] { readBPParameters(name); }),
                                   outcomeOf([&] { readPSOParameters(name); })}) {
      EXPECT_EQ(outcome.status, -238);
      EXPECT_EQ(outcome.message, c.message + name);
    }
  }
  const Outcome directory = outcomeOf([&] { readBPParameters(folder.path()); });
  EXPECT_EQ(directory.status, -238);
  EXPECT_EQ(directory.message, "Error reading file: " + folder.path() + ": a directory");
}

// Training option values that cannot mean what they say are refused with the key named; the
// back-propagation options are refused by the swarm's reader rather than ignored.
TEST(HostileParametersFile, BadTrainingOptionsAreRefusedWithTheKeyNamed) {
  ScratchFolder folder;
  const std::string seed = "Seed must be a whole number from 0 to 4294967295";
  const std::string aucAndMse =
      "Select by AUC and an MSE limit exclude each other: use Iterations or Time";
  const struct {
    const char* text;
    std::string bp;   // message of the back-propagation reader
    std::string pso;  // message of the swarm's reader, empty when it accepts the file
  } cases[] = {
      {"Momentum: -0.1\n", "Momentum must be at least 0 and below 1",
       "Momentum is a back-propagation key: the particle-swarm trainers have no use for it"},
      {"Momentum: 1\n", "Momentum must be at least 0 and below 1", ""},
      // Below 1 as a double, 1 as the float it is stored in.
      {"Momentum: 0.99999999\n", "Momentum must be at least 0 and below 1", ""},
      {"Positive weight: 0\n", "Positive weight must be a number greater than 0", ""},
      {"Positive weight: -2\n", "Positive weight must be a number greater than 0", ""},
      {"Positive weight: 1e39\n", "Positive weight must be a number greater than 0", ""},
      {"Shuffle: 2\n", "Shuffle must be 0 or 1",
       "Shuffle is a back-propagation key: the particle-swarm trainers have no use for it"},
      {"Cross entropy: 0.5\n", "Cross entropy must be 0 or 1", ""},
      {"Select by AUC: -1\n", "Select by AUC must be 0 or 1", "Select by AUC must be 0 or 1"},
      {"Seed: -1\n", seed, seed},
      {"Seed: 4294967296\n", seed, seed},
      // Words and trailing text: the older keys read them as numbers, new keys refuse them.
      {"Shuffle: yes\n", "Shuffle must be 0 or 1", ""},
      {"Select by AUC: 1 please\n", "Select by AUC must be 0 or 1", "Select by AUC must be 0 or 1"},
      {"Seed: 12abc\n", seed, seed},
      {"Seed:\n", seed, seed},
      {"Select by AUC: 1\nMSE: 0.1\n", aucAndMse, aucAndMse},
      {"Select by AUC: 1\nIterations: 5\n",
       "Select by AUC never checks: Strip length 10 is above Iterations 5",
       "Select by AUC never checks: Strip length 10 is above Iterations 5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string name = folder.write("options.txt", c.text);
    const Outcome bp = outcomeOf([&] { readBPParameters(name); });
    EXPECT_EQ(bp.status, -238);
    EXPECT_EQ(bp.message, c.bp + " in parameters file: " + name);
    if (c.pso.empty()) continue;
    const Outcome pso = outcomeOf([&] { readPSOParameters(name); });
    EXPECT_EQ(pso.status, -238);
    EXPECT_EQ(pso.message, c.pso + " in parameters file: " + name);
  }
}

// Training that could never end, or that produces weights that are not numbers, stops with a
// message: nothing is saved after it.
TEST(HostileParametersFile, EndlessOrDivergingTrainingStopsWithAMessage) {
  ScratchFolder folder;
  const std::string configuration = folder.write("net.cfg", "4 8 1");
  const std::string noValidation = folder.write("novalid.dat", samplesText(4, 1, 20, 0, 5, 7));
  const std::string data = folder.write("train.dat", samplesText(4, 1, 20, 5, 5, 7));
  const std::string mseOnly = folder.write("mse.txt", "MSE: 0.5\n");
  const std::string unreachable =
      "The MSE limit can never be reached: the training data file has no validation samples, "
      "and no Iterations or Time limit is set";
  Outcome outcome = outcomeOf([&] { NN_BP(configuration, noValidation, mseOnly).train(); });
  EXPECT_EQ(outcome.status, -79);
  EXPECT_EQ(outcome.message, unreachable);
  outcome = outcomeOf([&] { NN_PSO(configuration, noValidation, mseOnly).train(); });
  EXPECT_EQ(outcome.status, -79);
  EXPECT_EQ(outcome.message, unreachable);

  // Initial weights of +-3e38 overflow every sum: nan at the first validation check.
  const std::string huge = folder.write(
      "huge.txt", "Lower limit: -3e38\nUpper limit: 3e38\nStrip length: 1\nIterations: 1000\n");
  std::srand(5);
  outcome = outcomeOf([&] { NN_BP(configuration, data, huge).train(); });
  EXPECT_EQ(outcome.status, -1);
  EXPECT_EQ(outcome.message.rfind("Training diverged by epoch 1: weight ", 0), 0u)
      << outcome.message;
  EXPECT_NE(outcome.message.find(" of 49 is "), std::string::npos) << outcome.message;
  // Positions drawn over a span beyond the float range would start at infinity.
  outcome = outcomeOf([&] { NN_PSO(configuration, data, huge).train(); });
  EXPECT_EQ(outcome.status, -113);
  EXPECT_EQ(outcome.message,
            "Wrong boundary: Lower limit -3e+38, Upper limit 3e+38 (their span exceeds the float "
            "range)");
}

// Parameters that cannot train are refused when training starts, before any epoch: the file
// reads as it always did, but nothing is trained on it.
TEST(HostileParametersFile, ParametersThatCannotTrainAreRefusedBeforeTraining) {
  ScratchFolder folder;
  const std::string configuration = folder.write("net.cfg", "4 8 1");
  const std::string data = folder.write("train.dat", samplesText(4, 1, 20, 5, 5, 7));
  const std::string noValidation = folder.write("novalid.dat", samplesText(4, 1, 20, 0, 5, 7));
  const std::string rate = "Learning rate must be above 0 and at most 100 in parameters file: ";
  const struct {
    const char* text;
    std::string data;
    int status;
    std::string message;  // followed by the file's name when the status is -238
  } cases[] = {
      {"Learning rate: -5\nIterations: 1\n", data, -238, rate},
      {"Learning rate: 3e38\nIterations: 1\n", data, -238, rate},
      {"Learning rate: fast\nIterations: 1\n", data, -238, rate},  // a word reads as 0
      {"Lower limit: 2\nUpper limit: 1\nIterations: 1\n", data, -238,
       "Lower limit must not be above Upper limit in parameters file: "},
      {"Select by AUC: 1\nIterations: 10\n", noValidation, -79,
       "Select by AUC needs validation samples: the training data file has none"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string name = folder.write("bp.txt", c.text);
    const Outcome outcome = outcomeOf([&] { NN_BP(configuration, c.data, name).train(); });
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.message, c.message + (c.status == -238 ? name : ""));
  }
}

TEST(HostileParametersFile, SwarmLargerThanMemoryIsRefusedBeforeAllocating) {
  ScratchFolder folder;
  const std::string configuration = folder.write("net.cfg", "4 8 1");
  const std::string data = folder.write("train.dat", samplesText(4, 1, 20, 5, 5, 7));
  // 2^31 - 1 particles of 49 weights: 1.3 TiB of positions, velocities, bests and outputs.
  const std::string parameters =
      folder.write("pso.txt", "Population size: 2147483647\nIterations: 1\n");
  const Outcome outcome = outcomeOf([&] { NN_PSO network(configuration, data, parameters); });
  EXPECT_EQ(outcome.status, -238);
  EXPECT_EQ(outcome.message.rfind("Population size 2147483647 is too large for 49 weights and 20 "
                                  "samples: the swarm needs 1368064 MiB, more than the ",
                                  0),
            0u)
      << outcome.message;
  EXPECT_NE(outcome.message.find(" MiB of memory of this machine"), std::string::npos);
}

}  // namespace
