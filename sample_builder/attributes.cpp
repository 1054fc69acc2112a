// The attribute functions of the original fifteen keys, each a backward scan.

#include "sample_builder/attributes.h"

#include <string>

#include "sample_builder/exception.h"

double jobStatusNeuronValue(int status) { return status == 1 ? 0.0 : 1.0; }

std::vector<double> createAttributeValues(int count, int active) {
  if (active >= count || active < -1) {
    throw Exception("Wrong active neuron: " + std::to_string(active) + " of " +
                    std::to_string(count) + " values (-1 for none, else 0 to count - 1)");
  }
  std::vector<double> values(count, 0.0);
  if (active >= 0) values[active] = 1.0;
  return values;
}

namespace {

// The latest j < i whose keys match job i, or -1; that job alone decides the attribute.
template <typename Match>
int latestEarlierMatch(const std::vector<JobData>& jobs, int i, Match match) {
  for (int j = i - 1; j >= 0; --j) {
    if (match(jobs[j], jobs[i])) return j;
  }
  return -1;
}

}  // namespace

std::vector<double> submitTime(const std::vector<JobData>& jobs, int i) {
  return {jobs[i].submitTime};
}
std::vector<double> waitTime(const std::vector<JobData>& jobs, int i) { return {jobs[i].waitTime}; }
std::vector<double> status(const std::vector<JobData>& jobs, int i) {
  return {jobStatusNeuronValue(jobs[i].status)};
}
std::vector<double> requestedNumberOfProcessors(const std::vector<JobData>& jobs, int i) {
  return {static_cast<double>(jobs[i].requestedNumberOfProcessors)};
}
std::vector<double> requestedTime(const std::vector<JobData>& jobs, int i) {
  return {jobs[i].requestedTime};
}
std::vector<double> requestedMemory(const std::vector<JobData>& jobs, int i) {
  return {jobs[i].requestedMemory};
}

std::vector<double> userID(const std::vector<JobData>& jobs, int i) {
  auto entry = userIdLookupTable.find(jobs[i].userID);
  int index = entry == userIdLookupTable.end() ? -1 : entry->second;
  return createAttributeValues(static_cast<int>(userIdLookupTable.size()), index);
}

std::vector<double> lastStatusOfUser(const std::vector<JobData>& jobs, int i) {
  int j = latestEarlierMatch(jobs, i, sameUser);
  return {j < 0 ? 0.0 : jobStatusNeuronValue(jobs[j].status)};
}
std::vector<double> lastStatusOfApplication(const std::vector<JobData>& jobs, int i) {
  int j = latestEarlierMatch(jobs, i, sameApplication);
  return {j < 0 ? 0.0 : jobStatusNeuronValue(jobs[j].status)};
}
std::vector<double> lastStatusOfUserWithApplication(const std::vector<JobData>& jobs, int i) {
  int j = latestEarlierMatch(jobs, i, sameUserWithApplication);
  return {j < 0 ? 0.0 : jobStatusNeuronValue(jobs[j].status)};
}
std::vector<double> lastJobOfUserWithApplicationWasCanceled(const std::vector<JobData>& jobs,
                                                            int i) {
  int j = latestEarlierMatch(jobs, i, sameUserWithApplication);
  return {j >= 0 && jobs[j].status == 5 ? 1.0 : 0.0};
}
std::vector<double> lastRunTimeOfUserWithApplication(const std::vector<JobData>& jobs, int i) {
  int j = latestEarlierMatch(jobs, i, sameUserWithApplication);
  return {j < 0 || jobs[j].runTime == -1 ? 0.0 : jobs[j].runTime};
}
std::vector<double> lastAverageCPUTimeOfUserWithApplication(const std::vector<JobData>& jobs,
                                                            int i) {
  int j = latestEarlierMatch(jobs, i, sameUserWithApplication);
  return {j < 0 || jobs[j].averageCPUTimeUsed == -1 ? 0.0 : jobs[j].averageCPUTimeUsed};
}
std::vector<double> elapsedTimeSinceUserLastUsedApplication(const std::vector<JobData>& jobs,
                                                            int i) {
  int j = latestEarlierMatch(jobs, i, sameUserWithApplication);
  return {j < 0 ? kOneYear : elapsedSubmitTime(jobs[i].submitTime, jobs[j].submitTime)};
}
std::vector<double> elapsedTimeSinceUserLastUsedCluster(const std::vector<JobData>& jobs, int i) {
  int j = latestEarlierMatch(jobs, i, sameUser);
  return {j < 0 ? kOneYear : elapsedSubmitTime(jobs[i].submitTime, jobs[j].submitTime)};
}
