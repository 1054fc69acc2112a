#pragma once

#include <string>

// Experiment drivers: one experiment per trainer, in a fixed order, each writing its result to
// resultPrefix followed by the trainer's suffix ("_PSO CPU.csv", "_BP OpenCL GPU.csv", ...).
// The parameters and training data files are fixed names in the working directory, below.
// The first three use networks of 9 inputs and 1 output.

// Training data files, in the order of the drivers below.
extern const char kNeuronsInLayerData[];
extern const char kBPNeuronsInLayerData[];
extern const char kNumberOfLayersData[];
extern const char kSampleSizeData[];
// Algorithm parameters files, same order, and the sample-size driver's network.
extern const char kPSONeuronsInLayerParameters[];
extern const char kBPNeuronsInLayerParameters[];
extern const char kPSONumberOfLayersParameters[];
extern const char kPSOSampleSizeParameters[];
extern const char kSampleSizeConfiguration[];

// timeNeuronsInLayer with one hidden layer, for the five particle-swarm trainers.
void runPSONeuronsInLayerTimings(int first, int step, int last, int iterations,
                                 const std::string& resultPrefix, int trainingSamples);
// timeNeuronsInLayer for the three back-propagation trainers.
void runBPNeuronsInLayerTimings(int first, int step, int last, int iterations,
                                const std::string& resultPrefix, int hiddenLayers,
                                int trainingSamples);
// timeNumberOfLayers for the five particle-swarm trainers.
void runPSONumberOfLayersTimings(int first, int step, int last, int iterations,
                                 const std::string& resultPrefix, int hiddenNeurons,
                                 int trainingSamples);
// timeSampleSize for the five particle-swarm trainers, topology from
// nn_config_sample_size_timings.txt.
void runPSOSampleSizeTimings(int first, int step, int last, int iterations,
                             const std::string& resultPrefix);
