// Hostile and odd text in every file ombra reads, and in its queries: NaN and infinite values,
// huge exponents, numbers followed by letters, NUL bytes, CR LF line ends, a missing final
// newline, very long lines, empty files, and sizes that ask for more memory than there is.
// Each case either reads as specified or ends with its message and status.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/fatal.h"
#include "nn/reloaded_network.h"
#include "ombra/driver.h"
#include "tests/common/fatal_outcome.h"
#include "tests/nn/test_network.h"
#include "tests/support/test_support.h"

namespace {

using test_support::lines;
using test_support::ScratchFolder;

// Two inputs, one output, 3 + 1 + 1 samples.
const std::string header = "3 1 1\n2 1\n-0.125 1.125\n5 55\n-0.125 1.125\n";
const std::string samples = "0\t12\t0\t\n1\t45\t1\t\n0\t20\t0\t\n1\t50\t1\t\n1\t10\t0\t\n";
const std::string exampleData = header + samples;
const std::string megabyteOfBlanks(1 << 20, ' ');

std::string text(const char* bytes, size_t size) { return std::string(bytes, size); }

// Either the topology read, or the failure.
struct ConfigurationCase {
  const char* what;
  std::string configuration;
  std::vector<int> layers;  // empty: the failure below
  int status;
  std::string message;  // after "Wrong network configuration in <file>: "
};

TEST(HostileConfigurationFile, EveryClassReadsAsSpecifiedOrFailsClearly) {
  const std::string tooFew = "at least two layers of at least one neuron each are needed";
  const std::string tooMany = "too many weights (at most 268435456)";
  const ConfigurationCase cases[] = {
      {"empty file", "", {}, -3, tooFew},
      {"nan stops the reading", "nan 3 1", {}, -3, tooFew},
      {"inf stops the reading", "2 inf 1", {}, -3, tooFew},
      {"huge exponent: 2 then e999", "2e999 3 1", {}, -3, tooFew},
      {"beyond int: reading stops", "2 99999999999 1", {}, -3, tooFew},
      {"hex: 0 then x2", "0x2 3 1", {}, -3, tooFew},
      {"NUL inside the sizes", text("2\0 3 1", 6), {}, -3, tooFew},
      {"NUL after the sizes", text("2 3 1\0 7", 8), {2, 3, 1}, 0, ""},
      {"letters after a number", "2 3 1abc", {2, 3, 1}, 0, ""},
      {"no final newline", "2\n3\n1", {2, 3, 1}, 0, ""},
      {"CR LF line ends", "2\r\n3\r\n1\r\n", {2, 3, 1}, 0, ""},
      {"leading plus signs", "+2 +3 +1", {2, 3, 1}, 0, ""},
      {"one-megabyte line", megabyteOfBlanks + "2 3 1" + megabyteOfBlanks, {2, 3, 1}, 0, ""},
      {"a layer of 2,000,000,000 neurons", "2000000000 1", {}, -3, tooMany},
      {"2^28 + 16384 weights", "16384 16384", {}, -3, tooMany},
      {"int overflow of the weight count", "2 100000 100000 1", {}, -3, tooMany},
  };
  ScratchFolder folder;
  const std::string data = folder.write("train.dat", exampleData);
  for (const ConfigurationCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = folder.write("net.cfg", c.configuration);
    std::vector<int> layers;
    const Outcome outcome = outcomeOf([&] { layers = TestNetwork(name, data).layers; });
    if (c.layers.empty()) {
      EXPECT_TRUE(outcome.failed);
      EXPECT_EQ(outcome.status, c.status);
      EXPECT_EQ(outcome.message, "Wrong network configuration in " + name + ": " + c.message);
    } else {
      EXPECT_FALSE(outcome.failed) << outcome.message;
      EXPECT_EQ(layers, c.layers);
    }
  }
}

TEST(HostileConfigurationFile, DirectoryIsAFileThatCannotBeRead) {
  ScratchFolder folder;
  const std::string data = folder.write("train.dat", exampleData);
  const Outcome outcome = outcomeOf([&] { TestNetwork(folder.path(), data); });
  EXPECT_EQ(outcome.status, -3);
  EXPECT_EQ(outcome.message, "Error reading file: " + folder.path() + ": a directory");
}

TEST(HostileConfigurationFile, ExactlyTwoToThe28WeightsIsAccepted) {
  // 16384 * 16384 weights: the configuration passes and the training data file is compared.
  ScratchFolder folder;
  const std::string name = folder.write("net.cfg", "16383 16384");
  const std::string data = folder.write("train.dat", exampleData);
  const Outcome outcome = outcomeOf([&] { TestNetwork(name, data); });
  EXPECT_EQ(outcome.status, -149);
  EXPECT_EQ(outcome.message,
            "Input size from config file does not match data input size: 16383 in " + name +
                ", 2 in " + data);
}

struct DataCase {
  const char* what;
  std::string data;
  int samples;  // read when status is 0
  int status;
  std::string message;
};

TEST(HostileTrainingDataFile, EveryClassReadsAsSpecifiedOrFailsClearly) {
  const std::string wrong = "Something is wrong with the samples: ";
  const std::string sample2 = "0\t12\t0\t\n";
  const std::string rest = "0\t20\t0\t\n1\t50\t1\t\n1\t10\t0\t\n";
  const DataCase cases[] = {
      {"empty file", "", 0, -149,
       "Input size from config file does not match data input size: 2 in {cfg}, 0 in {data}"},
      {"nan split figure", "nan 1 1\n2 1\n", 0, 173,
       "Wrong training/validation/test set size: the first line of the training data file holds "
       "'nan' where three numbers are expected"},
      {"inf split figure", "3 inf 1\n2 1\n", 0, 173,
       "Wrong training/validation/test set size: the first line of the training data file holds "
       "'inf' where three numbers are expected"},
      {"split figure beyond float", "3 1 1e50\n2 1\n", 0, 173,
       "Wrong training/validation/test set size: the first line of the training data file holds "
       "'1e50' where three numbers are expected"},
      {"10^12 samples claimed in a tiny file",
       "1e12 0 0\n2 1\n-0.125 1.125\n5 55\n-0.125 1.125\n" + samples, 0, 173,
       "Wrong training/validation/test set size: line 1 gives 1e+12 0 0, which do not add up to "
       "a sample count"},
      {"nan bound", "3 1 1\n2 1\nnan 1.125\n5 55\n-0.125 1.125\n" + samples, 0, 136,
       wrong + "the training data file holds 'nan', not a float, as range bound 1 of 6"},
      {"bounds whose span overflows", "3 1 1\n2 1\n-3e38 3e38\n5 55\n-0.125 1.125\n" + samples, 0,
       136,
       "Wrong range of input 1 in the training data file: maximum 3e+38 minus minimum -3e+38 "
       "exceeds the float range"},
      {"nan inside a sample", header + sample2 + "1\tnan\t1\n" + rest, 0, 136,
       wrong + "value 2 of sample 2 of the training data file is 'nan', which is not a float"},
      {"inf starting a sample", header + sample2 + "inf\t45\t1\n" + rest, 0, 136,
       wrong + "sample 2 of the training data file starts with 'inf', which is not a float"},
      {"value beyond float", header + sample2 + "1e39\t45\t1\n" + rest, 0, 136,
       wrong + "sample 2 of the training data file starts with '1e39', which is not a float"},
      {"letters after a number", header + sample2 + "1\t45abc\t1\n" + rest, 0, 136,
       wrong + "value 3 of sample 2 of the training data file is 'abc', which is not a float"},
      {"hex value", header + sample2 + "0x1\t45\t1\n" + rest, 0, 136,
       wrong + "value 2 of sample 2 of the training data file is 'x1', which is not a float"},
      {"NUL byte inside a sample", header + sample2 + text("1\t\0\t1\n", 6) + rest, 0, 136,
       wrong + "value 2 of sample 2 of the training data file is '?', which is not a float"},
      {"NUL bytes after the samples", exampleData + text("\0\0\0", 3), 0, 136,
       wrong + "sample 6 of the training data file starts with '?\?\?', which is not a float"},
      {"words after the samples", exampleData + "the end\n", 0, 136,
       wrong + "sample 6 of the training data file starts with 'the', which is not a float"},
      {"a long word is cut in the message", exampleData + std::string(30, 'x'), 0, 136,
       wrong + "sample 6 of the training data file starts with 'xxxxxxxxxxxxxxxxxxxx...', which "
               "is not a float"},
      {"underflowing exponent reads as 0", header + sample2 + "1e-99999\t45\t1\n" + rest, 5, 0, ""},
      {"no final newline", exampleData.substr(0, exampleData.size() - 2), 5, 0, ""},
      {"CR LF line ends",
       "3 1 1\r\n2 1\r\n-0.125 1.125\r\n5 55\r\n-0.125 1.125\r\n0 12 0\r\n1 45 "
       "1\r\n0 20 0\r\n1 50 1\r\n1 10 0\r\n",
       5, 0, ""},
      {"leading plus signs", "+3 +1 +1\n+2 +1\n-0.125 +1.125\n5 55\n-0.125 1.125\n" + samples, 5, 0,
       ""},
      {"one-megabyte line", header + megabyteOfBlanks + samples + megabyteOfBlanks, 5, 0, ""},
      {"a value far outside its column's bounds", header + sample2 + "1\t3e38\t1\n" + rest, 0, 136,
       wrong + "value 2 of sample 2 of the training data file, 3e+38, lies outside the bounds 5 "
               "55 the file gives its column"},
      {"a target below its bounds", header + sample2 + "1\t45\t-1\n" + rest, 0, 136,
       wrong + "value 3 of sample 2 of the training data file, -1, lies outside the bounds "
               "-0.125 1.125 the file gives its column"},
      {"values on the bounds read", header + sample2 + "-0.125\t55\t1.125\n" + rest, 5, 0, ""},
  };
  ScratchFolder folder;
  const std::string configuration = folder.write("net.cfg", "2 3 1");
  for (const DataCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = folder.write("train.dat", c.data);
    int read = 0;
    const Outcome outcome = outcomeOf([&] {
      TestNetwork network(configuration, name);
      read = network.numberOfTrainingSamples() + network.numberOfValidationSamples() +
             network.numberOfTestSamples();
    });
    EXPECT_EQ(outcome.failed, c.status != 0);
    EXPECT_EQ(outcome.status, c.status);
    std::string message = c.message;  // {cfg} and {data} stand for the files' names
    for (const auto& [mark, file] :
         {std::make_pair("{cfg}", configuration), std::make_pair("{data}", name)}) {
      const size_t at = message.find(mark);
      if (at != std::string::npos) message.replace(at, std::strlen(mark), file);
    }
    EXPECT_EQ(outcome.message, message);
    if (c.status == 0) {
      EXPECT_EQ(read, c.samples);
    }
  }
}

TEST(HostileTrainingDataFile, SizesTheFileCannotHoldAreRefusedBeforeAllocating) {
  // 10^8 inputs pass the configuration (10^8 + 1 weights) but need 2 * 10^8 + 2 bounds.
  ScratchFolder folder;
  const std::string configuration = folder.write("net.cfg", "100000000 1");
  const std::string data = folder.write("train.dat", "1 0 0\n100000000 1\n0 1\n0 1\n");
  const Outcome outcome = outcomeOf([&] { TestNetwork(configuration, data); });
  EXPECT_EQ(outcome.status, 136);
  EXPECT_EQ(outcome.message,
            "Something is wrong with the samples: the training data file is too short for its "
            "200000002 range bounds");
}

TEST(HostileNetworkFile, RangesMustBeFiniteIntervals) {
  const float nan = std::nanf("");
  const float inf = INFINITY;
  struct Case {
    const char* what;
    std::vector<float> floats;  // 3 weights, input ranges, output range
    std::string reason;
  };
  const Case cases[] = {
      {"nan input bound",
       {0, 1, 1, nan, 1, 0, 1, 0, 1},
       "range of input 1 is not a finite interval"},
      {"infinite input bound",
       {0, 1, 1, 0, 1, -inf, 1, 0, 1},
       "range of input 2 is not a finite interval"},
      {"inverted output range",
       {0, 1, 1, 0, 1, 0, 1, 1, 0},
       "range of output 1 is not a finite interval"},
      {"span beyond float",
       {0, 1, 1, 0, 1, 0, 1, -3e38f, 3e38f},
       "range of output 1 is not a finite interval"},
  };
  ScratchFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = folder.write("net.bin", networkFileBytes({2, 1}, c.floats));
    const Outcome outcome = outcomeOf([&] { NN_reloaded network(name); });
    EXPECT_EQ(outcome.status, -1);
    EXPECT_EQ(outcome.message, "Corrupt network file: " + name + ": " + c.reason);
  }
}

