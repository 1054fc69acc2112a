#pragma once
// Which jobs become training, validation and test samples: the split by ratios and the
// positives-ratio step that erases random completed jobs from the leading part.

#include <cstddef>
#include <vector>

#include "sample_builder/job_data.h"

struct SplitCounts {
  int training = 0;
  int validation = 0;
  int test = 0;
};

// training = floor(N * (rT/S) + 0.5), validation = floor((rV/S) * N + 0.5), test the rest.
SplitCounts splitJobs(int jobCount, double trainingRatio, double validationRatio, double testRatio);

// Erases random completed jobs (status 1) among the first count jobs until the jobs that did
// not complete make up `ratio` of them; prints the "now = " and "Negatives removed = " lines and
// returns the new number of leading jobs. Draws rand() exactly as the one-at-a-time erasure
// does and erases the same jobs, in O(N log N) through a Fenwick index of the remaining jobs.
int changeTrainingSamplePositivesRatio(std::vector<JobData>& jobs, int count, double ratio);

// Splits the `leading` jobs left by the positives-ratio step by rT : rV; test keeps its count.
// Prints "Wrong number of samples" to standard error when the counts miss jobCount.
SplitCounts resplitJobs(int leading, int test, double trainingRatio, double validationRatio,
                        size_t jobCount);
