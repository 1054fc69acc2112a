#include "score/stream_scores.h"

#include <algorithm>

#include "score/batch_scores.h"

StreamScorer::StreamScorer(ScoringNetwork& network, const InputEncoder& encoder,
                           const Calibration& calibration, DecisionTime when)
    : network_(network),
      encoder_(encoder),
      calibration_(calibration),
      when_(when),
      history_(when == DecisionTime::log ? DecisionTime::submit : when),
      values_(encoder.rows().size()),
      scaled_(encoder.inputCount()) {}

StreamScore StreamScorer::decide(const JobData& job, int64_t index) {
  if (when_ == DecisionTime::log) {
    attributeValues(logOrder_.knownAt(job, index), encoder_.rows(), values_.data());
  } else {
    history_.advanceTo(job, index);
    history_.attributesAt(job, index, encoder_.rows(), values_.data());
  }
  encoder_.encode(job, values_.data(), scaled_.data());
  StreamScore result;
  result.output = network_.outputOf(scaled_.data());
  result.score = calibration_.apply(result.output);
  return result;
}

// A finished job as the history keeps it: known from its end or, when the stream's clock has
// passed that, from now (a later end through the wait: its run time and submit time stay).
JobData StreamScorer::knownFromNow(JobData job) const {
  if (clockSet_ && knowsSubmitTime(job) && endTimeOf(job) < clock_) {
    job.waitTime = clock_ - job.submitTime - std::max(job.runTime, 0.0);
  }
  return job;
}

void StreamScorer::ended(const JobData& job, int64_t index) {
  if (when_ == DecisionTime::log) {
    logOrder_.add(job, index);
  } else {
    history_.recordOutcome(knownFromNow(job), index);
  }
}

StreamScore StreamScorer::take(const JobData& job, bool historyOnly) {
  const int64_t index = lines_++;
  if (knowsSubmitTime(job)) {
    const double decision = decisionTimeOf(job, when_);
    if (clockSet_ && decision < clock_) ++lateLines_;
    clock_ = clockSet_ ? std::max(clock_, decision) : decision;
    clockSet_ = true;
  }
  auto waiting = waiting_.find(job.jobNumber);
  if (hasOutcome(job) && waiting != waiting_.end()) {
    // The outcome of a job scored before, under the user, application and submit time its
    // submission was made public with.
    const Waiting& before = waiting->second;
    StreamScore result{before.output, before.score, true};
    JobData outcome = job;
    outcome.userID = before.job.userID;
    outcome.applicationNumber = before.job.applicationNumber;
    outcome.submitTime = before.job.submitTime;
    ended(outcome, before.index);
    waiting_.erase(waiting);
    return result;
  }
  // A job seen before without an outcome keeps its place (its submission is public already).
  const bool seen = waiting != waiting_.end();
  const int64_t place = seen ? waiting->second.index : index;
  if (!seen && when_ != DecisionTime::log) history_.recordSubmission(job, place);
  StreamScore result;
  if (!historyOnly) {
    result = decide(job, place);
  } else if (when_ != DecisionTime::log) {
    history_.advanceTo(job, place);
  }
  if (hasOutcome(job)) {
    ended(job, place);
  } else if (seen) {
    waiting->second.output = result.output;
    waiting->second.score = result.score;
  } else {
    waiting_.emplace(job.jobNumber, Waiting{place, job, result.output, result.score});
  }
  return result;
}