TEST(HostileNetworkFile, NanWeightsAreKeptAndAnsweredBitForBit) {
  // A diverged training run saves such weights; reloading gives the same (nan) outputs.
  ScratchFolder folder;
  const std::string name =
      folder.write("net.bin", networkFileBytes({2, 1}, {std::nanf(""), 1, 1, 0, 1, 0, 1, 0, 1}));
  NN_reloaded network(name);
  EXPECT_TRUE(std::isnan(network.predict({0.5f, 0.5f})[0]));
}

struct QueryCase {
  const char* what;
  std::string input;
  int answers;  // "Output: " lines before the end or the failure
  int status;   // 0: the loop ends cleanly at the end of the input
  std::string message;
};

TEST(HostileQueries, EveryClassIsAnsweredOrFailsClearly) {
  const std::string notANumber = "Input value is not a number: ";
  const QueryCase cases[] = {
      {"empty input", "", 0, 0, ""},
      {"nan", "1 nan\n", 0, -1, notANumber + "'nan', value 2 of 2"},
      {"inf", "inf 1\n", 0, -1, notANumber + "'inf', value 1 of 2"},
      {"beyond float", "1 2\n1e39 1\n", 1, -1,
       notANumber + "value 1 of 2 lies beyond the float range"},
      {"underflow reads as 0", "1e-99999 2\n", 1, 0, ""},
      {"letters after a number", "1.5abc 2\n", 0, -1, notANumber + "'abc', value 2 of 2"},
      {"hex", "0x1 2\n", 0, -1, notANumber + "'x1', value 2 of 2"},
      {"NUL byte", text("1\0 2\n", 5), 0, -1, notANumber + "'?', value 2 of 2"},
      {"no final newline", "1 2\n3 4", 2, 0, ""},
      {"input ends inside a vector", "1 2\n3", 1, -1, "Input ended after 1 of 2 values"},
      {"CR LF line ends", "1 2\r\n3 4\r\n", 2, 0, ""},
      {"leading plus signs", "+1 +2\n", 1, 0, ""},
      {"one-megabyte line", megabyteOfBlanks + "1 2" + megabyteOfBlanks + "\n", 1, 0, ""},
  };
  std::unique_ptr<TestNetwork> network(
      new TestNetwork({2, 1}, {0, 10, -5, 5}, {100, 300}, {0.25f, 1.5f, -0.75f}));
  for (const QueryCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::istringstream in(c.input);
    std::ostringstream out;
    int result = -100;
    const Outcome outcome = outcomeOf([&] { result = predictionLoop(*network, in, out); });
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.message, c.message);
    if (c.status == 0) {
      EXPECT_EQ(result, 0);
    }
    int answers = 0;
    for (size_t at = out.str().find("Output: "); at != std::string::npos;
         at = out.str().find("Output: ", at + 1)) {
      ++answers;
    }
    EXPECT_EQ(answers, c.answers);
  }
}

}  // namespace
