#pragma once
// Every exit status of ombra-evaluate, named once. The network file and the training data file
// are read with ombra's own readers, which end with ombra's statuses (common/ombra_status.h): 255
// for a network file that cannot be read (ombra_status::kFailure), 249 for a training data file
// that cannot be opened (kTrainingDataFile), 107 for one whose sizes differ from the network's
// (kSizeMismatch), 136 and 173 for a damaged one.

#include "common/ombra_status.h"

// The report was written, or --help or --version.
constexpr int kEvaluateDoneStatus = 0;
// No samples to evaluate, outputs that are not numbers, a set of one class only (after the
// report), a write error, an XGBoost or gnuplot failure.
constexpr int kEvaluateFailureStatus = 1;
// A bad option, a missing file name, an --output beyond the network's outputs, a --charts
// folder that cannot be written: refused before any work.
constexpr int kEvaluateUsageStatus = 2;
// Not ombra-evaluate's own: the chart child's, when gnuplot cannot be started (the shell's
// "command not found"); the charts are then skipped.
constexpr int kGnuplotNotStartedStatus = 127;
