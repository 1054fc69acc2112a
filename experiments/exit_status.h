#pragma once
// Every exit status of ombra-timings, named once. The experiments build and train networks
// through ombra's own classes, so a failure while one runs ends with ombra's status for it
// (common/ombra_status.h; ombra_status::kFailure, 255, for the experiments' own failures).

#include "common/ombra_status.h"

// Every measurement was written, or the help was printed.
constexpr int kTimingsDoneStatus = 0;
// make-data and make-data-sets: tallis failed, a log is missing, a file cannot be written.
constexpr int kTimingsFailureStatus = 1;
// An argument that cannot run: refused before anything is touched.
constexpr int kUsageStatus = 2;
