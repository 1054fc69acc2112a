#pragma once
// What every earlier finished job of the log says about a job, kept as the lines come: the log
// order of tallis without --as-of (every earlier job's outcome known, ended or not), for a
// network whose card says "as-of log". Memory: one record per user, application and
// user+application pair.

#include <cstdint>
#include <unordered_map>

#include "sample_builder/decision_history.h"

class LogOrderHistory {
 public:
  // Every finished job added so far; never the job itself.
  KnownAt knownAt(const JobData& job, int64_t index) const;
  // A finished job becomes part of the history of every later line.
  void add(const JobData& job, int64_t index);

 private:
  std::unordered_map<int, KnownJobs> users_;
  std::unordered_map<int, KnownJobs> applications_;
  std::unordered_map<uint64_t, KnownJobs> pairs_;
};

// The values of rows for the job whose history is known: a history row's formula, a direct
// row's value (rows of another kind, "uID", are the caller's).
void attributeValues(const KnownAt& known, const AttributeList& rows, double* values);
