#pragma once

#include <string>
#include <vector>

#include "nn/network.h"
#include "trainers/parameters.h"

struct SwarmRecord;

// The swarm state of one training run. positions is the network's weights member:
// P particles of D coordinates, particle after particle.
class ParticleSwarm {
 public:
  ParticleSwarm(const PSOParameters& parameters, std::vector<float>& positions);
  void updateFitnesses(const std::vector<float>& fitnesses);
  void nextIteration();
  void updateVelocities();
  void updatePositions();

  const PSOParameters& parameters;
  int iterationCount = 0;
  std::vector<float>& positions;
  std::vector<float> velocities;
  std::vector<float> personalBestPositions;
  std::vector<float> personalBestFitnesses;
  std::vector<float> globalBestPosition;
  float globalBestFitness;
};

// Particle-swarm optimisation on the CPU. weights holds P*D floats; after simNNs over n
// samples, output k of particle p for sample s is outputs[(p*n + s)*m + k].
class NN_PSO : public virtual NN {
 public:
  NN_PSO(const std::string& configurationFileName, const std::string& trainingDataFileName,
         const std::string& parametersFileName);

  double train() override;
  void printInfo() override;
  double timeIterations(int n) override;
  virtual void simNNs(const std::vector<float>& inputs);
  virtual std::vector<float> mses(const std::vector<float>& targets);

  PSOParameters parameters;

 private:
  // The phases of train().
  void checkValidation(SwarmRecord& record);
  void printIterationProgress(const SwarmRecord& record, int iteration);
  // The status line on a terminal (nothing otherwise).
  void showIterationProgress(const SwarmRecord& record, int iteration, double seconds) const;
};
