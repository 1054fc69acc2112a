#pragma once
// Job attribute functions: the values one job contributes to its sample.
// Direct attributes read job i; look-back attributes read the latest earlier job of the same
// user, application or both. Each function is the attribute's definition, one job at a time (a
// backward scan per call); the training file writer evaluates the same attributes for a whole
// log through the rows of attribute_table.h in linear time.

#include <vector>

#include "sample_builder/job_data.h"

using AttributeFunction = std::vector<double> (*)(const std::vector<JobData>& jobs, int i);

// The largest elapsed time the look-back attributes return: one year in seconds.
constexpr double kOneYear = 31536000;

// The submit time of a job whose submit time the log does not know.
constexpr double kUnknownTime = -1;

// Seconds from the earlier submit time to the later one, capped at one year. An unknown time on
// either side gives no elapsed time at all: the one year of "no earlier job", rather than a
// difference with -1 (a negative time, or one of decades).
inline double elapsedSubmitTime(double later, double earlier) {
  if (later == kUnknownTime || earlier == kUnknownTime) return kOneYear;
  const double elapsed = later - earlier;
  return elapsed > kOneYear ? kOneYear : elapsed;
}

// The match keys of the look-back attributes: plain integer comparisons, so -1 matches -1.
inline bool sameUser(const JobData& a, const JobData& b) { return a.userID == b.userID; }
inline bool sameApplication(const JobData& a, const JobData& b) {
  return a.applicationNumber == b.applicationNumber;
}
inline bool sameUserWithApplication(const JobData& a, const JobData& b) {
  return sameUser(a, b) && sameApplication(a, b);
}

// 0 for a completed job (status 1), 1 for any other status.
double jobStatusNeuronValue(int status);

// count zeros with 1 at active; active -1 sets nothing. Throws "Wrong active neuron".
std::vector<double> createAttributeValues(int count, int active);

std::vector<double> submitTime(const std::vector<JobData>& jobs, int i);
std::vector<double> waitTime(const std::vector<JobData>& jobs, int i);
std::vector<double> status(const std::vector<JobData>& jobs, int i);
std::vector<double> requestedNumberOfProcessors(const std::vector<JobData>& jobs, int i);
std::vector<double> requestedTime(const std::vector<JobData>& jobs, int i);
std::vector<double> requestedMemory(const std::vector<JobData>& jobs, int i);
std::vector<double> userID(const std::vector<JobData>& jobs, int i);
std::vector<double> lastStatusOfUser(const std::vector<JobData>& jobs, int i);
std::vector<double> lastStatusOfApplication(const std::vector<JobData>& jobs, int i);
std::vector<double> lastStatusOfUserWithApplication(const std::vector<JobData>& jobs, int i);
std::vector<double> lastJobOfUserWithApplicationWasCanceled(const std::vector<JobData>& jobs,
                                                            int i);
std::vector<double> lastRunTimeOfUserWithApplication(const std::vector<JobData>& jobs, int i);
std::vector<double> lastAverageCPUTimeOfUserWithApplication(const std::vector<JobData>& jobs,
                                                            int i);
std::vector<double> elapsedTimeSinceUserLastUsedApplication(const std::vector<JobData>& jobs,
                                                            int i);
std::vector<double> elapsedTimeSinceUserLastUsedCluster(const std::vector<JobData>& jobs, int i);

// Encodings for networks (attribute_encodings.cpp). Times, sizes and counts are heavy-tailed:
// scaled linearly to [-1, 1], most jobs would land in one corner, so these give log(1 + x),
// with x below 0 (-1: unknown) taken as 0.
double logScaled(double value);
std::vector<double> logWaitTime(const std::vector<JobData>& jobs, int i);
std::vector<double> logRequestedNumberOfProcessors(const std::vector<JobData>& jobs, int i);
std::vector<double> logRequestedTime(const std::vector<JobData>& jobs, int i);
std::vector<double> logRequestedMemory(const std::vector<JobData>& jobs, int i);
std::vector<double> logLastRunTimeOfUserWithApplication(const std::vector<JobData>& jobs, int i);
std::vector<double> logElapsedTimeSinceUserLastUsedApplication(const std::vector<JobData>& jobs,
                                                               int i);
std::vector<double> logElapsedTimeSinceUserLastUsedCluster(const std::vector<JobData>& jobs, int i);

// The submit time's place in the day and in the week as a point on the unit circle (sine and
// cosine), so that 23:59 lies next to 00:00. Submit times count from the log's start, so the
// phase is the log's own; an unknown submit time gives 0.
constexpr double kSecondsPerDay = 86400;
constexpr double kSecondsPerWeek = 7 * kSecondsPerDay;
double submitPhaseSine(const JobData& job, double period);
double submitPhaseCosine(const JobData& job, double period);
std::vector<double> hourOfDaySine(const std::vector<JobData>& jobs, int i);
std::vector<double> hourOfDayCosine(const std::vector<JobData>& jobs, int i);
std::vector<double> dayOfWeekSine(const std::vector<JobData>& jobs, int i);
std::vector<double> dayOfWeekCosine(const std::vector<JobData>& jobs, int i);

// History of every earlier job of the same user, application or both, not only the latest:
// how many there were, the share of them that failed or were cancelled, smoothed towards one
// half as (failed + 0.5) / (count + 1) so that a first job gets 0.5 and a single failure does
// not read as certainty, and a moving average of their status values that weighs the latest
// job by kRecentWeight (0.5 before any).
constexpr double kRecentWeight = 0.3;
double smoothedFailureShare(int failed, int count);
double movingAverageStep(double average, double statusValue);
std::vector<double> failureShareOfUser(const std::vector<JobData>& jobs, int i);
std::vector<double> failureShareOfApplication(const std::vector<JobData>& jobs, int i);
std::vector<double> failureShareOfUserWithApplication(const std::vector<JobData>& jobs, int i);
std::vector<double> logJobCountOfUser(const std::vector<JobData>& jobs, int i);
std::vector<double> logJobCountOfApplication(const std::vector<JobData>& jobs, int i);
std::vector<double> logJobCountOfUserWithApplication(const std::vector<JobData>& jobs, int i);
std::vector<double> recentFailuresOfUser(const std::vector<JobData>& jobs, int i);
std::vector<double> recentFailuresOfApplication(const std::vector<JobData>& jobs, int i);
std::vector<double> recentFailuresOfUserWithApplication(const std::vector<JobData>& jobs, int i);
// The run of equal outcomes that the latest earlier jobs of the user (with the application)
// end with: +log(1 + n) when the latest n of them failed or were cancelled, -log(1 + n) when
// the latest n completed, 0 without an earlier job.
double signedRunLength(double statusValue, int run);
std::vector<double> outcomeRunOfUser(const std::vector<JobData>& jobs, int i);
std::vector<double> outcomeRunOfUserWithApplication(const std::vector<JobData>& jobs, int i);
// The status value (as "s") of the second latest earlier job of the user (with the
// application); 0 without one, like "lsu".
std::vector<double> secondLastStatusOfUser(const std::vector<JobData>& jobs, int i);
std::vector<double> secondLastStatusOfUserWithApplication(const std::vector<JobData>& jobs, int i);
// log(1 + seconds since the user's latest earlier job that failed or was cancelled), capped
// at one year like "ec" (also when there is none).
std::vector<double> logElapsedTimeSinceUserLastFailed(const std::vector<JobData>& jobs, int i);
