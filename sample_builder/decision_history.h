#pragma once
// What is known about a workload's users and applications at a moment: the incremental engine
// behind tallis --as-of, written for any program that meets jobs as they come (a live stream
// included), so it keeps no job sequence.
//
// Events are ordered by (time, job index): a job's submission at (submit time, i), its outcome
// at (end time, i), its decision at (decision time, i), and at an equal key the decision first.
// A decision sees every submission and outcome ordered before it. So within one second the
// events of jobs earlier in the log come first, and a job never sees its own outcome, even one
// that ends the moment it is decided. Memory: one record per distinct user, application and
// user+application pair, and one pending event per job recorded and not yet applied.
//
// A program that scores jobs as they come drives it job by job: recordSubmission(job, i) when
// job i arrives; advanceTo(job, i), then attributesAt(job, i, rows, values) at its decision;
// recordOutcome(job, i) once its final status is known (at once for a finished log, later for
// a job still queued). Decisions must come in the order of (decision time, index); a finished
// log whose submit times are out of order goes through decisionTimeValues, which sorts.

#include <cstdint>
#include <queue>
#include <unordered_map>
#include <vector>

#include "sample_builder/attribute_table.h"

// When a job's attributes are taken (tallis --as-of): in log order (every earlier job of the
// log known, the attributes' definitions), at its submission, or at its start.
enum class DecisionTime { log, submit, start };

// "log", "submit", "start".
const char* decisionTimeName(DecisionTime when);

// A job's submit time when it is known: -1 (SWF's unknown) and non-finite values are not.
bool knowsSubmitTime(const JobData& job);
// Its decision time: the submit time, or the start time (submit + wait, a wait of -1 or below
// as 0). Only for a job whose submit time is known.
double decisionTimeOf(const JobData& job, DecisionTime when);
// When its outcome is known: submit + wait + run, a wait or run of -1 or below as 0.
double endTimeOf(const JobData& job);

// What the history keeps of an outcome: the fields the attributes read.
struct KnownOutcome {
  int status = 1;
  double runTime = 0;
  double averageCPUTimeUsed = 0;
  double submitTime = 0;
  double endTime = 0;
};

struct KnownSubmission {
  double submitTime = 0;
  int64_t index = -1;
};

// What is known about one user, one application or one user+application pair.
struct KnownJobs {
  // Outcomes, in the order they became known.
  int count = 0;
  int failed = 0;
  double recent = 0.5;        // moving average of their status values (see "ru")
  int run = 0;                // how many equal outcomes (as "s") the history ends with
  KnownOutcome latest;        // valid when count >= 1
  KnownOutcome secondLatest;  // valid when count >= 2
  bool anyFailure = false;
  KnownOutcome latestFailure;
  // Submissions, in time order; the latest two, so that a job's own can be left out.
  int64_t submitted = 0;
  KnownSubmission latestSubmissions[2];
};

// What the engine does with an outcome and with a submission of one kind of history, for a
// history that is kept in another order (ombra-score's log order, where every earlier job of
// the log is known).
void addKnownOutcome(KnownJobs& jobs, const KnownOutcome& outcome);
void addKnownSubmission(KnownJobs& jobs, const KnownSubmission& submission);

// The history of one job at its decision time, as the attribute formulas read it (the same
// questions LogOrderView answers about the log order). Never the job itself.
class KnownAt {
 public:
  KnownAt(const JobData& job, int64_t index, double decisionTime, const KnownJobs* user,
          const KnownJobs* application, const KnownJobs* userWithApplication)
      : job_(job),
        index_(index),
        decisionTime_(decisionTime),
        kinds_{user, application, userWithApplication} {}
  const JobData& job() const { return job_; }
  double decisionTime() const { return decisionTime_; }
  const KnownOutcome* latest(HistoryKind kind) const {
    const KnownJobs* jobs = of(kind);
    return jobs != nullptr && jobs->count >= 1 ? &jobs->latest : nullptr;
  }
  const KnownOutcome* secondLatest(HistoryKind kind) const {
    const KnownJobs* jobs = of(kind);
    return jobs != nullptr && jobs->count >= 2 ? &jobs->secondLatest : nullptr;
  }
  const KnownOutcome* latestFailureOfUser() const {
    const KnownJobs* jobs = of(HistoryKind::user);
    return jobs != nullptr && jobs->anyFailure ? &jobs->latestFailure : nullptr;
  }
  // The latest public submission of the kind other than the job's own.
  const KnownSubmission* latestSubmission(HistoryKind kind) const;
  int count(HistoryKind kind) const { return of(kind) ? of(kind)->count : 0; }
  int failed(HistoryKind kind) const { return of(kind) ? of(kind)->failed : 0; }
  double recent(HistoryKind kind) const { return of(kind) ? of(kind)->recent : 0.5; }
  int outcomeRun(HistoryKind kind) const { return of(kind) ? of(kind)->run : 0; }

 private:
  const KnownJobs* of(HistoryKind kind) const { return kinds_[static_cast<int>(kind)]; }
  const JobData& job_;
  int64_t index_;
  double decisionTime_;
  const KnownJobs* kinds_[3];
};

class DecisionHistory {
 public:
  explicit DecisionHistory(DecisionTime when);
  DecisionTime setting() const { return when_; }

  // A job's submission, public from (submit time, index) on. Nothing for an unknown submit
  // time.
  void recordSubmission(const JobData& job, int64_t index);
  // A job's outcome (its status must be final), known from (endTimeOf(job), index) on.
  // Nothing for an unknown submit time.
  void recordOutcome(const JobData& job, int64_t index);
  // Applies, in order, every recorded event ordered before the job's decision. Decisions must
  // come in their order; a job with an unknown submit time changes nothing.
  void advanceTo(const JobData& job, int64_t index);

  // What is known at the job's decision (after advanceTo); nothing at all for a job whose
  // submit time is unknown.
  KnownAt knownAt(const JobData& job, int64_t index) const;
  // The values of the rows for the job, one per row: a history row's decision-time form, a
  // direct row's value. Rows of another kind ("uID", several values) are the caller's.
  void attributesAt(const JobData& job, int64_t index, const AttributeList& rows,
                    double* values) const;

  size_t pendingEvents() const { return pending_.size(); }
  size_t keysKnown() const { return users_.size() + applications_.size() + pairs_.size(); }

 private:
  struct Event {
    double time;
    int64_t index;
    bool outcome;  // else a submission
    int user;
    int application;
    KnownOutcome known;
  };
  // The queue's top is the earliest event: the one with the smallest (time, index, kind).
  struct Later {
    bool operator()(const Event& a, const Event& b) const;
  };
  void apply(const Event& event);

  DecisionTime when_;
  std::priority_queue<Event, std::vector<Event>, Later> pending_;
  std::unordered_map<int, KnownJobs> users_;
  std::unordered_map<int, KnownJobs> applications_;
  std::unordered_map<uint64_t, KnownJobs> pairs_;
};

// The values of every row for every job at its decision time, in log order: row r of job i
// at [i * rows.size() + r]. Events are replayed in time order through DecisionHistory: every
// job's submission and outcome, decisions in the order of (decision time, index).
std::vector<double> decisionTimeValues(const std::vector<JobData>& jobs, DecisionTime when,
                                       const AttributeList& rows);
