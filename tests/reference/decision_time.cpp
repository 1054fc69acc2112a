#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "tests/reference/reference.h"

namespace reference {

namespace {

bool knownSubmit(const JobData& job) {
  return job.submitTime != -1 && std::isfinite(job.submitTime);
}

double decision(const JobData& job, DecisionTime when) {
  const double wait = job.waitTime > 0 ? job.waitTime : 0;
  return when == DecisionTime::start ? job.submitTime + wait : job.submitTime;
}

double end(const JobData& job) {
  const double wait = job.waitTime > 0 ? job.waitTime : 0;
  const double run = job.runTime > 0 ? job.runTime : 0;
  return job.submitTime + wait + run;
}

// (time a, index a) before (time b, index b).
bool before(double timeA, int a, double timeB, int b) {
  return timeA < timeB || (timeA == timeB && a < b);
}

// The jobs other than i whose event (time of(j), j) comes before i's decision, in the order of
// those events, followed by job i itself. Only jobs of i's user or application: no attribute
// reads others.
template <typename Time>
std::vector<JobData> knownBefore(const std::vector<JobData>& jobs, int i, DecisionTime when,
                                 Time time) {
  std::vector<int> known;
  if (knownSubmit(jobs[i])) {
    const double at = decision(jobs[i], when);
    for (int j = 0; j < static_cast<int>(jobs.size()); ++j) {
      const bool related = jobs[j].userID == jobs[i].userID ||
                           jobs[j].applicationNumber == jobs[i].applicationNumber;
      if (j != i && related && knownSubmit(jobs[j]) && before(time(jobs[j]), j, at, i)) {
        known.push_back(j);
      }
    }
  }
  std::sort(known.begin(), known.end(),
            [&](int a, int b) { return before(time(jobs[a]), a, time(jobs[b]), b); });
  std::vector<JobData> sequence;
  sequence.reserve(known.size() + 1);
  for (int j : known) sequence.push_back(jobs[j]);
  sequence.push_back(jobs[i]);
  return sequence;
}

bool readsSubmissions(const AttributeRow& row) {
  for (const char* key : {"ea", "ec", "logea", "logec"}) {
    if (row.key == std::string(key)) return true;
  }
  return false;
}

bool isKey(const AttributeRow& row, const char* key) { return row.key == std::string(key); }

// The keys that exist only at a decision time ("logeou", "logeoua"): log(1 + seconds from the
// end of the latest known outcome of the user (with the application) to the decision, at most
// a year). outcomes: the known outcomes in the order they became known, then job i.
double decisionOnlyValue(const std::vector<JobData>& outcomes, double at, const AttributeRow& row) {
  if (!isKey(row, "logeou") && !isKey(row, "logeoua")) {
    throw std::logic_error(std::string("no reference for ") + row.key);
  }
  const JobData& job = outcomes.back();
  double elapsed = kOneYear;
  for (size_t j = 0; j + 1 < outcomes.size(); ++j) {
    const bool matches =
        outcomes[j].userID == job.userID &&
        (isKey(row, "logeou") || outcomes[j].applicationNumber == job.applicationNumber);
    if (matches) elapsed = std::min(kOneYear, at - end(outcomes[j]));
  }
  return logScaled(elapsed);
}

}  // namespace

std::vector<double> decisionTimeValues(const std::vector<JobData>& jobs, int i, DecisionTime when,
                                       const AttributeList& rows) {
  const std::vector<JobData> outcomes = knownBefore(jobs, i, when, end);
  const std::vector<JobData> submissions =
      knownBefore(jobs, i, when, [](const JobData& job) { return job.submitTime; });
  std::vector<double> values;
  for (const AttributeRow* row : rows) {
    if (row->definition == nullptr) {
      values.push_back(decisionOnlyValue(outcomes, decision(jobs[i], when), *row));
      continue;
    }
    const std::vector<JobData>& known = readsSubmissions(*row) ? submissions : outcomes;
    values.push_back(row->definition(known, static_cast<int>(known.size()) - 1)[0]);
  }
  return values;
}

double decisionTimeValue(const std::vector<JobData>& jobs, int i, DecisionTime when,
                         const AttributeRow& row) {
  return decisionTimeValues(jobs, i, when, {&row})[0];
}

}  // namespace reference
