// The particle-swarm trainer: construction, the training loop and its timing.
#include "trainers/pso.h"

#include <algorithm>
#include <cfloat>
#include <cstddef>

#include "nn/fatal.h"
#include "nn/memory_limit.h"
#include "trainers/stopwatch.h"
#include "trainers/termination.h"

NN_PSO::NN_PSO(const std::string& configurationFileName, const std::string& trainingDataFileName,
               const std::string& parametersFileName)
    : NN(configurationFileName, trainingDataFileName) {
  if (!parametersFileName.empty()) parameters = readPSOParameters(parametersFileName);
  parameters.dimension = numberOfWeights();
  const std::size_t P = static_cast<std::size_t>(parameters.populationSize);
  const int largestSet = std::max(
      {numberOfTestSamples(), numberOfValidationSamples(), numberOfTrainingSamples()});
  // Positions, velocities and best positions of every particle, and every particle's
  // outputs on the largest sample set: refused before any of it is allocated.
  const double swarmBytes =
      4.0 * (3.0 * P * parameters.dimension + static_cast<double>(outputSize()) * P * largestSet);
  if (!fitsInMemory(swarmBytes)) {
    fatal("Population size " + std::to_string(P) + " is too large for " +
              std::to_string(parameters.dimension) + " weights and " +
              std::to_string(largestSet) + " samples: the swarm needs " + mebibytes(swarmBytes) +
              ", more than the " + mebibytes(physicalMemoryBytes()) +
              " of memory of this machine",
          -238);
  }
  weights.assign(P * parameters.dimension, 0.0f);
  outputs.assign(static_cast<std::size_t>(outputSize()) * P * largestSet, 0.0f);
}

double NN_PSO::train() {
  requireTerminatingCondition(parameters.iterations, parameters.mse, parameters.time);
  requireReachableLimit(parameters.iterations, parameters.mse, parameters.time,
                        numberOfValidationSamples());
  Stopwatch total;
  total.start();
  Stopwatch training;
  // Per-step timers for profiling; quiet, so their labels never print.
  Stopwatch step;
  Stopwatch iterationWatch;
  step.setQuiet();
  iterationWatch.setQuiet();

  ParticleSwarm swarm(parameters, weights);
  const int D = parameters.dimension;
  std::vector<float> bestWeights(D, 0.0f);
  bool validationImproved = false;

  float best = FLT_MAX;
  float lastValidation = FLT_MAX;
  int iteration = 0;
  while (!trainingShouldEnd(best, iteration, total.elapsed(), parameters.iterations,
                            parameters.mse, parameters.time)) {
    if (iteration == 0) training.start();

    iterationWatch.start();
    step.start();
    simNNs(trainingInputs);
    step.stop();
    step.print("sim");
    step.start();
    const std::vector<float> fitnesses = mses(trainingTargets);
    step.stop();
    step.print("mses");
    step.start();
    swarm.updateFitnesses(fitnesses);
    step.stop();
    step.print("updateFitnesses");
    step.start();
    swarm.nextIteration();
    step.stop();
    step.print("next iter");
    iterationWatch.stop();
    iterationWatch.print("Total");
    ++iteration;

    // The particles are measured where the move left them, not at their best positions.
    if (parameters.stripLength > 0 && iteration % parameters.stripLength == 0 &&
        numberOfValidationSamples() > 0) {
      simNNs(validationInputs);
      const std::vector<float> errors = mses(validationTargets);
      const auto lowest = std::min_element(errors.begin(), errors.end());
      const float e = *lowest;
      if (best > e) {
        const auto particle = weights.begin() + (lowest - errors.begin()) * D;
        std::copy(particle, particle + D, bestWeights.begin());
        best = e;
        validationImproved = true;
      }
      lastValidation = e;
    }

    if (iteration % 100 == 0) {
      simNNs(trainingInputs);
      const std::vector<float> errors = mses(trainingTargets);
      const float t = *std::min_element(errors.begin(), errors.end());
      printProgress(iteration, t, lastValidation, best);
    }
  }
  training.stop();

  // Without an improving validation check (no validation samples, or too few iterations)
  // the network takes the swarm's best training position rather than untrained zeros; if
  // no fitness was ever recorded, particle 0's initial position stays where it is.
  if (validationImproved) {
    std::copy(bestWeights.begin(), bestWeights.end(), weights.begin());
  } else if (swarm.globalBestFitness < FLT_MAX) {
    std::copy(swarm.globalBestPosition.begin(), swarm.globalBestPosition.end(),
              weights.begin());
  }
  requireFiniteWeights(weights.data(), D, iteration, "iteration");
  return training.elapsed();
}

double NN_PSO::timeIterations(int n) {
  return secondsPerIteration(parameters, n, [this] { return train(); });
}

void NN_PSO::printInfo() {
  NN::printInfo();
  printParameters(parameters);
}
