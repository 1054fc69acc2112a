// Attribute encodings for networks: log-scaled times and sizes, the submit time's place in the
// day and the week, and the failure history of the user and the application. Written as scans
// over the earlier jobs, like attributes.cpp; LookBackIndex gives the same values in
// linear time.

#include <cmath>

#include "sample_builder/attributes.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Every earlier job that matches job i, oldest first.
struct History {
  int count = 0;
  int failed = 0;
  double recent = 0.5;
};

template <typename Match>
History historyOf(const std::vector<JobData>& jobs, int i, Match match) {
  History history;
  for (int j = 0; j < i; ++j) {
    if (!match(jobs[j], jobs[i])) continue;
    const double value = jobStatusNeuronValue(jobs[j].status);
    ++history.count;
    if (value != 0) ++history.failed;
    history.recent = movingAverageStep(history.recent, value);
  }
  return history;
}

// The phase of the submit time within a period, in radians; nan for an unknown submit time.
double phase(const JobData& job, double period) {
  if (job.submitTime == kUnknownTime) return std::nan("");
  return kTwoPi * std::fmod(job.submitTime, period) / period;
}

double sineOrZero(double angle) { return std::isnan(angle) ? 0.0 : std::sin(angle); }
double cosineOrZero(double angle) { return std::isnan(angle) ? 0.0 : std::cos(angle); }

}  // namespace

double submitPhaseSine(const JobData& job, double period) { return sineOrZero(phase(job, period)); }
double submitPhaseCosine(const JobData& job, double period) {
  return cosineOrZero(phase(job, period));
}

double logScaled(double value) { return std::log1p(value > 0 ? value : 0.0); }

double smoothedFailureShare(int failed, int count) { return (failed + 0.5) / (count + 1.0); }

double movingAverageStep(double average, double statusValue) {
  return (1 - kRecentWeight) * average + kRecentWeight * statusValue;
}

std::vector<double> logWaitTime(const std::vector<JobData>& jobs, int i) {
  return {logScaled(jobs[i].waitTime)};
}
std::vector<double> logRequestedNumberOfProcessors(const std::vector<JobData>& jobs, int i) {
  return {logScaled(jobs[i].requestedNumberOfProcessors)};
}
std::vector<double> logRequestedTime(const std::vector<JobData>& jobs, int i) {
  return {logScaled(jobs[i].requestedTime)};
}
std::vector<double> logRequestedMemory(const std::vector<JobData>& jobs, int i) {
  return {logScaled(jobs[i].requestedMemory)};
}
std::vector<double> logLastRunTimeOfUserWithApplication(const std::vector<JobData>& jobs, int i) {
  return {logScaled(lastRunTimeOfUserWithApplication(jobs, i)[0])};
}
std::vector<double> logElapsedTimeSinceUserLastUsedApplication(const std::vector<JobData>& jobs,
                                                               int i) {
  return {logScaled(elapsedTimeSinceUserLastUsedApplication(jobs, i)[0])};
}
std::vector<double> logElapsedTimeSinceUserLastUsedCluster(const std::vector<JobData>& jobs,
                                                           int i) {
  return {logScaled(elapsedTimeSinceUserLastUsedCluster(jobs, i)[0])};
}

std::vector<double> hourOfDaySine(const std::vector<JobData>& jobs, int i) {
  return {submitPhaseSine(jobs[i], kSecondsPerDay)};
}
std::vector<double> hourOfDayCosine(const std::vector<JobData>& jobs, int i) {
  return {submitPhaseCosine(jobs[i], kSecondsPerDay)};
}
std::vector<double> dayOfWeekSine(const std::vector<JobData>& jobs, int i) {
  return {submitPhaseSine(jobs[i], kSecondsPerWeek)};
}
std::vector<double> dayOfWeekCosine(const std::vector<JobData>& jobs, int i) {
  return {submitPhaseCosine(jobs[i], kSecondsPerWeek)};
}

