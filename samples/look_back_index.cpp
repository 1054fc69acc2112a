// Previous-match indices, built with one hash map per key kind, and the attributes on them.

#include "samples/look_back_index.h"

#include <cstdint>
#include <unordered_map>

namespace {

// previous[i] = latest j < i with key(j) == key(i), or -1.
template <typename Key, typename KeyOf>
std::vector<int> previousWithSameKey(const std::vector<JobData>& jobs, KeyOf keyOf) {
  std::vector<int> previous(jobs.size());
  std::unordered_map<Key, int> latest;
  latest.reserve(1024);
  for (size_t i = 0; i < jobs.size(); ++i) {
    auto inserted = latest.emplace(keyOf(jobs[i]), static_cast<int>(i));
    previous[i] = inserted.second ? -1 : inserted.first->second;
    inserted.first->second = static_cast<int>(i);
  }
  return previous;
}

// Job i's history is that of its previous match p with p itself added: O(1) per job, and the
// same additions in the same order as the attribute function's scan, so the same doubles.
EarlierJobs historyAlong(const std::vector<JobData>& jobs, const std::vector<int>& previous) {
  EarlierJobs history;
  history.count.resize(jobs.size());
  history.failed.resize(jobs.size());
  history.recent.resize(jobs.size());
  for (size_t i = 0; i < jobs.size(); ++i) {
    const int p = previous[i];
    if (p < 0) {
      history.count[i] = 0;
      history.failed[i] = 0;
      history.recent[i] = 0.5;
      continue;
    }
    const double value = jobStatusNeuronValue(jobs[p].status);
    history.count[i] = history.count[p] + 1;
    history.failed[i] = history.failed[p] + (value != 0 ? 1 : 0);
    history.recent[i] = movingAverageStep(history.recent[p], value);
  }
  return history;
}

std::vector<int> previousFailureAlong(const std::vector<JobData>& jobs,
                                      const std::vector<int>& previous) {
  std::vector<int> failure(jobs.size());
  for (size_t i = 0; i < jobs.size(); ++i) {
    const int p = previous[i];
    failure[i] = p < 0 ? -1 : jobs[p].status != 1 ? p : failure[p];
  }
  return failure;
}

std::vector<int> outcomeRunsAlong(const std::vector<JobData>& jobs,
                                  const std::vector<int>& previous) {
  std::vector<int> run(jobs.size());
  for (size_t j = 0; j < jobs.size(); ++j) {
    const int p = previous[j];
    const bool same =
        p >= 0 && jobStatusNeuronValue(jobs[p].status) == jobStatusNeuronValue(jobs[j].status);
    run[j] = same ? run[p] + 1 : 1;
  }
  return run;
}

double statusOf(const std::vector<JobData>& jobs, int j) {
  return j < 0 ? 0.0 : jobStatusNeuronValue(jobs[j].status);
}

double cappedElapsed(const std::vector<JobData>& jobs, int i, int j) {
  return j < 0 ? kOneYear : elapsedSubmitTime(jobs[i].submitTime, jobs[j].submitTime);
}

double fastSubmitTime(const std::vector<JobData>& jobs, const LookBackIndex&, int i) {
  return jobs[i].submitTime;
}
double fastWaitTime(const std::vector<JobData>& jobs, const LookBackIndex&, int i) {
  return jobs[i].waitTime;
}
double fastStatus(const std::vector<JobData>& jobs, const LookBackIndex&, int i) {
  return jobStatusNeuronValue(jobs[i].status);
}
double fastRequestedNumberOfProcessors(const std::vector<JobData>& jobs, const LookBackIndex&,
                                       int i) {
  return jobs[i].requestedNumberOfProcessors;
}
double fastRequestedTime(const std::vector<JobData>& jobs, const LookBackIndex&, int i) {
  return jobs[i].requestedTime;
}
double fastRequestedMemory(const std::vector<JobData>& jobs, const LookBackIndex&, int i) {
  return jobs[i].requestedMemory;
}
double fastLastStatusOfUser(const std::vector<JobData>& jobs, const LookBackIndex& index, int i) {
  return statusOf(jobs, index.previousOfUser[i]);
}
double fastLastStatusOfApplication(const std::vector<JobData>& jobs, const LookBackIndex& index,
                                   int i) {
  return statusOf(jobs, index.previousOfApplication[i]);
}
double fastLastStatusOfUserWithApplication(const std::vector<JobData>& jobs,
                                           const LookBackIndex& index, int i) {
  return statusOf(jobs, index.previousOfUserWithApplication[i]);
}
double fastLastJobWasCanceled(const std::vector<JobData>& jobs, const LookBackIndex& index, int i) {
  int j = index.previousOfUserWithApplication[i];
  return j >= 0 && jobs[j].status == 5 ? 1.0 : 0.0;
}
double fastLastRunTime(const std::vector<JobData>& jobs, const LookBackIndex& index, int i) {
  int j = index.previousOfUserWithApplication[i];
  return j < 0 || jobs[j].runTime == -1 ? 0.0 : jobs[j].runTime;
}
double fastLastAverageCPUTime(const std::vector<JobData>& jobs, const LookBackIndex& index, int i) {
  int j = index.previousOfUserWithApplication[i];
  return j < 0 || jobs[j].averageCPUTimeUsed == -1 ? 0.0 : jobs[j].averageCPUTimeUsed;
}
double fastElapsedSinceApplication(const std::vector<JobData>& jobs, const LookBackIndex& index,
                                   int i) {
  return cappedElapsed(jobs, i, index.previousOfUserWithApplication[i]);
}
double fastElapsedSinceCluster(const std::vector<JobData>& jobs, const LookBackIndex& index,
                               int i) {
  return cappedElapsed(jobs, i, index.previousOfUser[i]);
}

double logOf(double value) { return logScaled(value); }
double fastLogWaitTime(const std::vector<JobData>& jobs, const LookBackIndex&, int i) {
  return logOf(jobs[i].waitTime);
}
double fastLogProcessors(const std::vector<JobData>& jobs, const LookBackIndex&, int i) {
  return logOf(jobs[i].requestedNumberOfProcessors);
}
double fastLogRequestedTime(const std::vector<JobData>& jobs, const LookBackIndex&, int i) {
  return logOf(jobs[i].requestedTime);
}
double fastLogRequestedMemory(const std::vector<JobData>& jobs, const LookBackIndex&, int i) {
  return logOf(jobs[i].requestedMemory);
}
double fastLogLastRunTime(const std::vector<JobData>& jobs, const LookBackIndex& index, int i) {
  return logOf(fastLastRunTime(jobs, index, i));
}
double fastLogElapsedSinceApplication(const std::vector<JobData>& jobs, const LookBackIndex& index,
                                      int i) {
  return logOf(fastElapsedSinceApplication(jobs, index, i));
}
double fastLogElapsedSinceCluster(const std::vector<JobData>& jobs, const LookBackIndex& index,
                                  int i) {
  return logOf(fastElapsedSinceCluster(jobs, index, i));
}
double fastLogElapsedSinceFailure(const std::vector<JobData>& jobs, const LookBackIndex& index,
                                  int i) {
  return logOf(cappedElapsed(jobs, i, index.previousFailureOfUser[i]));
}

// The calendar attributes read job i alone: the attribute functions are already O(1).
template <AttributeFunction attribute>
double direct(const std::vector<JobData>& jobs, const LookBackIndex&, int i) {
  return attribute(jobs, i)[0];
}

template <EarlierJobs LookBackIndex::*kind>
double fastFailureShare(const std::vector<JobData>&, const LookBackIndex& index, int i) {
  return smoothedFailureShare((index.*kind).failed[i], (index.*kind).count[i]);
}
template <EarlierJobs LookBackIndex::*kind>
double fastLogJobCount(const std::vector<JobData>&, const LookBackIndex& index, int i) {
  return logOf((index.*kind).count[i]);
}
template <EarlierJobs LookBackIndex::*kind>
double fastRecentFailures(const std::vector<JobData>&, const LookBackIndex& index, int i) {
  return (index.*kind).recent[i];
}

double runBefore(const std::vector<JobData>& jobs, const std::vector<int>& previous,
                 const std::vector<int>& runs, int i) {
  const int p = previous[i];
  return p < 0 ? 0.0 : signedRunLength(jobStatusNeuronValue(jobs[p].status), runs[p]);
}
double fastOutcomeRunOfUser(const std::vector<JobData>& jobs, const LookBackIndex& index, int i) {
  return runBefore(jobs, index.previousOfUser, index.outcomeRunOfUser, i);
}
double fastOutcomeRunOfUserWithApplication(const std::vector<JobData>& jobs,
                                           const LookBackIndex& index, int i) {
  return runBefore(jobs, index.previousOfUserWithApplication, index.outcomeRunOfUserWithApplication,
                   i);
}
double secondBefore(const std::vector<JobData>& jobs, const std::vector<int>& previous, int i) {
  const int p = previous[i];
  return statusOf(jobs, p < 0 ? -1 : previous[p]);
}
double fastSecondLastStatusOfUser(const std::vector<JobData>& jobs, const LookBackIndex& index,
                                  int i) {
  return secondBefore(jobs, index.previousOfUser, i);
}
double fastSecondLastStatusOfUserWithApplication(const std::vector<JobData>& jobs,
                                                 const LookBackIndex& index, int i) {
  return secondBefore(jobs, index.previousOfUserWithApplication, i);
}

struct FastPair {
  AttributeFunction function;
  FastAttribute fast;
};

const FastPair fastPairs[] = {
    {submitTime, fastSubmitTime},
    {waitTime, fastWaitTime},
    {status, fastStatus},
    {requestedNumberOfProcessors, fastRequestedNumberOfProcessors},
    {requestedTime, fastRequestedTime},
    {requestedMemory, fastRequestedMemory},
    {lastStatusOfUser, fastLastStatusOfUser},
    {lastStatusOfApplication, fastLastStatusOfApplication},
    {lastStatusOfUserWithApplication, fastLastStatusOfUserWithApplication},
    {lastJobOfUserWithApplicationWasCanceled, fastLastJobWasCanceled},
    {lastRunTimeOfUserWithApplication, fastLastRunTime},
    {lastAverageCPUTimeOfUserWithApplication, fastLastAverageCPUTime},
    {elapsedTimeSinceUserLastUsedApplication, fastElapsedSinceApplication},
    {elapsedTimeSinceUserLastUsedCluster, fastElapsedSinceCluster},
    {logWaitTime, fastLogWaitTime},
    {logRequestedNumberOfProcessors, fastLogProcessors},
    {logRequestedTime, fastLogRequestedTime},
    {logRequestedMemory, fastLogRequestedMemory},
    {logLastRunTimeOfUserWithApplication, fastLogLastRunTime},
    {logElapsedTimeSinceUserLastUsedApplication, fastLogElapsedSinceApplication},
    {logElapsedTimeSinceUserLastUsedCluster, fastLogElapsedSinceCluster},
    {hourOfDaySine, direct<hourOfDaySine>},
    {hourOfDayCosine, direct<hourOfDayCosine>},
    {dayOfWeekSine, direct<dayOfWeekSine>},
    {dayOfWeekCosine, direct<dayOfWeekCosine>},
    {failureShareOfUser, fastFailureShare<&LookBackIndex::historyOfUser>},
    {failureShareOfApplication, fastFailureShare<&LookBackIndex::historyOfApplication>},
    {failureShareOfUserWithApplication,
     fastFailureShare<&LookBackIndex::historyOfUserWithApplication>},
    {logJobCountOfUser, fastLogJobCount<&LookBackIndex::historyOfUser>},
    {logJobCountOfApplication, fastLogJobCount<&LookBackIndex::historyOfApplication>},
    {logJobCountOfUserWithApplication,
     fastLogJobCount<&LookBackIndex::historyOfUserWithApplication>},
    {recentFailuresOfUser, fastRecentFailures<&LookBackIndex::historyOfUser>},
    {recentFailuresOfApplication, fastRecentFailures<&LookBackIndex::historyOfApplication>},
    {recentFailuresOfUserWithApplication,
     fastRecentFailures<&LookBackIndex::historyOfUserWithApplication>},
    {logElapsedTimeSinceUserLastFailed, fastLogElapsedSinceFailure},
    {outcomeRunOfUser, fastOutcomeRunOfUser},
    {outcomeRunOfUserWithApplication, fastOutcomeRunOfUserWithApplication},
    {secondLastStatusOfUser, fastSecondLastStatusOfUser},
    {secondLastStatusOfUserWithApplication, fastSecondLastStatusOfUserWithApplication},
};

}  // namespace

