// The synthetic log generator: valid SWF, reproducible, and history that predicts failures.

#include "tallis/swf_generator.h"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <sstream>

#include "sample_builder/job_data.h"
#include "tests/sample_builder/test_helpers.h"
#include "tests/support/test_support.h"

namespace {

using test_support::ScratchFolder;

std::string generate(long long jobs, int users, uint64_t seed) {
  SwfGeneratorOptions options;
  options.jobs = jobs;
  options.users = users;
  options.seed = seed;
  std::ostringstream out;
  generateSwfLog(options, out);
  return out.str();
}

TEST(SwfGenerator, WritesValidJobLinesInSubmitOrder) {
  ScratchFolder dir;
  test_support::writeFile(dir.file("log.swf"), generate(3000, 20, 9));
  std::vector<JobData> jobs = parseFile(dir.file("log.swf"));
  ASSERT_EQ(jobs.size(), 3000u);
  EXPECT_EQ(filterOutPartialJobs(jobs).size(), 3000u);
  std::map<int, int> statuses;
  for (size_t i = 0; i < jobs.size(); ++i) {
    ++statuses[jobs[i].status];
    EXPECT_EQ(jobs[i].jobNumber, static_cast<int>(i) + 1);
    EXPECT_GE(jobs[i].userID, 1);
    EXPECT_LE(jobs[i].userID, 20);
    if (i > 0) {
      EXPECT_GE(jobs[i].submitTime, jobs[i - 1].submitTime);
    }
  }
  EXPECT_GT(statuses[0], 150);
  EXPECT_GT(statuses[5], 50);
  EXPECT_GT(statuses[1], 1500);
}

TEST(SwfGenerator, SameSeedSameLogOtherSeedOtherLog) {
  EXPECT_EQ(generate(500, 10, 3), generate(500, 10, 3));
  EXPECT_NE(generate(500, 10, 3), generate(500, 10, 4));
}

TEST(SwfGenerator, AFailedPairFailsAgainMoreOften) {
  ScratchFolder dir;
  test_support::writeFile(dir.file("log.swf"), generate(20000, 50, 5));
  std::vector<JobData> jobs = parseFile(dir.file("log.swf"));
  std::map<std::pair<int, int>, int> last;
  int afterFailure[2] = {0, 0}, afterSuccess[2] = {0, 0};
  for (const JobData& job : jobs) {
    auto key = std::make_pair(job.userID, job.applicationNumber);
    auto previous = last.find(key);
    if (previous != last.end()) {
      int* counts = previous->second != 1 ? afterFailure : afterSuccess;
      ++counts[0];
      counts[1] += job.status != 1;
    }
    last[key] = job.status;
  }
  double failureAfterFailure = static_cast<double>(afterFailure[1]) / afterFailure[0];
  double failureAfterSuccess = static_cast<double>(afterSuccess[1]) / afterSuccess[0];
  EXPECT_GT(failureAfterFailure, 2 * failureAfterSuccess);
}

TEST(SwfGenerator, DemoLogIsWhatTheRegenerateCommandWrites) {
  // scripts/make-demo-log.sh: swfgen --jobs 4000 --users 24 --seed 1 data/demo/demo.swf
  std::string demo = test_support::readFile(std::string(SOURCE_DIR) + "/data/demo/demo.swf");
  EXPECT_EQ(demo, generate(4000, 24, 1));
}

// swfgen through its executable: values it cannot honour, extra names, and a log that cannot
// be finished. Every refusal has its own message and status 1 and writes nothing.
TEST(SwfgenProgram, ValuesOutOfRangeAndExtraNamesAreRefused) {
  ScratchFolder dir;
  struct Case {
    const char* arguments;
    std::string message;  // the start of standard error
  };
  const Case cases[] = {
      {"--users 4294967298", "Wrong value for --users: 4294967298 (at most 1073741823)\n"},
      {"--users 2147483647", "Wrong value for --users: 2147483647 (at most 1073741823)\n"},
      {"--jobs 2147483648", "Wrong value for --jobs: 2147483648 (at most 2147483647)\n"},
      {"--apps 99999999999999999999",
       "Wrong value for --apps: 99999999999999999999 (at most 2147483647)\n"},
      {"--seed 18446744073709551616",
       "Wrong value for --seed: 18446744073709551616 (at most 18446744073709551615)\n"},
      {"--apps-per-user -1",
       "Wrong value for --apps-per-user: -1 (a whole number from 0 to 2147483647)\n"},
      {"--users ''", "Wrong value for --users:  (a whole number from 0 to 1073741823)\n"},
      {"--jobs", "Wrong value for --jobs: out.swf (a whole number from 0 to 2147483647)\n"},
      {"--job 5",
       "Usage: swfgen [--jobs N] [--users N] [--apps-per-user N] [--apps N] [--seed N] "
       "[output_file]\nUnknown option: --job (swfgen --help)\n"},
      {"--users 1073741823 --apps-per-user 2147483647",
       "A log of 1073741823 users and 2147483646 applications needs "},
      {"a.swf b.swf", "Too many file names: 'a.swf' 'b.swf' (swfgen writes one log)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const auto result = test_support::runProgram("cd '" + dir.path() + "' && " + SWFGEN_PATH + " " +
                                                 c.arguments + " out.swf");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.substr(0, c.message.size()), c.message);
    EXPECT_FALSE(tallis_test::haveFile(dir.file("out.swf")));
  }
  // Help and version alone, on standard output.
  const auto help = test_support::runProgram(std::string(SWFGEN_PATH) + " --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: swfgen [--jobs N]", 0), 0u) << help.out;
  const auto version = test_support::runProgram(std::string(SWFGEN_PATH) + " --version");
  EXPECT_EQ(version.out, std::string("swfgen ") + PROJECT_VERSION + "\n");
  // The largest seed is a seed like any other.
  const auto seed = test_support::runProgram(
      std::string(SWFGEN_PATH) + " --jobs 3 --seed 18446744073709551615 " + dir.file("s.swf"));
  EXPECT_EQ(seed.status, 0) << seed.err;
}

