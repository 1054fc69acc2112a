#include "score/log_order_history.h"

namespace {

uint64_t pairKey(const JobData& job) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(job.userID)) << 32) |
         static_cast<uint32_t>(job.applicationNumber);
}

template <typename Key>
const KnownJobs* find(const std::unordered_map<Key, KnownJobs>& map, Key key) {
  auto entry = map.find(key);
  return entry == map.end() ? nullptr : &entry->second;
}

}  // namespace

KnownAt LogOrderHistory::knownAt(const JobData& job, int64_t index) const {
  return KnownAt(job, index, job.submitTime, find(users_, job.userID),
                 find(applications_, job.applicationNumber), find(pairs_, pairKey(job)));
}

// In log order the latest earlier job is the latest submission and the latest outcome alike,
// whatever its times (an unknown submit time included: the formulas read it as such).
void LogOrderHistory::add(const JobData& job, int64_t index) {
  const KnownOutcome outcome{job.status, job.runTime, job.averageCPUTimeUsed, job.submitTime,
                             endTimeOf(job)};
  const KnownSubmission submission{job.submitTime, index};
  for (KnownJobs* jobs :
       {&users_[job.userID], &applications_[job.applicationNumber], &pairs_[pairKey(job)]}) {
    addKnownSubmission(*jobs, submission);
    addKnownOutcome(*jobs, outcome);
  }
}

void attributeValues(const KnownAt& known, const AttributeList& rows, double* values) {
  for (size_t r = 0; r < rows.size(); ++r) {
    const AttributeRow& row = *rows[r];
    values[r] = row.asOf != nullptr     ? row.asOf(known)
                : row.direct != nullptr ? row.direct(known.job())
                                        : 0;
  }
}
