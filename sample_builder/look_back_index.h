#pragma once
// Linear-time evaluation of the attributes in log order: for every job the index of the latest
// earlier job of the same user, application and user+application, found in one pass over the
// sequence, and the history of all earlier such jobs, carried along those chains in a second
// pass. The backward scans of attributes.cpp stay the definition; these give the same values.

#include <vector>

#include "sample_builder/attribute_table.h"
#include "sample_builder/attributes.h"

// What every earlier job of the same key says about job i (see the history attributes).
struct EarlierJobs {
  std::vector<int> count;
  std::vector<int> failed;
  std::vector<double> recent;  // the moving average of their status values
};

struct LookBackIndex {
  std::vector<int> previousOfUser;  // -1 when no earlier job matches
  std::vector<int> previousOfApplication;
  std::vector<int> previousOfUserWithApplication;
  // The latest earlier job of the same user that failed or was cancelled, or -1.
  std::vector<int> previousFailureOfUser;
  // The length of the run of equal outcomes (as "s") that job j ends, counted along the
  // previous jobs of the same user (with the application), j included.
  std::vector<int> outcomeRunOfUser;
  std::vector<int> outcomeRunOfUserWithApplication;
  EarlierJobs historyOfUser;
  EarlierJobs historyOfApplication;
  EarlierJobs historyOfUserWithApplication;
};

LookBackIndex buildLookBackIndex(const std::vector<JobData>& jobs);

// The history of job i as the attribute formulas read it (attribute_table.cpp): every earlier
// job of the log is known, the latest earlier one of a kind is the latest known outcome and
// the latest known submission alike. KnownAt (decision_history.h) answers the same questions
// about the moment of decision.
class LogOrderView {
 public:
  LogOrderView(const std::vector<JobData>& jobs, const LookBackIndex& index, int i)
      : jobs_(jobs), index_(index), i_(i) {}
  const JobData& job() const { return jobs_[i_]; }
  // The latest and the second latest earlier job of the kind; nullptr when there is none.
  const JobData* latest(HistoryKind kind) const { return at(previous(kind)[i_]); }
  const JobData* secondLatest(HistoryKind kind) const {
    const int p = previous(kind)[i_];
    return p < 0 ? nullptr : at(previous(kind)[p]);
  }
  const JobData* latestSubmission(HistoryKind kind) const { return latest(kind); }
  const JobData* latestFailureOfUser() const { return at(index_.previousFailureOfUser[i_]); }
  int count(HistoryKind kind) const { return history(kind).count[i_]; }
  int failed(HistoryKind kind) const { return history(kind).failed[i_]; }
  double recent(HistoryKind kind) const { return history(kind).recent[i_]; }
  // The number of equal outcomes the earlier jobs end with (0 without one); not for the
  // application alone.
  int outcomeRun(HistoryKind kind) const {
    const int p = previous(kind)[i_];
    if (p < 0) return 0;
    return kind == HistoryKind::user ? index_.outcomeRunOfUser[p]
                                     : index_.outcomeRunOfUserWithApplication[p];
  }

 private:
  const JobData* at(int j) const { return j < 0 ? nullptr : &jobs_[j]; }
  const std::vector<int>& previous(HistoryKind kind) const {
    return kind == HistoryKind::user          ? index_.previousOfUser
           : kind == HistoryKind::application ? index_.previousOfApplication
                                              : index_.previousOfUserWithApplication;
  }
  const EarlierJobs& history(HistoryKind kind) const {
    return kind == HistoryKind::user          ? index_.historyOfUser
           : kind == HistoryKind::application ? index_.historyOfApplication
                                              : index_.historyOfUserWithApplication;
  }
  const std::vector<JobData>& jobs_;
  const LookBackIndex& index_;
  int i_;
};
