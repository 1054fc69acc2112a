// The particle-swarm trainer: construction, the training loop and its timing.
#include "trainers/pso.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>

#include "common/fatal.h"
#include "common/memory_limit.h"
#include "common/ombra_status.h"
#include "trainers/selection.h"
#include "trainers/stopwatch.h"
#include "trainers/termination.h"

NN_PSO::NN_PSO(const std::string& configurationFileName, const std::string& trainingDataFileName,
               const std::string& parametersFileName)
    : NN(configurationFileName, trainingDataFileName) {
  if (!parametersFileName.empty()) parameters = readPSOParameters(parametersFileName);
  parameters.dimension = numberOfWeights();
  const std::size_t P = static_cast<std::size_t>(parameters.populationSize);
  const int largestSet =
      std::max({numberOfTestSamples(), numberOfValidationSamples(), numberOfTrainingSamples()});
  // Positions, velocities and best positions of every particle, and every particle's
  // outputs on the largest sample set: refused before any of it is allocated.
  const double swarmBytes =
      4.0 * (3.0 * P * parameters.dimension + static_cast<double>(outputSize()) * P * largestSet);
  if (!fitsInMemory(swarmBytes)) {
    fatal("Population size " + std::to_string(P) + " is too large for " +
              std::to_string(parameters.dimension) + " weights and " + std::to_string(largestSet) +
              " samples: the swarm needs " + mebibytes(swarmBytes) + ", more than the " +
              mebibytes(physicalMemoryBytes()) + " of memory of this machine",
          ombra_status::kParametersFile);
  }
  weights.assign(P * parameters.dimension, 0.0f);
  outputs.assign(static_cast<std::size_t>(outputSize()) * P * largestSet, 0.0f);
}

// The particle weights the validation checks keep, and the figures the progress line shows.
struct SwarmRecord {
  float best = FLT_MAX;  // lowest validation MSE of a particle so far
  float lastValidation = FLT_MAX;
  double bestAuc = -1;  // highest validation ROC AUC of a particle so far ("Select by AUC")
  double lastAuc = std::nan("");
  std::vector<float> weights;
  bool improved = false;
};

double NN_PSO::train() {
  requireTerminatingCondition(parameters.iterations, parameters.mse, parameters.time);
  requireReachableLimit(parameters.iterations, parameters.mse, parameters.time,
                        numberOfValidationSamples());
  if (parameters.options.ranksByAuc()) requireRankableSamples(validationTargets, outputSize());
  seedRandomDraws(parameters.options);
  Stopwatch total;
  total.start();
  Stopwatch training;

  ParticleSwarm swarm(parameters, weights);
  const int D = parameters.dimension;
  SwarmRecord record;
  record.weights.assign(D, 0.0f);
  int iteration = 0;
  while (!trainingShouldEnd(record.best, iteration, total.elapsed(), parameters.iterations,
                            parameters.mse, parameters.time)) {
    if (iteration == 0) training.start();
    simNNs(trainingInputs);
    if (evaluatesInBackground()) swarm.drawAhead();
    swarm.updateFitnesses(mses(trainingTargets));
    swarm.nextIteration();
    ++iteration;
    // The particles are measured where the move left them, not at their best positions.
    if (parameters.stripLength > 0 && iteration % parameters.stripLength == 0 &&
        numberOfValidationSamples() > 0)
      checkValidation(record);
    if (iteration % 100 == 0) printIterationProgress(record, iteration);
    showIterationProgress(record, iteration, total.elapsed());
  }
  clearTrainingProgress();
  training.stop();

  // Without an improving validation check (no validation samples, or too few iterations)
  // the network takes the swarm's best training position rather than untrained zeros; if
  // no fitness was ever recorded, particle 0's initial position stays where it is.
  if (record.improved) {
    std::copy(record.weights.begin(), record.weights.end(), weights.begin());
  } else if (swarm.globalBestFitness < FLT_MAX) {
    std::copy(swarm.globalBestPosition.begin(), swarm.globalBestPosition.end(), weights.begin());
  }
  requireFiniteWeights(weights.data(), D, iteration, "iteration");
  return training.elapsed();
}

void NN_PSO::checkValidation(SwarmRecord& record) {
  const int D = parameters.dimension;
  simNNs(validationInputs);
  int particle = 0;
  if (parameters.options.ranksByAuc()) {
    // Each particle's outputs for the n samples follow one another: n * m floats apiece.
    const int n = numberOfValidationSamples();
    const size_t block = static_cast<size_t>(n) * outputSize();
    double highest = -1;
    for (int p = 0; p < parameters.populationSize; ++p) {
      const double auc =
          meanRocAuc(outputs.data() + p * block, validationTargets.data(), n, outputSize());
      if (auc > highest) {
        highest = auc;
        particle = p;
      }
    }
    record.lastAuc = highest;
    if (!(highest > record.bestAuc)) return;
    record.bestAuc = highest;
  } else {
    const std::vector<float> errors = mses(validationTargets);
    const auto lowest = std::min_element(errors.begin(), errors.end());
    record.lastValidation = *lowest;
    if (!(record.best > *lowest)) return;
    record.best = *lowest;
    particle = static_cast<int>(lowest - errors.begin());
  }
  const auto first = weights.begin() + static_cast<std::ptrdiff_t>(particle) * D;
  std::copy(first, first + D, record.weights.begin());
  record.improved = true;
}

void NN_PSO::showIterationProgress(const SwarmRecord& record, int iteration, double seconds) const {
  const bool auc = parameters.options.ranksByAuc();
  const double best = auc ? record.bestAuc : record.best < FLT_MAX ? record.best : -1;
  showTrainingProgress("iteration", iteration, parameters.iterations, seconds, parameters.time,
                       auc ? "AUC" : "MSE", best);
}

void NN_PSO::printIterationProgress(const SwarmRecord& record, int iteration) {
  simNNs(trainingInputs);
  const std::vector<float> errors = mses(trainingTargets);
  const float t = *std::min_element(errors.begin(), errors.end());
  if (parameters.options.ranksByAuc()) {
    printAucProgress(iteration, t, record.lastAuc, record.bestAuc);
  } else {
    printProgress(iteration, t, record.lastValidation, record.best);
  }
}

double NN_PSO::timeIterations(int n) {
  return secondsPerIteration(parameters, n, [this] { return train(); });
}

void NN_PSO::printInfo() {
  NN::printInfo();
  printParameters(parameters);
}
