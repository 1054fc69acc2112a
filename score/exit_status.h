#pragma once
// Every exit status of ombra-score, named once. The network file is read with ombra's own
// reader, which ends with ombra's status for it (common/ombra_status.h: ombra_status::kFailure,
// 255, also for running out of memory).

#include "common/ombra_status.h"

// Every job was scored, or --help or --version.
constexpr int kScoreDoneStatus = 0;
// A log that cannot be read, a write error.
constexpr int kScoreFailureStatus = 1;
// A bad argument: refused before any work.
constexpr int kScoreUsageStatus = 2;
// As ombra-evaluate's "not trained on this file": the card does not belong to the network.
constexpr int kScoreCardStatus = 107;
