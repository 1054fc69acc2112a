#pragma once

#include <string>

// Parameters of the back-propagation trainers, read from an algorithm parameters file.
struct BPParameters {
  float learningRate = 0.02f;
  int stripLength = 10;
  float lowerLimit = -1.0f;
  float upperLimit = 1.0f;
  int iterations = 0;  // epoch limit; 0 = none
  float mse = 0.0f;    // target validation error; 0 = none
  float time = 60.0f;  // seconds; 0 = none
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
};

BPParameters readBPParameters(const std::string& fileName);
PSOParameters readPSOParameters(const std::string& fileName);
// True when key immediately followed by ':' occurs in line; value then holds the number after it.
bool readParameter(const std::string& line, const std::string& key, double& value);

void printParameters(const BPParameters& parameters);
void printParameters(const PSOParameters& parameters);

// Overwrites every element with lower + rand() * (upper - lower) * 2^-31.
void fillUniform(float* values, int count, float lower, float upper);
