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
  return index;
}

FastAttribute fastAttributeFor(AttributeFunction function) {
  for (const FastPair& pair : fastPairs) {
    if (pair.function == function) return pair.fast;
  }
  return nullptr;
}
