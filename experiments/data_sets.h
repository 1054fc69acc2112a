#pragma once

#include <string>
#include <vector>

#include "nn/network.h"

// The data sets of trainOnDataSets, in training order: the training data file of each is
// its name followed by a suffix.
extern const char* const kDataSetNames[7];

// Trains network and prints "Elapsed = <t> s", "Test set MSE= <mse>" and, after the count
// lines of truePositiveRate, "Test set TPR= <rate>".
void trainAndReport(NN& network);

// For every data set: trains an NN_PSO_OpenCL_GPU_local on name + suffix, prints the time
// and the test figures, writes name + suffix + "lift chart.cvs" and saves the network to
// name + suffix + "weights.wgh".
void trainOnDataSets(const std::string& suffix, const std::string& configFile,
                     const std::string& parametersFile);

// Builds the five particle-swarm networks in the order of swarmRace (the trainer table), times
// ten iterations of each, and returns the fastest; the other four are deleted. The caller
// owns the result.
NN* fastestParticleSwarm(const std::string& configFile, const std::string& trainingDataFile,
                         const std::string& parametersFile);

// The index of the smallest time. Only a strictly smaller time replaces the best so far, so
// the earlier entry wins a tie; with no time below the largest double (all infinite or not
// a number), index 0.
int indexOfFastest(const std::vector<double>& times);

// A new NN_PSO built from the three files; the caller owns it.
NN* createParticleSwarm(const std::string& configFile, const std::string& trainingDataFile,
                        const std::string& parametersFile);
