#pragma once
// A live stream of job lines, each scored as it arrives from what is known at that moment.
//
// - A line without an outcome (status -1, or any status but completed, failed or cancelled)
//   is a job in the queue or running. It is scored at its decision time, and its job number
//   is kept until its outcome comes. At a decision time its submission is public from its
//   submit time (later jobs see it queued or running, as tallis saw it in the finished log);
//   its outcome enters nothing yet. In log order it enters nothing.
// - A later line with that job number and an outcome is the job's outcome: it enters the
//   history from its end time on (from the stream's clock, the latest decision time so far,
//   when it comes later than its end), and its row repeats the job's latest score. A later
//   line with that number and still no outcome (queued, then running) is scored again.
// - A line with an outcome and a job number not waiting for one is a job of its own, as every
//   line of a finished log: scored, its submission public at once, its outcome from its end. A job
//   number that comes again after its outcome is therefore a new job (ended jobs are not
//   remembered, so memory stays bounded by the users, applications and pairs and the jobs not yet
//   ended).
// - Lines are taken in the order they come. A line whose decision time lies before the clock
//   is scored with the history as it stands (what was applied cannot be taken back).

#include <cstdint>
#include <unordered_map>

#include "card/calibration.h"
#include "score/input_encoder.h"
#include "score/log_order_history.h"
#include "score/scoring_network.h"

struct StreamScore {
  float output = 0;
  double score = 0;
  bool outcome = false;  // the line was the outcome of a job scored before
};

class StreamScorer {
 public:
  StreamScorer(ScoringNetwork& network, const InputEncoder& encoder, const Calibration& calibration,
               DecisionTime when);

  // Takes the next line. historyOnly: it only builds the history (nothing is computed for it).
  StreamScore take(const JobData& job, bool historyOnly = false);

  // Lines whose decision time lay before the clock, and the first of them (0: none).
  uint64_t lateLines() const { return lateLines_; }
  // Jobs waiting for their outcome.
  size_t waitingJobs() const { return waiting_.size(); }
  size_t pendingEvents() const { return history_.pendingEvents(); }

 private:
  struct Waiting {
    int64_t index;
    JobData job;  // its latest line without an outcome
    float output;
    double score;
  };
  // The job's scores, from the history as it stands.
  StreamScore decide(const JobData& job, int64_t index);
  JobData knownFromNow(JobData job) const;
  // A finished job enters the history.
  void ended(const JobData& job, int64_t index);

  ScoringNetwork& network_;
  const InputEncoder& encoder_;
  const Calibration& calibration_;
  DecisionTime when_;
  DecisionHistory history_;
  LogOrderHistory logOrder_;
  std::unordered_map<int, Waiting> waiting_;
  std::vector<double> values_;
  std::vector<float> scaled_;
  int64_t lines_ = 0;
  bool clockSet_ = false;
  double clock_ = 0;
  uint64_t lateLines_ = 0;
};
