// The synthetic log generator: valid SWF, reproducible, and history that predicts failures.

#include "samples/swf_generator.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "samples/job_data.h"
#include "test_helpers.h"

namespace {

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
  tallis_test::TempDir dir;
  tallis_test::writeFile(dir.file("log.swf"), generate(3000, 20, 9));
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
  tallis_test::TempDir dir;
  tallis_test::writeFile(dir.file("log.swf"), generate(20000, 50, 5));
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
  std::string demo = tallis_test::readFile(std::string(SOURCE_DIR) + "/data/demo/demo.swf");
  EXPECT_EQ(demo, generate(4000, 24, 1));
}

}  // namespace