// A log replaces a log; a file of another kind under its name is refused and kept.
TEST(SwfgenProgram, FilesOfAnotherKindAreNeverReplaced) {
  ScratchFolder dir;
  const struct {
    const char* name;
    std::string content;
    const char* kind;
  } cases[] = {
      {"train.dat", "3 1 1\n2 1\n-0.125 1.125\n", "a training data file"},
      {"log.swf.gz", std::string("\x1f\x8b\x08\0\0\0\0\0", 8), "gzip-compressed data"},
      {"bp.txt", "Learning rate: 0.5\n", "an algorithm parameters file"},
      {"NN_kernels.cl", "__kernel void f() {}\n", "the OpenCL kernel source"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::writeFile(dir.file(c.name), c.content);
    const auto result =
        test_support::runProgram(std::string(SWFGEN_PATH) + " --jobs 10 " + dir.file(c.name));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Refusing to replace '" + dir.file(c.name) + "': it is " + c.kind +
                              ", not a workload log\n");
    EXPECT_EQ(test_support::readFile(dir.file(c.name)), c.content);
  }
}

TEST(SwfgenProgram, SizeLimitAndSignalsNeverLeaveATruncatedLog) {
  ScratchFolder dir;
  const std::string log = dir.file("log.swf");
  test_support::writeFile(log, "; an earlier log\n");
  const auto limited = test_support::runProgram("ulimit -f 20 && " + std::string(SWFGEN_PATH) +
                                                " --jobs 100000 " + log);
  EXPECT_EQ(limited.status, 1);
  EXPECT_EQ(limited.err, "Error writing file: " + log + ": file too large\n");
  EXPECT_EQ(test_support::readFile(log), "; an earlier log\n");
  EXPECT_TRUE(tallis_test::hiddenFiles(dir.path()).empty());
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(signal);
    const int status = tallis_test::signalWhenTemporaryFileAppears(
        {SWFGEN_PATH, "--jobs", "2147483647", log}, dir, signal);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_EQ(test_support::readFile(log), "; an earlier log\n");
    EXPECT_TRUE(tallis_test::hiddenFiles(dir.path()).empty());
  }
}

}  // namespace
