// Attribute functions: direct values, the look-back rules, and the linear-time index that
// must give the backward scans' values for every job.

#include "sample_builder/attributes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <random>

#include "sample_builder/attribute_table.h"
#include "sample_builder/exception.h"
#include "sample_builder/look_back_index.h"
#include "test_helpers.h"
#include "tests/support/test_support.h"

namespace {

using tallis_test::job;
using Values = std::vector<double>;

const AttributeFunction lookBackFunctions[] = {lastStatusOfUser,
                                               lastStatusOfApplication,
                                               lastStatusOfUserWithApplication,
                                               lastJobOfUserWithApplicationWasCanceled,
                                               lastRunTimeOfUserWithApplication,
                                               lastAverageCPUTimeOfUserWithApplication,
                                               elapsedTimeSinceUserLastUsedApplication,
                                               elapsedTimeSinceUserLastUsedCluster};

TEST(CreateAttributeValues, SetsOnePositionOrNone) {
  EXPECT_EQ(createAttributeValues(3, 1), (Values{0, 1, 0}));
  EXPECT_EQ(createAttributeValues(3, -1), (Values{0, 0, 0}));
  EXPECT_EQ(createAttributeValues(0, -1), Values{});
  for (int active : {3, -2}) {
    try {
      createAttributeValues(3, active);
      FAIL() << "no exception for " << active;
    } catch (const Exception& error) {
      EXPECT_EQ(error.what(), "Wrong active neuron: " + std::to_string(active) +
                                  " of 3 values (-1 for none, else 0 to count - 1)");
    }
  }
}

TEST(DirectAttributes, CopyTheJobsFieldsAndEncodeTheStatus) {
  JobData a = job(0, 4, 2, 123.5);
  a.waitTime = -1;
  a.requestedNumberOfProcessors = 64;
  a.requestedTime = 7200;
  a.requestedMemory = -1;
  std::vector<JobData> jobs = {a, job(5, 4, 2), job(1, 4, 2)};
  EXPECT_EQ(submitTime(jobs, 0), Values{123.5});
  EXPECT_EQ(waitTime(jobs, 0), Values{-1});
  EXPECT_EQ(requestedNumberOfProcessors(jobs, 0), Values{64});
  EXPECT_EQ(requestedTime(jobs, 0), Values{7200});
  EXPECT_EQ(requestedMemory(jobs, 0), Values{-1});
  EXPECT_EQ(status(jobs, 0), Values{1});
  EXPECT_EQ(status(jobs, 1), Values{1});
  EXPECT_EQ(status(jobs, 2), Values{0});
}

TEST(UserIdAttribute, IsOneHotOverTheTableAndZeroForUnknownUsers) {
  std::vector<JobData> jobs = {job(1, 7, 1), job(1, 3, 1), job(1, -1, 1), job(1, -1, 1)};
  test_support::captureStdout();
  createUserIdLookupTable(jobs);
  test_support::capturedStdout();
  EXPECT_EQ(userID(jobs, 0), (Values{1, 0}));
  EXPECT_EQ(userID(jobs, 1), (Values{0, 1}));
  EXPECT_EQ(userID(jobs, 2), (Values{0, 0}));
  EXPECT_EQ(userID(jobs, 3), (Values{0, 0}));
  // -1 still matches -1 for the look-back attributes.
  EXPECT_EQ(lastStatusOfUser(jobs, 3), Values{0});
  jobs[2].status = 0;
  EXPECT_EQ(lastStatusOfUser(jobs, 3), Values{1});
  EXPECT_EQ(elapsedTimeSinceUserLastUsedCluster(jobs, 3), Values{0});
}

TEST(LookBackAttributes, FirstJobGetsTheNoMatchValues) {
  std::vector<JobData> jobs = {job(5, 1, 1, 1000)};
  const Values expected[] = {{0}, {0}, {0}, {0}, {0}, {0}, {kOneYear}, {kOneYear}};
  for (size_t f = 0; f < 8; ++f) EXPECT_EQ(lookBackFunctions[f](jobs, 0), expected[f]) << f;
}

TEST(LookBackAttributes, OnlyTheLatestMatchingJobDecides) {
  // Same user and application: run times 500 then -1, CPU times 70 then -1.
  std::vector<JobData> jobs = {job(1, 1, 1, 0, 500, 70), job(1, 1, 1, 10, -1, -1),
                               job(1, 1, 1, 20)};
  EXPECT_EQ(lastRunTimeOfUserWithApplication(jobs, 2), Values{0});
  EXPECT_EQ(lastAverageCPUTimeOfUserWithApplication(jobs, 2), Values{0});
  EXPECT_EQ(lastRunTimeOfUserWithApplication(jobs, 1), Values{500});
  EXPECT_EQ(lastAverageCPUTimeOfUserWithApplication(jobs, 1), Values{70});
  // A cancelled job followed by a failed one: "lc" sees only the failed one.
  std::vector<JobData> statuses = {job(5, 2, 3), job(0, 2, 3), job(1, 2, 3)};
  EXPECT_EQ(lastJobOfUserWithApplicationWasCanceled(statuses, 1), Values{1});
  EXPECT_EQ(lastJobOfUserWithApplicationWasCanceled(statuses, 2), Values{0});
  EXPECT_EQ(lastStatusOfUserWithApplication(statuses, 2), Values{1});
}

TEST(LookBackAttributes, ElapsedTimeIsCappedAtOneYear) {
  for (double gap : {31536000.0, 31536001.0, 10.0, 99999999.0}) {
    std::vector<JobData> jobs = {job(1, 1, 1, 1000), job(1, 1, 1, 1000 + gap)};
    double expected = gap > kOneYear ? kOneYear : gap;
    EXPECT_EQ(elapsedTimeSinceUserLastUsedApplication(jobs, 1), Values{expected}) << gap;
    EXPECT_EQ(elapsedTimeSinceUserLastUsedCluster(jobs, 1), Values{expected}) << gap;
  }
  // Submit times out of order give a negative elapsed time, unchanged.
  std::vector<JobData> backwards = {job(1, 1, 1, 500), job(1, 1, 1, 200)};
  EXPECT_EQ(elapsedTimeSinceUserLastUsedCluster(backwards, 1), Values{-300});
  // An unknown submit time (-1) of either job is no elapsed time: the value of no earlier job,
  // not -1 minus a time or a time plus 1.
  for (const auto& times : {std::make_pair(-1.0, 12000000.0), std::make_pair(5000.0, -1.0),
                            std::make_pair(-1.0, -1.0)}) {
    std::vector<JobData> unknown = {job(1, 1, 1, times.first), job(1, 1, 1, times.second)};
    EXPECT_EQ(elapsedTimeSinceUserLastUsedApplication(unknown, 1), Values{kOneYear});
    EXPECT_EQ(elapsedTimeSinceUserLastUsedCluster(unknown, 1), Values{kOneYear});
  }
}

TEST(LookBackAttributes, MatchOnUserApplicationOrBoth) {
  // Job 3 is user 1 with application 9.
  std::vector<JobData> jobs = {job(0, 1, 9, 100), job(5, 2, 9, 200), job(1, 1, 4, 300),
                               job(1, 1, 9, 400)};
  EXPECT_EQ(lastStatusOfApplication(jobs, 3), Values{1});          // job 1, another user's job
  EXPECT_EQ(lastStatusOfUser(jobs, 3), Values{0});                 // job 2
  EXPECT_EQ(lastStatusOfUserWithApplication(jobs, 3), Values{1});  // job 0
  EXPECT_EQ(elapsedTimeSinceUserLastUsedApplication(jobs, 3), Values{300});
  EXPECT_EQ(elapsedTimeSinceUserLastUsedCluster(jobs, 3), Values{100});
  EXPECT_EQ(lastJobOfUserWithApplicationWasCanceled(jobs, 3), Values{0});
  EXPECT_EQ(lastJobOfUserWithApplicationWasCanceled(jobs, 2), Values{0});
  // Never a later job or the job itself.
  EXPECT_EQ(lastStatusOfUser(jobs, 0), Values{0});
}

TEST(AttributeTable, NamesEveryDefinitionOnceWithItsForms) {
  const std::vector<AttributeRow>& table = attributeTable();
  EXPECT_EQ(table.size(), 42u);
  for (size_t a = 0; a < table.size(); ++a) {
    for (size_t b = a + 1; b < table.size(); ++b) {
      EXPECT_STRNE(table[a].key, table[b].key);
      if (table[a].definition != nullptr) {
        EXPECT_NE(table[a].definition, table[b].definition) << table[a].key;
      }
    }
    // Every key but the one-hot user is direct, or a history with a form for the decision
    // time, and one for log order where it has a definition.
    const AttributeRow& row = table[a];
    EXPECT_EQ(row.direct != nullptr, row.columns == Columns::one && row.asOf == nullptr) << row.key;
    if (row.asOf != nullptr) {
      EXPECT_EQ(row.logOrder != nullptr, row.definition != nullptr) << row.key;
    }
    // tallis --help lists every key under its group with this line.
    EXPECT_NE(row.group, KeyGroup::none) << row.key;
    EXPECT_TRUE(row.meaning != nullptr && *row.meaning != '\0') << row.key << " has no meaning";
  }
  EXPECT_EQ(findAttribute("lCPUt")->definition, lastAverageCPUTimeOfUserWithApplication);
  EXPECT_EQ(findAttribute("uID")->columns, Columns::perUser);
  EXPECT_EQ(findAttribute("fua")->definition, failureShareOfUserWithApplication);
  EXPECT_EQ(findAttribute("uid"), nullptr);
  EXPECT_EQ(findAttribute("logs"), nullptr);  // only the listed log forms exist
  EXPECT_EQ(findAttribute(""), nullptr);
}

TEST(EncodedAttributes, LogScaleTheHeavyTailedValuesAndPlaceTheSubmitTime) {
  JobData a = job(1, 4, 2, 86400 * 7 + 21600);  // a week and six hours after the log's start
  a.waitTime = std::exp(2.0) - 1;
  a.requestedNumberOfProcessors = 0;
  a.requestedTime = -1;  // unknown: as 0
  a.requestedMemory = 1e6;
  std::vector<JobData> jobs = {a, job(0, 4, 2, 86400 * 7 + 21600 + 99)};
  EXPECT_DOUBLE_EQ(logWaitTime(jobs, 0)[0], 2.0);
  EXPECT_EQ(logRequestedNumberOfProcessors(jobs, 0), Values{0});
  EXPECT_EQ(logRequestedTime(jobs, 0), Values{0});
  EXPECT_EQ(logRequestedMemory(jobs, 0), Values{std::log1p(1e6)});
  EXPECT_EQ(logElapsedTimeSinceUserLastUsedCluster(jobs, 0), Values{std::log1p(kOneYear)});
  EXPECT_EQ(logElapsedTimeSinceUserLastUsedApplication(jobs, 1), Values{std::log1p(99)});
  EXPECT_EQ(logLastRunTimeOfUserWithApplication(jobs, 1), Values{std::log1p(100)});
  // Six in the morning: a quarter of the day; a week and six hours: 1/28 of the week.
  EXPECT_NEAR(hourOfDaySine(jobs, 0)[0], 1.0, 1e-12);
  EXPECT_NEAR(hourOfDayCosine(jobs, 0)[0], 0.0, 1e-12);
  EXPECT_NEAR(dayOfWeekSine(jobs, 0)[0], std::sin(6.283185307179586 / 28), 1e-12);
  EXPECT_NEAR(dayOfWeekCosine(jobs, 0)[0], std::cos(6.283185307179586 / 28), 1e-12);
  jobs[0].submitTime = kUnknownTime;
  EXPECT_EQ(hourOfDaySine(jobs, 0), Values{0});
  EXPECT_EQ(dayOfWeekCosine(jobs, 0), Values{0});
}

TEST(HistoryAttributes, CountEveryEarlierMatchingJobAndNeverTheJobItself) {
  // User 1 with application 9: failed, completed, cancelled; then job 4 asks.
  std::vector<JobData> jobs = {job(0, 1, 9, 100), job(1, 1, 9, 200), job(1, 2, 9, 300),
                               job(5, 1, 9, 400), job(1, 1, 4, 500), job(0, 1, 9, 900)};
  EXPECT_EQ(failureShareOfUserWithApplication(jobs, 0), Values{0.5});  // nothing earlier
  EXPECT_EQ(logJobCountOfUser(jobs, 0), Values{0});
  EXPECT_EQ(recentFailuresOfUser(jobs, 0), Values{0.5});
  EXPECT_EQ(failureShareOfUserWithApplication(jobs, 5), Values{2.5 / 4});  // 2 of 3
  EXPECT_EQ(failureShareOfUser(jobs, 5), Values{2.5 / 5});                 // 2 of 4
  EXPECT_EQ(failureShareOfApplication(jobs, 5), Values{2.5 / 5});          // 2 of 4
  EXPECT_EQ(logJobCountOfApplication(jobs, 5), Values{std::log1p(4)});
  EXPECT_EQ(logJobCountOfUserWithApplication(jobs, 5), Values{std::log1p(3)});
  // Moving average of 1, 0, 1 starting from 0.5, the newest weighing 0.3.
  const double recent = 0.7 * (0.7 * (0.7 * 0.5 + 0.3) + 0.0) + 0.3;
  EXPECT_DOUBLE_EQ(recentFailuresOfUserWithApplication(jobs, 5)[0], recent);
  EXPECT_DOUBLE_EQ(recentFailuresOfUser(jobs, 5)[0], 0.7 * recent);
  // The user's latest failure before job 5 is the cancelled job 3, 500 s earlier.
  EXPECT_EQ(logElapsedTimeSinceUserLastFailed(jobs, 5), Values{std::log1p(500)});
  EXPECT_EQ(logElapsedTimeSinceUserLastFailed(jobs, 0), Values{std::log1p(kOneYear)});
  EXPECT_EQ(logElapsedTimeSinceUserLastFailed(jobs, 3), Values{std::log1p(300)});
  // Job 5's user: completed (job 4), then cancelled; with application 9: cancelled, completed.
  EXPECT_EQ(outcomeRunOfUser(jobs, 5), Values{-std::log(2.0)});
  EXPECT_EQ(outcomeRunOfUserWithApplication(jobs, 5), Values{std::log(2.0)});
  EXPECT_EQ(secondLastStatusOfUser(jobs, 5), Values{1});
  EXPECT_EQ(secondLastStatusOfUserWithApplication(jobs, 5), Values{0});
  EXPECT_EQ(outcomeRunOfUser(jobs, 2), Values{0});  // user 2's first job
  EXPECT_EQ(secondLastStatusOfUser(jobs, 1), Values{0});
  // Completed, then failed, cancelled, failed: a run of three failures.
  std::vector<JobData> run = {job(1, 3, 1), job(0, 3, 1), job(5, 3, 1), job(0, 3, 1), job(1, 3, 1)};
  EXPECT_EQ(outcomeRunOfUser(run, 4), Values{std::log(4.0)});
  EXPECT_EQ(outcomeRunOfUser(run, 1), Values{-std::log(2.0)});
}

// The plain forms that scan every earlier job, not only back to the latest match.
bool scansWholeHistory(const AttributeRow& row) {
  for (const char* key : {"fu", "fa", "fua", "lognu", "logna", "lognua", "ru", "ra", "rua"}) {
    if (row.key == std::string(key)) return true;
  }
  return false;
}

// Every single-valued attribute through its fast form equals its definition, job by job.
// historyStride thins out the quadratic whole-history scans on long logs.
void expectIndexMatchesScan(const std::vector<JobData>& jobs, int stride, int everyJobBelow,
                            const std::string& what, int historyStride = 1) {
  LookBackIndex index = buildLookBackIndex(jobs);
  int compared = 0;
  for (const AttributeRow& row : attributeTable()) {
    if (row.columns == Columns::perUser || row.definition == nullptr) continue;
    ASSERT_TRUE(row.direct != nullptr || row.logOrder != nullptr) << row.key;
    const bool history = scansWholeHistory(row);
    for (int i = 0; i < static_cast<int>(jobs.size()); i += history             ? historyStride
                                                            : i < everyJobBelow ? 1
                                                                                : stride) {
      double plain = row.definition(jobs, i)[0];
      double quick =
          row.direct != nullptr ? row.direct(jobs[i]) : row.logOrder(LogOrderView(jobs, index, i));
      ASSERT_EQ(std::memcmp(&plain, &quick, sizeof plain), 0)
          << what << " key " << row.key << " job " << i << ": " << plain << " vs " << quick;
      ++compared;
    }
  }
  EXPECT_GT(compared, 0);
}

TEST(LookBackIndex, EqualsTheBackwardScanOnRandomSequences) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::vector<JobData> jobs;
    int users = 1 + round, applications = 1 + 3 * round;
    for (int i = 0; i < 600; ++i) {
      JobData j = job(
          random() % 3 == 0 ? (random() % 2 ? 0 : 5) : 1, static_cast<int>(random() % users) - 1,
          static_cast<int>(random() % applications) - 1,
          random() % 9 == 0 ? kUnknownTime : i * 1000.0 + (random() % 40000000) - 100,
          random() % 5 == 0 ? -1 : random() % 9000, random() % 5 == 0 ? -1 : random() % 900 / 7.0);
      jobs.push_back(j);
    }
    expectIndexMatchesScan(jobs, 1, 600, "round " + std::to_string(round));
  }
}

