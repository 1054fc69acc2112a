#pragma once
// The tallis command line: options, attribute key lists, and the run from log to file.

#include <string>
#include <vector>

#include "sample_builder/attribute_table.h"
#include "sample_builder/decision_history.h"

// The usage line, as it always was (its -pr<positives_ratio> means -p).
void printUsageInformation();
// The usage line, then every option and every attribute key with its meaning, by group.
void printTallisHelp();

// For "Wrong attribute function": the key, a key that differs only in case, the known keys.
std::string describeUnknownKey(const std::string& key);

// The rows of a comma-separated key list, after printing an "atrib[" line per key.
// An unknown key prints "Wrong attribute function" with describeUnknownKey and ends the
// process with status 1.
AttributeList createAttributesVector(std::string keys);

// The optional -s<seed>: fixes the draws of the positives-ratio step, so that the same command
// writes the same file. Without it the draws follow the time, as main seeds them.
struct TallisSeed {
  bool given = false;
  unsigned value = 0;
};

// Reads -i, -o, -r, -p and the optional -s and -t (--as-of). A missing option prints "Error
// parsing options" and the options missing, an option the parser refuses its message, and
// either ends the process with status 2 (usage). Throws Exception for ratios that
// cannot give a split, for a seed that is not a whole number from 0 to 4294967295, for a
// decision time other than log, submit or start and for keys the decision time cannot have
// (see checkDecisionTime). seed and asOf,
// when given, receive the -s and -t values.
void parseOptions(int argc, char** argv, AttributeList& inputs, AttributeList& outputs,
                  double& trainingRatio, double& validationRatio, double& testRatio,
                  double& positivesRatio, TallisSeed* seed = nullptr, DecisionTime* asOf = nullptr);

// Throws Exception when an input is not known at the decision time (a wait at submission, a
// status before the end) or a key exists only at a decision time and `when` is log order.
void checkDecisionTime(const AttributeList& inputs, const AttributeList& outputs,
                       DecisionTime when);

// Everything main does after seeding rand() with the time (a -s seed replaces it); returns the
// exit status.
int runTallis(int argc, char** argv);