LookBackIndex buildLookBackIndex(const std::vector<JobData>& jobs) {
  LookBackIndex index;
  index.previousOfUser =
      previousWithSameKey<int>(jobs, [](const JobData& job) { return job.userID; });
  index.previousOfApplication =
      previousWithSameKey<int>(jobs, [](const JobData& job) { return job.applicationNumber; });
  index.previousOfUserWithApplication = previousWithSameKey<uint64_t>(jobs, [](const JobData& job) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(job.userID)) << 32) |
           static_cast<uint32_t>(job.applicationNumber);
  });
  index.previousFailureOfUser = previousFailureAlong(jobs, index.previousOfUser);
  index.outcomeRunOfUser = outcomeRunsAlong(jobs, index.previousOfUser);
  index.outcomeRunOfUserWithApplication =
      outcomeRunsAlong(jobs, index.previousOfUserWithApplication);
  index.historyOfUser = historyAlong(jobs, index.previousOfUser);
  index.historyOfApplication = historyAlong(jobs, index.previousOfApplication);
  index.historyOfUserWithApplication = historyAlong(jobs, index.previousOfUserWithApplication);
  return index;
}

FastAttribute fastAttributeFor(AttributeFunction function) {
  for (const FastPair& pair : fastPairs) {
    if (pair.function == function) return pair.fast;
  }
  return nullptr;
}
