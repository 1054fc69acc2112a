#pragma once
// Linear-time evaluation of the attributes: for every job the index of the latest earlier job
// of the same user, application and user+application, found in one pass over the sequence,
// and the history of all earlier such jobs, carried along those chains in a second pass.
// The backward scans of attributes.cpp stay the definition; these give the same values.

#include <vector>

#include "samples/attributes.h"

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

// One value of a single-valued attribute, computed with the index.
using FastAttribute = double (*)(const std::vector<JobData>& jobs, const LookBackIndex& index,
                                 int i);

// The fast form of a single-valued attribute function; nullptr for "uID" and for functions
// that are not in the key table.
FastAttribute fastAttributeFor(AttributeFunction function);
