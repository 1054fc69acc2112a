#pragma once
// The ombra-evaluate command line:
//
//   ombra-evaluate NETWORK_FILE TRAINING_DATA_FILE [options]
//
// Reloads a saved network, reads the training data file as ombra reads it, and reports how
// well the network finds failed or cancelled jobs among the test samples (or the validation
// samples), beside the baselines trained on the same samples and the importance of every
// attribute. Every argument is checked before any work: a bad one prints the reason and a
// hint on standard error and gives kEvaluateUsageStatus. Help and the version go to standard
// output (0).

#include <string>

#include "card/calibration.h"
#include "evaluate/evaluated_network.h"
#include "evaluate/exit_status.h"

struct EvaluateOptions {
  std::string networkFile;
  std::string trainingDataFile;
  std::string columnsFile;  // empty: the training data file's name + ".columns", if present
  SampleSet set = SampleSet::test;
  int output = 1;  // from 1
  std::string chartsPrefix;
  std::string cardFile;       // the network's card; empty: NETWORK_FILE.card, if present
  std::string writeCardFile;  // --write-card: fit a calibration and write the network's card
  // What --write-card fits; none: the method of the lower cross-fitted validation log loss.
  CalibrationMethod calibrationMethod = CalibrationMethod::none;
  std::string predictionsFile;
  bool baselines = true;
  bool importance = true;
  int shuffles = 5;
  int seed = 1;
  int threads = 1;       // set by the parser: --threads, or the processors available
  bool version = false;  // --version: print the version, nothing else
};

// Fills options from argv; false when help or the version was asked for (options.version). Throws
// std::runtime_error (the reason, for the user) for anything that cannot run.
bool parseEvaluateOptions(int argc, const char* const* argv, EvaluateOptions& options);
std::string evaluateHelp();

// Everything main does; returns the exit status.
int runEvaluate(int argc, const char* const* argv);
