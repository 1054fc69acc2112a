#include <gtest/gtest.h>

#include <memory>

#include "nn/network.h"
#include "tests/nn/test_network.h"
#include "tests/support/test_support.h"

namespace {

using test_support::ScratchFolder;

const char* exampleData =
    "3 1 1\n2 1\n-0.125 1.125\n5 55\n-0.125 1.125\n"
    "0\t12\t0\t\n1\t45\t1\t\n0\t20\t0\t\n1\t50\t1\t\n1\t10\t0\t\n";

// Reads a configuration with a matching training data file (inputs and outputs from data).
std::vector<int> topologyOf(const std::string& configuration, const std::string& data) {
  ScratchFolder folder;
  TestNetwork network(folder.write("net.cfg", configuration), folder.write("train.dat", data));
  return network.layers;
}

std::string dataFor(int inputs, int outputs) {
  std::string data = "1 0 0\n" + std::to_string(inputs) + " " + std::to_string(outputs) + "\n";
  for (int k = 0; k < inputs + outputs; ++k) data += "0 1\n";
  for (int k = 0; k < inputs + outputs; ++k) data += "0.5\t";
  return data + "\n";
}

TEST(ConfigurationFile, AnyWhitespaceSeparatesSizes) {
  EXPECT_EQ(topologyOf("2 3 1", exampleData), (std::vector<int>{2, 3, 1}));
  EXPECT_EQ(topologyOf("2\n3\n\n1\n", exampleData), (std::vector<int>{2, 3, 1}));
  EXPECT_EQ(topologyOf("\t2\t3 \t 1 ", exampleData), (std::vector<int>{2, 3, 1}));
  EXPECT_EQ(topologyOf("12 10 1", dataFor(12, 1)), (std::vector<int>{12, 10, 1}));
}

TEST(ConfigurationFile, ReadingStopsAtTheFirstNonInteger) {
  EXPECT_EQ(topologyOf("2 3 1 hidden 7", exampleData), (std::vector<int>{2, 3, 1}));
  EXPECT_EQ(topologyOf("2 4 1abc 5", exampleData), (std::vector<int>{2, 4, 1}));
  EXPECT_EQ(topologyOf("2 1.5 4", exampleData), (std::vector<int>{2, 1}));  // 1.5 reads as 1
}

TEST(ConfigurationFileDeathTest, MissingFileBeforeTheDataFile) {
  ScratchFolder folder;
  const std::string missing = folder.file("missing.cfg");
  EXPECT_EXIT(TestNetwork(missing, folder.file("missing.dat")), ::testing::ExitedWithCode(253),
              "^Error opening file: " + missing + ": no such file or directory\n$");
}

TEST(ConfigurationFileDeathTest, TopologyThatCannotBePropagated) {
  ScratchFolder folder;
  const std::string data = folder.write("train.dat", exampleData);
  for (const char* configuration : {"", "2", "2 0 1", "2 -3 1", "0 1", "2 1 0", "x 2 1"}) {
    SCOPED_TRACE(configuration);
    const std::string name = folder.write("net.cfg", configuration);
    EXPECT_EXIT(TestNetwork(name, data), ::testing::ExitedWithCode(253),
                "^Wrong network configuration in " + name +
                    ": at least two layers of at least one neuron each are needed\n$");
  }
  const std::string huge = folder.write("huge.cfg", "2 100000 100000 1");
  EXPECT_EXIT(
      TestNetwork(huge, data), ::testing::ExitedWithCode(253),
      "^Wrong network configuration in " + huge + ": too many weights \\(at most 268435456\\)\n$");
}

}  // namespace