std::vector<double> failureShareOfUser(const std::vector<JobData>& jobs, int i) {
  const History h = historyOf(jobs, i, sameUser);
  return {smoothedFailureShare(h.failed, h.count)};
}
std::vector<double> failureShareOfApplication(const std::vector<JobData>& jobs, int i) {
  const History h = historyOf(jobs, i, sameApplication);
  return {smoothedFailureShare(h.failed, h.count)};
}
std::vector<double> failureShareOfUserWithApplication(const std::vector<JobData>& jobs, int i) {
  const History h = historyOf(jobs, i, sameUserWithApplication);
  return {smoothedFailureShare(h.failed, h.count)};
}
std::vector<double> logJobCountOfUser(const std::vector<JobData>& jobs, int i) {
  return {logScaled(historyOf(jobs, i, sameUser).count)};
}
std::vector<double> logJobCountOfApplication(const std::vector<JobData>& jobs, int i) {
  return {logScaled(historyOf(jobs, i, sameApplication).count)};
}
std::vector<double> logJobCountOfUserWithApplication(const std::vector<JobData>& jobs, int i) {
  return {logScaled(historyOf(jobs, i, sameUserWithApplication).count)};
}
std::vector<double> recentFailuresOfUser(const std::vector<JobData>& jobs, int i) {
  return {historyOf(jobs, i, sameUser).recent};
}
std::vector<double> recentFailuresOfApplication(const std::vector<JobData>& jobs, int i) {
  return {historyOf(jobs, i, sameApplication).recent};
}
std::vector<double> recentFailuresOfUserWithApplication(const std::vector<JobData>& jobs, int i) {
  return {historyOf(jobs, i, sameUserWithApplication).recent};
}

std::vector<double> logElapsedTimeSinceUserLastFailed(const std::vector<JobData>& jobs, int i) {
  for (int j = i - 1; j >= 0; --j) {
    if (sameUser(jobs[j], jobs[i]) && jobs[j].status != 1) {
      return {logScaled(elapsedSubmitTime(jobs[i].submitTime, jobs[j].submitTime))};
    }
  }
  return {logScaled(kOneYear)};
}

namespace {

// Scans the matching earlier jobs of job i, latest first, until visit returns false.
template <typename Match, typename Visit>
void scanBack(const std::vector<JobData>& jobs, int i, Match match, Visit visit) {
  for (int j = i - 1; j >= 0; --j)
    if (match(jobs[j], jobs[i]) && !visit(jobs[j])) return;
}

template <typename Match>
double outcomeRun(const std::vector<JobData>& jobs, int i, Match match) {
  double latest = 0;
  int run = 0;
  scanBack(jobs, i, match, [&](const JobData& job) {
    const double value = jobStatusNeuronValue(job.status);
    if (run > 0 && value != latest) return false;
    latest = value;
    ++run;
    return true;
  });
  return run == 0 ? 0.0 : signedRunLength(latest, run);
}

template <typename Match>
double secondLastStatus(const std::vector<JobData>& jobs, int i, Match match) {
  int seen = 0;
  double value = 0;
  scanBack(jobs, i, match, [&](const JobData& job) {
    value = jobStatusNeuronValue(job.status);
    return ++seen < 2;
  });
  return seen < 2 ? 0.0 : value;
}

}  // namespace

double signedRunLength(double statusValue, int run) {
  const double length = std::log1p(run);
  return statusValue != 0 ? length : -length;
}

std::vector<double> outcomeRunOfUser(const std::vector<JobData>& jobs, int i) {
  return {outcomeRun(jobs, i, sameUser)};
}
std::vector<double> outcomeRunOfUserWithApplication(const std::vector<JobData>& jobs, int i) {
  return {outcomeRun(jobs, i, sameUserWithApplication)};
}
std::vector<double> secondLastStatusOfUser(const std::vector<JobData>& jobs, int i) {
  return {secondLastStatus(jobs, i, sameUser)};
}
std::vector<double> secondLastStatusOfUserWithApplication(const std::vector<JobData>& jobs, int i) {
  return {secondLastStatus(jobs, i, sameUserWithApplication)};
}
