#pragma once

// The files the experiment drivers read from the working directory, made from a workload log
// with tallis: the training data files and, where missing, the parameters files and the
// sample-size network.

#include <string>
#include <vector>

// The tallis attribute keys of the timing data: nine inputs (requested processors and time,
// the recent history of the user and the application), one output (the job's status).
extern const char kTimingInputKeys[];
extern const char kTimingOutputKeys[];

// tallis beside this program (build/tallis when the program is build/ombra-timings),
// else plain "tallis" for the search path.
std::string defaultTallisPath();

// The argument vector of the tallis run that turns logFile into trainingDataFile.
std::vector<std::string> tallisArguments(const std::string& tallisPath, const std::string& logFile,
                                         const std::string& positivesRatio,
                                         const std::string& trainingDataFile);

// Runs a program with arguments (arguments[0] is the program, looked up on the search path
// when it has no slash) and waits for it. Returns its exit status, or -1 when it could not be
// started or did not exit normally; why is then in error.
int runProgram(const std::vector<std::string>& arguments, std::string& error);

// Runs tallis on logFile into the drivers' first training data file, copies that file to the
// other three names, and writes the parameters files and the sample-size network that do not
// exist yet (existing ones are kept: they may hold tuned values). Prints what it did.
// Returns 0, or 1 with a message on standard error when tallis fails or a file cannot be
// written.
int makeTimingData(const std::string& tallisPath, const std::string& logFile,
                   const std::string& positivesRatio);

// The training data files of trainOnDataSets: for every data set name, the log
// logDirectory/name (or name.gz) through tallis into name + suffix in the working directory.
// Every log is looked up before tallis runs. Returns 0, or 1 with a message on standard error
// when a log is missing or tallis fails.
int makeDataSetFiles(const std::string& tallisPath, const std::string& logDirectory,
                     const std::string& suffix, const std::string& positivesRatio);
