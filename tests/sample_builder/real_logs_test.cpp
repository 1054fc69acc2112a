// The whole tallis pipeline on real logs, fast steps against the plain ones with the same
// rand() seed: the same erased jobs and the same training file, byte for byte.

#include <gtest/gtest.h>

#include <cstdlib>

#include "sample_builder/attributes.h"
#include "sample_builder/sample_selection.h"
#include "sample_builder/training_file.h"
#include "test_helpers.h"
#include "tests/reference/reference.h"
#include "tests/support/test_support.h"

namespace {

using test_support::ScratchFolder;

using test_support::readFile;

std::string buildFile(std::vector<JobData> jobs, bool fast, const std::string& path) {
  const AttributeList inputs =
      tallis_test::rows("sT,wT,rCPU,rT,rM,uID,lsu,lsa,lsua,lc,lrt,lCPUt,ea,ec");
  const AttributeList outputs = tallis_test::rows("s");
  test_support::captureStdout();
  std::srand(20240601);
  SplitCounts split = splitJobs(static_cast<int>(jobs.size()), 60, 20, 20);
  int leading =
      fast ? changeTrainingSamplePositivesRatio(jobs, split.training + split.validation, 0.5)
           : reference::changeTrainingSamplePositivesRatio(jobs, split.training + split.validation,
                                                           0.5);
  split = resplitJobs(leading, split.test, 60, 20, jobs.size());
  createUserIdLookupTable(jobs);
  if (fast) {
    createTrainingFile(jobs, inputs, outputs, path, split.training, split.validation, split.test);
  } else {
    reference::createTrainingFile(jobs, inputs, outputs, path, split.training, split.validation,
                                  split.test);
  }
  return test_support::capturedStdout() + readFile(path);
}

TEST(RealLogPipeline, FastPipelineWritesTheSameFileAsThePlainOne) {
  // Whole KTH log; the first 15,000 finished jobs of the logs with applications.
  struct Log {
    const char* name;
    size_t jobs;
  };
  const Log logs[] = {{"KTH-SP2-1996-2.1-cln.swf", 1u << 30},
                      {"LANL-CM5-1994-4.1-cln.swf", 15000},
                      {"LLNL-Thunder-2007-1.1-cln.swf", 15000}};
  ScratchFolder dir;
  int checked = 0;
  for (const Log& log : logs) {
    std::string path = tallis_test::swfPath(log.name);
    if (!tallis_test::haveFile(path)) continue;
    std::vector<JobData> jobs = filterOutPartialJobs(parseFile(path));
    if (jobs.size() > log.jobs) jobs.resize(log.jobs);
    std::string fast = buildFile(jobs, true, dir.file("fast.dat"));
    std::string plain = buildFile(jobs, false, dir.file("plain.dat"));
    ASSERT_EQ(fast.size(), plain.size()) << log.name;
    EXPECT_TRUE(fast == plain) << log.name;
    EXPECT_GT(fast.size(), jobs.size() * 10);
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "no workload logs in " << SWF_DATA_DIR;
}

}  // namespace
