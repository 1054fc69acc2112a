// The whole hand-over: a log made by the generator, tallis writing the training file, the file
// read back the way ombra reads it (float extraction), and ombra itself reading it.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "card/input_card.h"
#include "tallis/swf_generator.h"
#include "tests/sample_builder/test_helpers.h"
#include "tests/support/test_support.h"

namespace {

using test_support::runProgram;
using test_support::ScratchFolder;

struct ReadBack {
  float counts[3] = {0, 0, 0};
  int inputs = 0, outputs = 0;
  std::vector<float> ranges;  // min, max per column
  std::vector<float> values;  // every sample value in file order
};

ReadBack readAsOmbraDoes(const std::string& path) {
  ReadBack file;
  std::ifstream in(path);
  in >> file.counts[0] >> file.counts[1] >> file.counts[2] >> file.inputs >> file.outputs;
  file.ranges.resize(2 * (file.inputs + file.outputs));
  for (float& bound : file.ranges) in >> bound;
  float value;
  while (in >> value) file.values.push_back(value);
  return file;
}

class TallisToOmbra : public testing::Test {
 protected:
  void SetUp() override {
    SwfGeneratorOptions options;
    options.jobs = 1500;
    options.users = 12;
    options.seed = 42;
    std::ofstream log(dir.file("log.swf"));
    generateSwfLog(options, log);
  }
  ScratchFolder dir;
};

TEST_F(TallisToOmbra, EverySampleRangeAndCountIsReadBack) {
  auto tallis = runProgram(std::string(TALLIS_PATH) +
                           " -iuID,rCPU,rT,lsu,lsa,lsua,lc,lrt,ea,ec -os -r60:20:20 "
                           "-p0.5 " +
                           dir.file("log.swf") + " " + dir.file("train.dat"));
  ASSERT_EQ(tallis.status, 0) << tallis.err;
  ReadBack file = readAsOmbraDoes(dir.file("train.dat"));
  std::smatch sizes;
  ASSERT_TRUE(
      std::regex_search(tallis.out, sizes, std::regex("input size=(\\d+)    output size=(\\d+)")));
  EXPECT_EQ(file.inputs, std::stoi(sizes[1]));
  EXPECT_EQ(file.outputs, 1);
  EXPECT_EQ(file.inputs, 12 + 9);

  const int width = file.inputs + file.outputs;
  ASSERT_EQ(file.values.size() % width, 0u) << "a sample with missing values";
  const int samples = static_cast<int>(file.values.size() / width);
  EXPECT_EQ(file.counts[0] + file.counts[1] + file.counts[2], samples);
  std::smatch positives;
  ASSERT_TRUE(std::regex_search(tallis.out, positives,
                                std::regex("positives = (\\d+)\tnegatives= (\\d+)")));
  EXPECT_EQ(std::stoi(positives[1]) + std::stoi(positives[2]), samples);
  // The leading part was brought to half positives.
  int leading = static_cast<int>(file.counts[0] + file.counts[1]);
  int leadingPositives = 0;
  for (int s = 0; s < leading; ++s) leadingPositives += file.values[s * width + width - 1] > 0.5f;
  EXPECT_NEAR(leadingPositives, leading / 2.0, 1.0);

  // The column names beside the file: one per value column, the user columns with their ids.
  InputCard card;
  ASSERT_EQ(parseInputCard(test_support::readFile(dir.file("train.dat.columns")), card), "");
  const std::vector<std::string>& lines = card.columns;
  ASSERT_EQ(lines.size(), static_cast<size_t>(file.inputs + file.outputs));
  std::set<std::string> users;
  for (int k = 0; k < 12; ++k) {
    ASSERT_EQ(lines[k].substr(0, 10), "input uID ") << k;
    users.insert(lines[k].substr(10));
  }
  EXPECT_EQ(users.size(), 12u) << "every user column names a different user";
  EXPECT_EQ(
      std::vector<std::string>(lines.begin() + 12, lines.end()),
      (std::vector<std::string>{"input rCPU", "input rT", "input lsu", "input lsa", "input lsua",
                                "input lc", "input lrt", "input ea", "input ec", "output s"}));

  // Every value sits inside its widened range: inputs scale into [-0.8, 0.8].
  for (int s = 0; s < samples; ++s) {
    for (int k = 0; k < width; ++k) {
      float low = file.ranges[2 * k], high = file.ranges[2 * k + 1];
      float value = file.values[s * width + k];
      ASSERT_LT(low, high);
      float scaled = 2 * (value - low) / (high - low) - 1;
      ASSERT_LE(std::fabs(scaled), 0.8f + 1e-4f) << "sample " << s << " column " << k;
    }
  }
}

TEST_F(TallisToOmbra, OmbraReadsTheFileWithTheSameSplit) {
  auto tallis = runProgram(std::string(TALLIS_PATH) + " -iuID,lsu,lsua,ea -os -r7:2:1 -p0 " +
                           dir.file("log.swf") + " " + dir.file("train.dat"));
  ASSERT_EQ(tallis.status, 0) << tallis.err;
  ReadBack file = readAsOmbraDoes(dir.file("train.dat"));
  test_support::writeFile(dir.file("net.cfg"), std::to_string(file.inputs) + " 4 1\n");
  test_support::writeFile(dir.file("bp.txt"), "Iterations: 1\n");
  auto ombra = runProgram("cd '" + dir.path() + "' && " + OMBRA_PATH +
                          " BP net.cfg train.dat bp.txt </dev/null");
  auto count = [&](const char* label) {
    std::smatch match;
    if (!std::regex_search(ombra.out, match, std::regex(std::string(label) + "(\\d+)"))) {
      return -1;
    }
    return std::stoi(match[1]);
  };
  EXPECT_EQ(count("Number of training samples: "), static_cast<int>(file.counts[0]))
      << ombra.out << ombra.err;
  EXPECT_EQ(count("Number of validation samples: "), static_cast<int>(file.counts[1]));
  EXPECT_EQ(count("Number of test samples: "), static_cast<int>(file.counts[2]));
  EXPECT_EQ(file.counts[0], 1050);  // 7:2:1 of 1500 with nothing erased
}

// The recommended recipe end to end: the same seed gives the same training data file and the
// same network file, another seed another network from the same training data file (-p0 draws
// nothing).
TEST_F(TallisToOmbra, RecipeScriptRepeatsWithItsSeed) {
  const std::string build = std::string(OMBRA_PATH).substr(0, std::string(OMBRA_PATH).rfind('/'));
  auto recipe = [&](const std::string& folder, const std::string& seed) {
    return runProgram("BUILD_DIR='" + build + "' bash " + SOURCE_DIR + "/scripts/train-recipe.sh " +
                          dir.file("log.swf") + " " + dir.file(folder) + " " + seed,
                      "", dir.path());
  };
  const auto first = recipe("a", "7");
  ASSERT_EQ(first.status, 0) << first.out << first.err;
  // At the submit time by default, where a job's wait is not known yet.
  EXPECT_NE(first.out.find("+ " + std::string(TALLIS_PATH) + " -ilogrCPU,"), std::string::npos)
      << first.out;
  EXPECT_NE(first.out.find(" --as-of=submit "), std::string::npos) << first.out;
  ASSERT_EQ(recipe("b", "7").status, 0);
  ASSERT_EQ(recipe("c", "8").status, 0);
  using test_support::readFile;
  const std::string network = readFile(dir.file("a/net.bin"));
  EXPECT_GT(network.size(), 1000u);
  EXPECT_EQ(readFile(dir.file("b/net.bin")), network);
  EXPECT_EQ(readFile(dir.file("b/train.dat")), readFile(dir.file("a/train.dat")));
  EXPECT_EQ(readFile(dir.file("c/train.dat")), readFile(dir.file("a/train.dat")));
  EXPECT_NE(readFile(dir.file("c/net.bin")), network);
  // The network's card: the data's card and a calibration, the same for the same seed.
  const std::string card = readFile(dir.file("a/net.bin.card"));
  EXPECT_EQ(card.rfind(readFile(dir.file("a/train.dat.columns")), 0), 0u);
  EXPECT_NE(card.find("\ncalibration 1 "), std::string::npos);
  EXPECT_EQ(readFile(dir.file("b/net.bin.card")), card);
}

// When the file at path last changed, in nanoseconds (-1: there is none).
long long changedAt(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_mtim.tv_sec * 1000000000ll + info.st_mtim.tv_nsec
                                        : -1;
}

// The input card goes beside the file really written, only beside a regular file, stamped with
// the data written with it; a card that could not be written is refused before any work.
TEST_F(TallisToOmbra, InputCardBesideTheFileReallyWrittenOnly) {
  mkdir(dir.file("real").c_str(), 0755);
  ASSERT_EQ(symlink("real/train.dat", dir.file("link.dat").c_str()), 0);
  test_support::writeFile(dir.file("real/train.dat.columns"), "input old\noutput s\n");
  mkdir(dir.file("blocked.dat.columns").c_str(), 0755);
  const struct {
    const char* what;
    std::string target;   // shell words after the log
    std::string card;     // where the card must be, "" for none
    std::string refusal;  // standard error, "" when the run succeeds
  } cases[] = {
      {"a device", "/dev/null", "", ""},
      // (its progress lines then go to standard error, left out here)
      {"standard output appended to a file", "/dev/stdout 2>/dev/null >> " + dir.file("keep.txt"),
       "", ""},
      {"a link into another folder", dir.file("link.dat"), dir.file("real/train.dat.columns"), ""},
      {"a folder where the card goes", dir.file("blocked.dat"), "",
       "Error opening file: " + dir.file("blocked.dat.columns") + ": is a directory\n"},
  };
  const std::string run =
      std::string(TALLIS_PATH) + " -irCPU,lsua -os -r1:1:1 -p0 " + dir.file("log.swf") + " ";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const long long devices[] = {changedAt("/dev/null.columns"), changedAt("/dev/stdout.columns")};
    const auto result = runProgram("sh -c '" + run + c.target + "'");
    EXPECT_EQ(result.status, c.refusal.empty() ? 0 : 1);
    EXPECT_EQ(result.err, c.refusal);
    // Nothing lands in /dev: a stream or device has no file to go beside.
    EXPECT_EQ(changedAt("/dev/null.columns"), devices[0]);
    EXPECT_EQ(changedAt("/dev/stdout.columns"), devices[1]);
    if (!c.card.empty()) {
      InputCard card;
      ASSERT_EQ(parseInputCard(test_support::readFile(c.card), card), "");
      const std::string data = test_support::readFile(dir.file("real/train.dat"));
      EXPECT_EQ(card.data, stampOf(data.data(), data.size()));
      EXPECT_EQ(card.columns, (std::vector<std::string>{"input rCPU", "input lsua", "output s"}));
    }
  }
  EXPECT_FALSE(tallis_test::haveFile(dir.file("link.dat.columns")));
  EXPECT_FALSE(tallis_test::haveFile(dir.file("keep.txt.columns")));
  EXPECT_FALSE(tallis_test::haveFile(dir.file("blocked.dat")));
}

}  // namespace
