#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "nn/network.h"
#include "trainer_table/trainer_kind.h"

// The ombra command line: training mode (4 or 5 arguments) or prediction mode (1 argument);
// "--help" or "-h" alone prints the usage and the trainers, "--version" alone the version.
// trainers lists the network kinds in lookup order (the trainer table). Returns the exit
// status.
int runOmbra(int argc, char** argv, const std::vector<TrainerKind>& trainers);

// Reads one input vector after another from in and writes the network's outputs to out.
// Returns 0 at the end of the input; a value that is not a number is fatal.
int predictionLoop(NN& network, std::istream& in, std::ostream& out);
