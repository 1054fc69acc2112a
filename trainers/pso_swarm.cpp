// The particle swarm: positions, velocities and the best positions found so far.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <sstream>
#include <string>

#include "common/fatal.h"
#include "common/ombra_status.h"
#include "trainers/pso.h"

namespace {
// rand() returns 0 .. 2^31 - 1; scaled by 2^-31 it lies in [0, 1).
const double kRandScale = 1.0 / 2147483648.0;
}  // namespace

ParticleSwarm::ParticleSwarm(const PSOParameters& swarmParameters,
                             std::vector<float>& particlePositions)
    : parameters(swarmParameters), positions(particlePositions) {
  const int P = parameters.populationSize;
  const int D = parameters.dimension;
  const std::size_t coordinates = static_cast<std::size_t>(P) * D;
  velocities.assign(coordinates, 0.0f);
  personalBestPositions.assign(coordinates, 0.0f);
  personalBestFitnesses.assign(P, 0.0f);
  globalBestPosition.assign(D, 0.0f);

  // A span beyond the float range (-3e38 to 3e38) would start the particles at infinity.
  const float span = parameters.upperLimit - parameters.lowerLimit;
  for (int p = 0; p < P; ++p) {
    for (int d = 0; d < D; ++d) {
      if (!(span > 0.0f) || std::isinf(span)) {
        std::ostringstream limits;
        limits << ": Lower limit " << parameters.lowerLimit << ", Upper limit "
               << parameters.upperLimit
               << (span > 0.0f ? " (their span exceeds the float range)"
                               : " (the initial positions need Lower below Upper)");
        fatal("Wrong boundary" + limits.str(), ombra_status::kWrongBoundary);
      }
      const std::size_t i = static_cast<std::size_t>(p) * D + d;
      const int r1 = std::rand();
      const int r2 = std::rand();
      positions[i] = static_cast<float>(r1 * kRandScale * span + parameters.lowerLimit);
      // Uniform in [-span, span).
      velocities[i] = static_cast<float>(r2 * kRandScale * span * 2.0 - span);
    }
    personalBestFitnesses[p] = FLT_MAX;
  }
  globalBestFitness = FLT_MAX;
}

void ParticleSwarm::updateFitnesses(const std::vector<float>& fitnesses) {
  const int P = parameters.populationSize;
  const int D = parameters.dimension;
  if (fitnesses.size() != static_cast<std::size_t>(P)) {
    fatal("Wrong number of fitnesses. " + std::to_string(fitnesses.size()) + " for " +
              std::to_string(P) + " particles",
          ombra_status::kWrongNumberOfFitnesses);
  }
  // Strict comparisons: a tie keeps the earlier best, so the lowest-numbered particle wins.
  for (int p = 0; p < P; ++p) {
    if (!(personalBestFitnesses[p] > fitnesses[p])) continue;
    const auto particle = positions.begin() + static_cast<std::ptrdiff_t>(p) * D;
    std::copy(particle, particle + D,
              personalBestPositions.begin() + static_cast<std::ptrdiff_t>(p) * D);
    personalBestFitnesses[p] = fitnesses[p];
    if (globalBestFitness > fitnesses[p]) {
      std::copy(particle, particle + D, globalBestPosition.begin());
      globalBestFitness = fitnesses[p];
    }
  }
}

void ParticleSwarm::drawAhead() {
  drawn.resize(2 * velocities.size());
  for (int& draw : drawn) draw = std::rand();
}

void ParticleSwarm::nextIteration() {
  ++iterationCount;
  updateVelocities();
  updatePositions();
}

void ParticleSwarm::updateVelocities() {
  const int D = parameters.dimension;
  const std::size_t coordinates = velocities.size();
  const double omega = parameters.omega;
  const double phiP = parameters.phiP;
  const double phiG = parameters.phiG;
  const float maxSpeed = parameters.maxSpeed;
  // v = omega*v + r1*phiP*(personal best - x) + r2*phiG*(global best - x), in double,
  // two fresh draws per coordinate, then limited to maxSpeed in either direction.
  const bool ahead = !drawn.empty();
  for (std::size_t i = 0; i < coordinates; ++i) {
    const double x = positions[i];
    const double r1 = (ahead ? drawn[2 * i] : std::rand()) * kRandScale;
    const double r2 = (ahead ? drawn[2 * i + 1] : std::rand()) * kRandScale;
    const double v = omega * velocities[i] + r1 * phiP * (personalBestPositions[i] - x) +
                     r2 * phiG * (globalBestPosition[i % D] - x);
    velocities[i] = static_cast<float>(v);
    if (std::fabs(velocities[i]) > maxSpeed) velocities[i] = std::copysign(maxSpeed, velocities[i]);
  }
  drawn.clear();  // keeps its memory for the next drawAhead
}

void ParticleSwarm::updatePositions() {
  const std::size_t coordinates = velocities.size();
  for (std::size_t i = 0; i < coordinates; ++i) positions[i] = positions[i] + velocities[i];
}
