#pragma once
// The ombra-score command line:
//
//   ombra-score [options] NETWORK LOG
//
// Scores every job line of a workload log with a saved network: CSV on standard output (see
// score/score_table.h). A regular file is a finished log, replayed in time order; "-", a FIFO
// or --stream is a live stream, scored line by line as it comes. Statuses: 0; 1 for a log that
// cannot be read and a write error; kScoreUsageStatus for a bad argument; kScoreCardStatus for
// a card that is missing or cannot serve the network; 255 for a network file that cannot be
// read (ombra's own messages).

#include <string>

#include "score/exit_status.h"

struct ScoreOptions {
  std::string networkFile;
  std::string logFile;      // "-": standard input
  std::string cardFile;     // empty: NETWORK.card
  std::string historyFile;  // a finished log replayed first, no rows of its own
  bool stream = false;      // --stream: a regular file taken line by line too
  bool openOnly = false;
  bool header = true;
  bool version = false;
};

// Fills options; false when help or the version was asked for. Throws std::runtime_error with
// the reason for anything that cannot run.
bool parseScoreOptions(int argc, const char* const* argv, ScoreOptions& options);
std::string scoreHelp();

// Everything main does; returns the exit status.
int runScore(int argc, const char* const* argv);
