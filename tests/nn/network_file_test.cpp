#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <thread>

#include "nn/network.h"
#include "nn/reloaded_network.h"
#include "tests/nn/test_network.h"
#include "tests/support/test_support.h"

namespace {

using test_support::readFile;
using test_support::runProgram;
using test_support::ScratchFolder;

std::vector<float> randomValues(size_t count, float low, float high) {
  std::vector<float> values(count);
  const float draws = static_cast<float>(RAND_MAX) + 1.0f;
  for (float& value : values) value = low + (high - low) * (std::rand() / draws);
  return values;
}

std::unique_ptr<TestNetwork> randomNetwork(const std::vector<int>& layers) {
  std::unique_ptr<TestNetwork> network(new TestNetwork(layers, {}, {}, {}));
  network->weights = randomValues(network->numberOfWeights(), -3.0f, 3.0f);
  for (int j = 0; j < layers.front(); ++j) {
    network->inputRanges.insert(network->inputRanges.end(), {-10.0f * j - 1, 3.0f * j + 2});
  }
  for (int j = 0; j < layers.back(); ++j) {
    network->outputRanges.insert(network->outputRanges.end(), {-0.125f, 1.125f + j});
  }
  return network;
}

// Writes past size bytes fail (EFBIG) instead of ending the process.
void limitFileSize(rlim_t size) {
  signal(SIGXFSZ, SIG_IGN);
  rlimit limit;
  limit.rlim_cur = limit.rlim_max = size;
  setrlimit(RLIMIT_FSIZE, &limit);
}

TEST(NetworkFile, ByteLayoutOfThreeFiveOne) {
  std::srand(21);
  std::unique_ptr<TestNetwork> network = randomNetwork({3, 5, 1});
  network->weights.resize(26 * 4, 99.0f);  // a swarm's other particles are not saved
  ScratchFolder folder;
  const std::string name = folder.file("net.bin");
  network->save(name);
  std::vector<float> floats(network->weights.begin(), network->weights.begin() + 26);
  floats.insert(floats.end(), network->inputRanges.begin(), network->inputRanges.end());
  floats.insert(floats.end(), network->outputRanges.begin(), network->outputRanges.end());
  const std::string bytes = readFile(name);
  EXPECT_EQ(bytes.size(), 152u);  // 4 + 12 + 104 + 24 + 8
  EXPECT_EQ(bytes, networkFileBytes({3, 5, 1}, floats));
  EXPECT_EQ(bytes.substr(0, 8), std::string("\x03\0\0\0\x03\0\0\0", 8));
}

TEST(NetworkFile, RoundTripPredictsBitForBitAndSavesTheSameBytes) {
  std::srand(22);
  ScratchFolder folder;
  for (const std::vector<int>& layers :
       {std::vector<int>{3, 5, 1}, {2, 1}, {4, 7, 3, 2}, {6, 2, 9, 4, 3}}) {
    std::unique_ptr<TestNetwork> network = randomNetwork(layers);
    const std::string first = folder.file("first.bin");
    network->save(first);
    NN_reloaded reloaded(first);
    EXPECT_EQ(reloaded.numberOfWeights(), network->numberOfWeights());
    for (int trial = 0; trial < 20; ++trial) {
      const std::vector<float> input = randomValues(layers[0], -20.0f, 20.0f);
      EXPECT_EQ(reloaded.predict(input), network->predict(input));
    }
    const std::string second = folder.file("second.bin");
    reloaded.save(second);
    EXPECT_EQ(readFile(second), readFile(first));
    EXPECT_EQ(reloaded.timeIterations(100), 0.0);
    EXPECT_EQ(reloaded.numberOfTrainingSamples(), 0);
  }
}

TEST(NetworkFile, ReloadedInfoHasNoSampleCounts) {
  ScratchFolder folder;
  const std::string name = folder.write(
      "net.bin", networkFileBytes({2, 1}, {0.5f, -1, 2, 0, 10, -2.5f, 2.5f, 100, 400}));
  NN_reloaded network(name);
  test_support::captureStdout();
  network.printInfo();
  EXPECT_EQ(test_support::capturedStdout(),
            "Neural network info\n"
            "-------------------\n"
            "Layers: 2 1 \n"
            "Input ranges:\n"
            "[0,10]\n"
            "[-2.5,2.5]\n"
            "Output ranges:\n"
            "[100,400]\n"
            "Total weights: 3\n");
}

TEST(NetworkFileDeathTest, ReloadedNetworkCannotTrain) {
  ScratchFolder folder;
  const std::string name = folder.write("net.bin", networkFileBytes({1, 1}, {0, 0, -1, 1, 0, 1}));
  NN_reloaded network(name);
  EXPECT_EXIT(network.train(), ::testing::ExitedWithCode(255), "^Training not allowed\n$");
}

TEST(NetworkFile, SaveReplacesKeepsModeAndFollowsLinks) {
  std::srand(23);
  std::unique_ptr<TestNetwork> network = randomNetwork({2, 3, 1});
  ScratchFolder folder;
  const std::string name = folder.write("net.bin", "an older, longer file that must go away");
  chmod(name.c_str(), 0640);
  network->save(name);
  const std::string expected = readFile(name);
  EXPECT_EQ(expected.size(), 4 + 12 + 4 * 13 + 16 + 8u);
  struct stat info;
  ASSERT_EQ(stat(name.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  // A link stays a link; its target gets the network (also a target that is not there yet).
  const std::string link = folder.file("link.bin");
  ASSERT_EQ(symlink("target.bin", link.c_str()), 0);
  network->save(link);
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(readFile(folder.file("target.bin")), expected);
  folder.write("target.bin", "old");
  network->save(link);
  EXPECT_EQ(readFile(folder.file("target.bin")), expected);
  ASSERT_EQ(lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));

  // Nothing temporary is left behind.
  EXPECT_EQ(runProgram("ls -A '" + folder.path() + "'").out, "link.bin\nnet.bin\ntarget.bin\n");
}

TEST(NetworkFile, FifoIsWrittenInPlace) {
  std::srand(24);
  std::unique_ptr<TestNetwork> network = randomNetwork({3, 5, 1});
  ScratchFolder folder;
  const std::string fifo = folder.file("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = readFile(fifo); });
  network->save(fifo);
  reader.join();
  EXPECT_EQ(received.size(), 152u);
  struct stat info;
  ASSERT_EQ(stat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(NetworkFileDeathTest, StandardOutputRedirectedToAFileKeepsItsOutput) {
  ScratchFolder folder;
  const std::string output = folder.file("out.txt");
  EXPECT_EXIT(
      {
        std::unique_ptr<TestNetwork> network(
            new TestNetwork({1, 1}, {0, 1}, {0, 1}, {0.25f, 0.5f}));
        std::freopen(output.c_str(), "w", stdout);
        std::cout << "before" << std::endl;
        network->save("/dev/stdout");
        std::cout << "after" << std::endl;
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(readFile(output),
            "before\n" + networkFileBytes({1, 1}, {0.25f, 0.5f, 0, 1, 0, 1}) + "after\n");
}

TEST(NetworkFileDeathTest, WriteErrorsAreReportedAndKeepThePreviousFile) {
  std::unique_ptr<TestNetwork> network = randomNetwork({3, 5, 1});
  EXPECT_EXIT(network->save("/dev/full"), ::testing::ExitedWithCode(255),
              "^Error writing file: /dev/full: no space left on device\n$");

  ScratchFolder folder;
  const std::string name = folder.write("net.bin", "previous network");
  EXPECT_EXIT(
      {
        // The file system refuses anything past 100 bytes: the 152-byte file fails part-way.
        limitFileSize(100);
        network->save(name);
      },
      ::testing::ExitedWithCode(255), "^Error writing file: " + name + ": file too large\n$");
  EXPECT_EQ(readFile(name), "previous network");
  EXPECT_EQ(runProgram("ls -A '" + folder.path() + "'").out, "net.bin\n");
}

TEST(NetworkFileDeathTest, CannotCreate) {
  std::unique_ptr<TestNetwork> network = randomNetwork({2, 1});
  ScratchFolder folder;
  std::unique_ptr<TestNetwork> untrained(new TestNetwork({2, 1}, {0, 1, 0, 1}, {0, 1}, {0, 0}));
  const std::string name = folder.file("net.bin");
  EXPECT_EXIT(untrained->save(name), ::testing::ExitedWithCode(255),
              "^Network has no weights to save to " + name + "\n$");
  const std::string inMissingFolder = folder.file("missing/net.bin");
  EXPECT_EXIT(network->save(inMissingFolder), ::testing::ExitedWithCode(255),
              "^Error opening file: " + inMissingFolder + ": no such file or directory\n$");
  EXPECT_EXIT(network->save(folder.path()), ::testing::ExitedWithCode(255),
              "^Error opening file: " + folder.path() + ": is a directory\n$");
}

TEST(NetworkFileDeathTest, CannotOpenForReading) {
  ScratchFolder folder;
  const std::string missing = folder.file("missing.bin");
  EXPECT_EXIT(NN_reloaded{missing}, ::testing::ExitedWithCode(255),
              "^Error opening file: " + missing + ": no such file or directory\n$");
  EXPECT_EXIT(NN_reloaded{folder.path()}, ::testing::ExitedWithCode(255),
              "^Error opening file: " + folder.path() + ": is a directory\n$");
}

TEST(NetworkFileDeathTest, CorruptOrTruncatedFiles) {
  ScratchFolder folder;
  const std::string good = networkFileBytes({2, 1}, {0, 0, 0, -1, 1, -1, 1, 0, 1});
  struct Case {
    std::string bytes;
    std::string reason;
  };
  const Case cases[] = {
      {"", "no layer count"},
      {good.substr(0, 3), "no layer count"},
      {networkFileBytes({}, {}), "layer count 0 is below 2"},
      {networkFileBytes({3}, {0, 0, 0}), "layer count 1 is below 2"},
      {std::string("\xfb\xff\xff\xff", 4) + good.substr(4), "layer count -5 is below 2"},
      {std::string("\xff\xff\xff\x7f", 4) + good.substr(4), "file too short"},
      {good.substr(0, 10), "file too short"},
      {networkFileBytes({2, 0}, std::vector<float>(10, 0.0f)), "layer 1 has size 0"},
      {networkFileBytes({-2, 1}, std::vector<float>(10, 0.0f)), "layer 0 has size -2"},
      {networkFileBytes({2, 1}, {}), "file too short for its layer sizes"},
      {good.substr(0, good.size() - 1), "file too short for its layer sizes"},
      {good + '\0', "file longer than its layer sizes imply"},
      {networkFileBytes({2, 2000000000, 1}, {}), "too many weights"},
      {networkFileBytes({2, 100000, 100000, 1}, {}), "too many weights"},
      {networkFileBytes({2, 30000, 30000, 1}, {}), "file too short for its layer sizes"},
  };
  for (const Case& corrupt : cases) {
    SCOPED_TRACE(corrupt.reason);
    const std::string name = folder.write("net.bin", corrupt.bytes);
    EXPECT_EXIT(NN_reloaded{name}, ::testing::ExitedWithCode(255),
                "^Corrupt network file: " + name + ": " + corrupt.reason + "\n$");
  }
  NN_reloaded reloaded(folder.write("net.bin", good));  // the unbroken file reads
  EXPECT_EQ(reloaded.numberOfWeights(), 3);
}

}  // namespace
