// The decision-time engine: a priority queue of submissions and outcomes, applied in time order
// to one record per user, application and user+application pair.

#include "sample_builder/decision_history.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

uint64_t pairKey(int user, int application) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(user)) << 32) |
         static_cast<uint32_t>(application);
}

double atLeastZero(double seconds) { return seconds > 0 ? seconds : 0.0; }

void addOutcome(KnownJobs& jobs, const KnownOutcome& outcome) {
  const double value = jobStatusNeuronValue(outcome.status);
  // The same arithmetic, in the same order, as the log-order history (look_back_index.cpp).
  if (jobs.count > 0) {
    jobs.run = jobStatusNeuronValue(jobs.latest.status) == value ? jobs.run + 1 : 1;
    jobs.secondLatest = jobs.latest;
  } else {
    jobs.run = 1;
  }
  jobs.latest = outcome;
  ++jobs.count;
  if (value != 0) {
    ++jobs.failed;
    jobs.anyFailure = true;
    jobs.latestFailure = outcome;
  }
  jobs.recent = movingAverageStep(jobs.recent, value);
}

void addSubmission(KnownJobs& jobs, const KnownSubmission& submission) {
  ++jobs.submitted;
  jobs.latestSubmissions[1] = jobs.latestSubmissions[0];
  jobs.latestSubmissions[0] = submission;
}

template <typename Key>
const KnownJobs* find(const std::unordered_map<Key, KnownJobs>& map, Key key) {
  auto entry = map.find(key);
  return entry == map.end() ? nullptr : &entry->second;
}

}  // namespace

void addKnownOutcome(KnownJobs& jobs, const KnownOutcome& outcome) { addOutcome(jobs, outcome); }

void addKnownSubmission(KnownJobs& jobs, const KnownSubmission& submission) {
  addSubmission(jobs, submission);
}

const char* decisionTimeName(DecisionTime when) {
  return when == DecisionTime::submit ? "submit" : when == DecisionTime::start ? "start" : "log";
}

bool knowsSubmitTime(const JobData& job) {
  return job.submitTime != kUnknownTime && std::isfinite(job.submitTime);
}

double decisionTimeOf(const JobData& job, DecisionTime when) {
  return when == DecisionTime::start ? job.submitTime + atLeastZero(job.waitTime) : job.submitTime;
}

double endTimeOf(const JobData& job) {
  return job.submitTime + atLeastZero(job.waitTime) + atLeastZero(job.runTime);
}

const KnownSubmission* KnownAt::latestSubmission(HistoryKind kind) const {
  const KnownJobs* jobs = of(kind);
  if (jobs == nullptr || jobs->submitted == 0) return nullptr;
  // Only the latest can be the job's own (submissions after it would be later still).
  if (jobs->latestSubmissions[0].index != index_) return &jobs->latestSubmissions[0];
  return jobs->submitted >= 2 ? &jobs->latestSubmissions[1] : nullptr;
}

bool DecisionHistory::Later::operator()(const Event& a, const Event& b) const {
  if (a.time != b.time) return a.time > b.time;
  if (a.index != b.index) return a.index > b.index;
  return a.outcome && !b.outcome;  // a job's submission before its outcome
}

DecisionHistory::DecisionHistory(DecisionTime when) : when_(when) {}

void DecisionHistory::recordSubmission(const JobData& job, int64_t index) {
  if (!knowsSubmitTime(job)) return;
  pending_.push({job.submitTime, index, false, job.userID, job.applicationNumber, {}});
}

void DecisionHistory::recordOutcome(const JobData& job, int64_t index) {
  if (!knowsSubmitTime(job)) return;
  const double end = endTimeOf(job);
  KnownOutcome known{job.status, job.runTime, job.averageCPUTimeUsed, job.submitTime, end};
  pending_.push({end, index, true, job.userID, job.applicationNumber, known});
}

void DecisionHistory::apply(const Event& event) {
  KnownJobs& user = users_[event.user];
  KnownJobs& application = applications_[event.application];
  KnownJobs& pair = pairs_[pairKey(event.user, event.application)];
  if (event.outcome) {
    for (KnownJobs* jobs : {&user, &application, &pair}) addOutcome(*jobs, event.known);
  } else {
    const KnownSubmission submission{event.time, event.index};
    for (KnownJobs* jobs : {&user, &application, &pair}) addSubmission(*jobs, submission);
  }
}

void DecisionHistory::advanceTo(const JobData& job, int64_t index) {
  if (!knowsSubmitTime(job)) return;
  const double decision = decisionTimeOf(job, when_);
  while (!pending_.empty()) {
    const Event& next = pending_.top();
    if (next.time > decision || (next.time == decision && next.index >= index)) break;
    const Event event = next;
    pending_.pop();
    apply(event);
  }
}

KnownAt DecisionHistory::knownAt(const JobData& job, int64_t index) const {
  if (!knowsSubmitTime(job)) return KnownAt(job, index, job.submitTime, nullptr, nullptr, nullptr);
  return KnownAt(job, index, decisionTimeOf(job, when_), find(users_, job.userID),
                 find(applications_, job.applicationNumber),
                 find(pairs_, pairKey(job.userID, job.applicationNumber)));
}

void DecisionHistory::attributesAt(const JobData& job, int64_t index, const AttributeList& rows,
                                   double* values) const {
  const KnownAt known = knownAt(job, index);
  for (size_t r = 0; r < rows.size(); ++r) {
    const AttributeRow& row = *rows[r];
    values[r] = row.asOf != nullptr ? row.asOf(known) : row.direct != nullptr ? row.direct(job) : 0;
  }
}

std::vector<double> decisionTimeValues(const std::vector<JobData>& jobs, DecisionTime when,
                                       const AttributeList& rows) {
  const size_t width = rows.size();
  std::vector<double> values(jobs.size() * width);
  // Decisions in the order of (decision time, index), submissions in that of (submit time,
  // index); jobs without a submit time are decided alone, knowing nothing.
  DecisionHistory history(when);
  std::vector<int> decisions;
  for (size_t i = 0; i < jobs.size(); ++i) {
    if (knowsSubmitTime(jobs[i])) {
      decisions.push_back(static_cast<int>(i));
    } else {
      history.attributesAt(jobs[i], static_cast<int64_t>(i), rows, values.data() + i * width);
    }
  }
  std::vector<int> submissions = decisions;
  std::stable_sort(decisions.begin(), decisions.end(), [&](int a, int b) {
    return decisionTimeOf(jobs[a], when) < decisionTimeOf(jobs[b], when);
  });
  std::stable_sort(submissions.begin(), submissions.end(),
                   [&](int a, int b) { return jobs[a].submitTime < jobs[b].submitTime; });
  size_t next = 0;
  for (int i : decisions) {
    const double decision = decisionTimeOf(jobs[i], when);
    // Submissions reach the queue only when their time comes, so that it holds no more than
    // the jobs decided and not yet ended.
    for (; next < submissions.size(); ++next) {
      const int j = submissions[next];
      const double submit = jobs[j].submitTime;
      if (submit > decision || (submit == decision && j >= i)) break;
      history.recordSubmission(jobs[j], j);
    }
    history.advanceTo(jobs[i], i);
    history.attributesAt(jobs[i], i, rows, values.data() + static_cast<size_t>(i) * width);
    history.recordOutcome(jobs[i], i);
  }
  return values;
}
