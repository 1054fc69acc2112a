#pragma once

#include <iosfwd>
#include <string>

#include "nn/network.h"

// One row of the table of network kinds: the type name on the command line and the
// constructor of its class (configuration file, training data file, parameters file).
struct NetworkType {
  const char* name;
  NN* (*create)(const std::string& configurationFileName, const std::string& trainingDataFileName,
                const std::string& parametersFileName);
};

// The ombra command line: training mode (4 or 5 arguments) or prediction mode (1 argument).
// types lists the network kinds in lookup order. Returns the exit status.
int runOmbra(int argc, char** argv, const NetworkType* types, int typeCount);

// Reads one input vector after another from in and writes the network's outputs to out.
// Returns 0 at the end of the input; a value that is not a number is fatal.
int predictionLoop(NN& network, std::istream& in, std::ostream& out);
