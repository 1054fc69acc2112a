#pragma once

// The ombra-timings command line: one subcommand per timing experiment and per experiment
// driver, plus make-data, which builds the drivers' files from a workload log with tallis.
//
// Every argument is checked before anything runs: a bad one prints a message and a hint on
// standard error and returns kUsageStatus, with no result file touched. Help (--help or -h,
// for the program or a subcommand) goes to standard output and returns 0. Failures while an
// experiment runs end the process with the status of the failing step, as in ombra.

#include "experiments/exit_status.h"

// Everything main does after seeding rand(); returns the exit status.
int runTimings(int argc, const char* const* argv);
