// Attributes at the decision time: the rules of time worked by hand, and the incremental
// engine against the reference's scan of the whole log, on random and on real logs.

#include "sample_builder/decision_history.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "test_helpers.h"
#include "tests/reference/reference.h"

namespace {

using tallis_test::job;

JobData timed(int status, double submit, double wait, double run, int user = 1, int app = 1) {
  JobData j = job(status, user, app, submit, run);
  j.waitTime = wait;
  return j;
}

// The value of one key for every job, at the decision time.
std::vector<double> values(const std::vector<JobData>& jobs, DecisionTime when, const char* key) {
  return decisionTimeValues(jobs, when, tallis_test::rows(key));
}

TEST(DecisionTime, AJobSeesTheOutcomesBeforeItsDecisionAndNeverItself) {
  // 0 fails at once (wait and run -1: it ends the second it is submitted); 1, submitted in the
  // same second and later in the log, sees it; 2, in the same second, ends at once too, but 1
  // does not see it: 2 comes after 1 in the log. 0 does not see itself.
  std::vector<JobData> jobs = {timed(0, 5, -1, -1), timed(1, 5, 0, 50), timed(5, 5, 0, 0),
                               timed(1, 6, 0, 10)};
  EXPECT_EQ(values(jobs, DecisionTime::submit, "lsu"), (std::vector<double>{0, 1, 1, 1}));
  EXPECT_EQ(values(jobs, DecisionTime::submit, "lognu"),
            (std::vector<double>{0, logScaled(1), logScaled(1), logScaled(2)}));
  // Job 3 knows 0 (failed) then 2 (cancelled), both ended at 5: 2 is the later in the log.
  EXPECT_EQ(values(jobs, DecisionTime::submit, "lc"), (std::vector<double>{0, 0, 0, 1}));
  EXPECT_DOUBLE_EQ(values(jobs, DecisionTime::submit, "runu")[3], std::log(3.0));
  // In log order job 3's latest earlier job is 2, and 1 (not yet ended) counts as well.
  EXPECT_EQ(lastStatusOfUser(jobs, 3), std::vector<double>{1});
  EXPECT_EQ(logJobCountOfUser(jobs, 3), std::vector<double>{logScaled(3)});
}

TEST(DecisionTime, AtTheStartAJobKnowsWhatEndedWhileItWaited) {
  // 0 waits 100 s; 1, submitted later, runs and fails before 0 starts.
  std::vector<JobData> jobs = {timed(1, 0, 100, 10), timed(0, 10, 0, 20)};
  EXPECT_EQ(values(jobs, DecisionTime::submit, "lsu"), (std::vector<double>{0, 0}));
  EXPECT_EQ(values(jobs, DecisionTime::start, "lsu"), (std::vector<double>{1, 0}));
  // Submissions are public when they happen: at its start 0 sees 1's submission 10 s after its
  // own (elapsed -10), never its own; at its submission it sees none.
  EXPECT_EQ(values(jobs, DecisionTime::start, "ec"), (std::vector<double>{-10, 10}));
  EXPECT_EQ(values(jobs, DecisionTime::submit, "ec"), (std::vector<double>{kOneYear, 10}));
}

TEST(DecisionTime, AnUnknownSubmitTimeKnowsAndIsKnownByNothing) {
  std::vector<JobData> jobs = {timed(0, 0, 0, 1), timed(0, -1, -1, -1), timed(1, 50, 0, 1)};
  EXPECT_EQ(values(jobs, DecisionTime::submit, "fu"), (std::vector<double>{0.5, 0.5, 1.5 / 2}));
  EXPECT_EQ(values(jobs, DecisionTime::start, "ec"), (std::vector<double>{kOneYear, kOneYear, 50}));
}

// Every history row of the table through the engine equals the reference, job by job, at
// both decision times; `stride` thins out the reference's quadratic scans on long logs.
void expectEngineMatchesReference(const std::vector<JobData>& jobs, int stride,
                                  const std::string& what) {
  AttributeList rows;
  for (const AttributeRow& row : attributeTable()) {
    if (row.asOf != nullptr && row.direct == nullptr) rows.push_back(&row);
  }
  for (DecisionTime when : {DecisionTime::submit, DecisionTime::start}) {
    const std::vector<double> fast = decisionTimeValues(jobs, when, rows);
    int compared = 0;
    for (size_t i = 0; i < jobs.size(); i += stride) {
      const std::vector<double> plains =
          reference::decisionTimeValues(jobs, static_cast<int>(i), when, rows);
      for (size_t r = 0; r < rows.size(); ++r) {
        const double plain = plains[r];
        const double quick = fast[i * rows.size() + r];
        ASSERT_EQ(std::memcmp(&plain, &quick, sizeof plain), 0)
            << what << " --as-of " << decisionTimeName(when) << " key " << rows[r]->key << " job "
            << i << ": " << plain << " vs " << quick;
        ++compared;
      }
    }
    EXPECT_GT(compared, 0);
  }
}

TEST(DecisionHistory, EqualsTheReferenceOnRandomLogs) {
  // Overlapping jobs, bursts within one second, equal end times, waits and run times of -1,
  // submit times out of order and unknown, few users and applications or many.
  std::mt19937 random(11);
  for (int round = 0; round < 12; ++round) {
    std::vector<JobData> jobs;
    const int users = 1 + round, applications = 1 + 2 * round;
    double clock = 0;
    for (int i = 0; i < 300; ++i) {
      clock += random() % 4 == 0 ? 0 : random() % 50;
      // The last round lies long before time 0: negative times are times too.
      const double shift = round == 11 ? -1e9 : 0;
      const double submit = random() % 15 == 0   ? kUnknownTime
                            : random() % 10 == 0 ? shift + clock - random() % 500
                                                 : shift + clock;
      const double wait = random() % 5 == 0 ? -1 : random() % 3 == 0 ? 0 : random() % 200;
      const double run = random() % 5 == 0 ? -1 : random() % 4 == 0 ? 0 : random() % 300;
      JobData j = timed(random() % 3 == 0 ? (random() % 2 ? 0 : 5) : 1, submit, wait, run,
                        static_cast<int>(random() % users) - 1,
                        static_cast<int>(random() % applications) - 1);
      j.averageCPUTimeUsed = random() % 4 == 0 ? -1 : random() % 100;
      jobs.push_back(j);
    }
    expectEngineMatchesReference(jobs, 1, "round " + std::to_string(round));
  }
}

TEST(DecisionHistory, EqualsTheReferenceOnRealLogs) {
  const char* logs[] = {
      "KTH-SP2-1996-2.1-cln.swf", "LANL-CM5-1994-4.1-cln.swf",     "LLNL-Thunder-2007-1.1-cln.swf",
      "METACENTRUM-2009-2.swf",   "CEA-Curie-2011-2.1-cln.swf.gz", "SDSC-BLUE-2000-4.2-cln.swf.gz",
      "RICC-2010-2.swf.gz",       "NASA-iPSC-1993-3.1-cln.swf"};
  int checked = 0;
  for (const char* name : logs) {
    const std::string path = tallis_test::swfPath(name);
    if (!tallis_test::haveFile(path)) continue;
    std::vector<JobData> jobs = filterOutPartialJobs(parseFile(path));
    if (jobs.empty()) jobs = parseFile(path);  // NASA-iPSC: no final status, still a history
    // About 12 jobs of each log, spread over it (the reference scans the whole log for each).
    expectEngineMatchesReference(jobs, static_cast<int>(jobs.size() / 12) + 1, name);
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "no workload logs in " << SWF_DATA_DIR;
}

TEST(DecisionHistory, HoldsOnlyTheJobsNotYetEnded) {
  // A stream of 10,000 jobs, each ending before the next two are submitted: the queue never
  // holds more than the jobs still running, and one record per user, application and pair.
  DecisionHistory history(DecisionTime::submit);
  size_t mostPending = 0;
  for (int i = 0; i < 10000; ++i) {
    const JobData j = timed(i % 7 == 0 ? 0 : 1, 10.0 * i, 0, 15, i % 3, i % 2);
    history.recordSubmission(j, i);
    history.advanceTo(j, i);
    history.recordOutcome(j, i);
    mostPending = std::max(mostPending, history.pendingEvents());
  }
  EXPECT_LE(mostPending, 3u);
  EXPECT_EQ(history.keysKnown(), 3u + 2u + 6u);
}

}  // namespace
