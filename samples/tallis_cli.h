#pragma once
// The tallis command line: options, attribute key lists, and the run from log to file.

#include <string>
#include <vector>

#include "samples/attributes.h"

void printUsageInformation();

// The functions of a comma-separated key list, after printing an "atrib[" line per key.
// An unknown key prints "Wrong attribute function" and ends the process with status 1.
std::vector<AttributeFunction> createAttributesVector(std::string keys);

// Reads -i, -o, -r and -p. A missing option prints "Error parsing options" and ends the
// process with status 0. Throws Exception for ratios that cannot give a split, and lets the
// option parser's own errors through.
void parseOptions(int argc, char** argv, std::vector<AttributeFunction>& inputs,
                  std::vector<AttributeFunction>& outputs, double& trainingRatio,
                  double& validationRatio, double& testRatio, double& positivesRatio);

// Everything main does after seeding rand(); returns the exit status.
int runTallis(int argc, char** argv);
