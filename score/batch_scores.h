#pragma once
// A finished log scored as tallis reads it: every job line is a job of its own, replayed in
// time order (submissions, decisions, outcomes) through the decision-time engine, or in log
// order, so that a finished job's inputs are its row of the training data file.

#include <vector>

#include "score/input_encoder.h"
#include "score/scoring_network.h"

// Completed, failed or cancelled: a job with an outcome.
inline bool hasOutcome(const JobData& job) {
  return job.status == 0 || job.status == 1 || job.status == 5;
}

// The raw output (network output 1) of every job line from the first `historyOnly` on, in log
// order: jobs[historyOnly + k] gives element k. The first historyOnly lines are history only.
// A line with an outcome is decided and then enters the history (its submission from its
// submit time, its outcome from its end time); a line without one is decided and enters
// nothing.
std::vector<float> batchOutputs(const std::vector<JobData>& jobs, size_t historyOnly,
                                DecisionTime when, const InputEncoder& encoder,
                                const ScoringNetwork& network);