TEST(LookBackIndex, EqualsTheBackwardScanOnRealLogs) {
  // Whole logs for the small ones; every job of the first 15000 and a stride after that for
  // the large ones, to keep the quadratic scans short.
  struct Log {
    const char* name;
    int stride;
  };
  const Log logs[] = {
      {"KTH-SP2-1996-2.1-cln.swf", 1},        {"NASA-iPSC-1993-3.1-cln.swf", 1},
      {"LANL-CM5-1994-4.1-cln.swf", 211},     {"LLNL-Thunder-2007-1.1-cln.swf", 197},
      {"METACENTRUM-2009-2.swf", 211},        {"CEA-Curie-2011-2.1-cln.swf.gz", 797},
      {"SDSC-BLUE-2000-4.2-cln.swf.gz", 797}, {"RICC-2010-2.swf.gz", 997}};
  int checked = 0;
  for (const Log& log : logs) {
    std::string path = tallis_test::swfPath(log.name);
    if (!tallis_test::haveFile(path)) continue;
    std::vector<JobData> jobs = filterOutPartialJobs(parseFile(path));
    // NASA-iPSC has no finished jobs by status; its users and applications still count.
    if (jobs.empty()) jobs = parseFile(path);
    expectIndexMatchesScan(jobs, log.stride, log.stride == 1 ? 1 << 30 : 15000, log.name,
                           static_cast<int>(jobs.size() / 60) + 1);
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "no workload logs in " << SWF_DATA_DIR;
}

}  // namespace
