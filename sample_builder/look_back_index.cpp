// Previous-match indices, built with one hash map per key kind, and the histories along them.

#include "sample_builder/look_back_index.h"

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
