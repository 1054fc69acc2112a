#pragma once
// Linear-time evaluation of the attributes: for every job the index of the latest earlier job
// of the same user, application and user+application, found in one pass over the sequence.
// The backward scans of attributes.cpp stay the definition; these give the same values.

#include <vector>

#include "samples/attributes.h"

struct LookBackIndex {
  std::vector<int> previousOfUser;  // -1 when no earlier job matches
  std::vector<int> previousOfApplication;
  std::vector<int> previousOfUserWithApplication;
};

LookBackIndex buildLookBackIndex(const std::vector<JobData>& jobs);

// One value of a single-valued attribute, computed with the index.
using FastAttribute = double (*)(const std::vector<JobData>& jobs, const LookBackIndex& index,
                                 int i);

// The fast form of a single-valued attribute function; nullptr for "uID" and for functions
// that are not in the key table.
FastAttribute fastAttributeFor(AttributeFunction function);
