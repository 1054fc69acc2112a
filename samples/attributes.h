#pragma once
// Job attribute functions: the values one job contributes to its sample.
// Direct attributes read job i; look-back attributes read the latest earlier job of the same
// user, application or both. These are the plain definitions (a backward scan per call); the
// training file writer evaluates the same attributes through LookBackIndex in linear time.

#include <vector>

#include "samples/job_data.h"

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

// The command-line key of every attribute function, in the order the keys are tested.
struct AttributeKey {
  const char* key;
  AttributeFunction function;
};
extern const std::vector<AttributeKey> attributeKeys;

// The function of a key, or nullptr when the key is not in the table.
AttributeFunction findAttributeFunction(const std::string& key);
