#pragma once

#include <optional>
#include <string>
#include <vector>

// Options of both training loops beyond their original algorithms. Each is in force only when
// its key is given, so a file without these keys trains and prints exactly as before.
struct TrainingOptions {
  std::optional<unsigned> seed;     // "Seed": srand(seed) when train() starts
  std::optional<bool> selectByAuc;  // "Select by AUC": keep the weights of the best
                                    // validation ROC AUC instead of the lowest validation MSE
  bool ranksByAuc() const { return selectByAuc.value_or(false); }
};

// Parameters of the back-propagation trainers, read from an algorithm parameters file.
struct BPParameters {
  float learningRate = 0.02f;
  int stripLength = 10;
  float lowerLimit = -1.0f;
  float upperLimit = 1.0f;
  int iterations = 0;  // epoch limit; 0 = none
  float mse = 0.0f;    // target validation error; 0 = none
  float time = 60.0f;  // seconds; 0 = none
  TrainingOptions options;
  std::optional<float> momentum;        // "Momentum", in [0, 1): velocity = m * velocity + change
  std::optional<bool> shuffle;          // "Shuffle": a new random sample order every epoch
  std::optional<bool> crossEntropy;     // "Cross entropy": output error term t' - a (log-loss)
  std::optional<float> positiveWeight;  // "Positive weight", > 0: factor of the output error
                                        // terms of targets above 0.5
  std::string fileName;                 // the file read, for the messages of train()
};

// Parameters of the particle-swarm trainers.
struct PSOParameters {
  int populationSize = 64;
  int dimension = 0;  // set by the trainer: numberOfWeights()
  float lowerLimit = -1.0f;
  float upperLimit = 1.0f;
  float phiP = 1.49618f;
  float phiG = 1.49618f;
  float omega = 0.72984f;
  float maxSpeed = 2.0f;
  int stripLength = 10;
  int iterations = 0;
  float mse = 0.0f;
  float time = 60.0f;
  TrainingOptions options;
};

BPParameters readBPParameters(const std::string& fileName);
PSOParameters readPSOParameters(const std::string& fileName);
// True when key immediately followed by ':' occurs in line; value then holds the number after it.
bool readParameter(const std::string& line, const std::string& key, double& value);

// The parameter blocks; a line per training option follows only for the options given.
void printParameters(const BPParameters& parameters);
void printParameters(const PSOParameters& parameters);

// For the OpenCL trainers, whose kernels replace the steps: ends the process (-238) when the
// parameters name an option that the steps of `trainers` (their names, for the message) do
// not implement. Seed, Shuffle and (for back-propagation) Select by AUC work through the
// shared training loop and are accepted; Momentum, Cross entropy and Positive weight live in
// the CPU steps, and the swarm kernels keep the particles' outputs on the device, out of reach
// of AUC selection.
void refuseOptionsOfTheCpuSteps(const BPParameters& parameters, const std::string& trainers);
void refuseOptionsOfTheCpuSteps(const PSOParameters& parameters, const std::string& trainers);

// Ends the process (-238) when the parameters cannot train a network: a learning rate of 0 or
// less (a key without a number gives 0) or above 100, a lower weight limit above the upper.
// Checked when training starts, so that the reader keeps the file's values as they read.
void requireTrainableParameters(const BPParameters& parameters);

// srand(seed) when the options name a seed; otherwise the draws go on from main's seed.
void seedRandomDraws(const TrainingOptions& options);

// Overwrites every element with lower + rand() * (upper - lower) * 2^-31.
void fillUniform(float* values, int count, float lower, float upper);

// Permutes order in place with rand(): for i = n-1 down to 1, swap element i with element
// rand() % (i + 1) (Fisher-Yates; the modulo's bias is below n / 2^31).
void shuffleOrder(std::vector<int>& order);
