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
  // Draws now, in the same order, the two random numbers per coordinate that the next
  // updateVelocities takes: they do not depend on the fitnesses, so a trainer whose evaluation
  // runs elsewhere (an OpenCL device) draws them while it waits, with identical results.
  void drawAhead();
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

 private:
  std::vector<int> drawn;  // rand() results of drawAhead, two per coordinate; empty: none
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

 protected:
  // Whether simNNs returns before the evaluation is done; the loop then draws the swarm's next
  // random numbers (ParticleSwarm::drawAhead) before asking for the errors.
  virtual bool evaluatesInBackground() const { return false; }

 private:
  // The phases of train().
  void checkValidation(SwarmRecord& record);
  void printIterationProgress(const SwarmRecord& record, int iteration);
  // The status line on a terminal (nothing otherwise).
  void showIterationProgress(const SwarmRecord& record, int iteration, double seconds) const;
};
