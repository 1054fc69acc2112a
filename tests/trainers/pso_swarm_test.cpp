#include <gtest/gtest.h>

#include <cfloat>
#include <cstdlib>
#include <vector>

#include "trainers/pso.h"

namespace {

const double kRandScale = 1.0 / 2147483648.0;

PSOParameters swarmParameters(int particles, int dimension) {
  PSOParameters parameters;
  parameters.populationSize = particles;
  parameters.dimension = dimension;
  return parameters;
}

TEST(ParticleSwarmConstruction, DrawsPositionThenVelocityForEveryCoordinate) {
  PSOParameters parameters = swarmParameters(2, 3);
  parameters.lowerLimit = -0.5f;
  parameters.upperLimit = 1.5f;
  std::vector<float> positions(6, 0.0f);
  std::srand(7);
  ParticleSwarm swarm(parameters, positions);

  std::srand(7);
  for (int i = 0; i < 6; ++i) {
    const int r1 = std::rand();
    const int r2 = std::rand();
    EXPECT_EQ(positions[i], static_cast<float>(r1 * kRandScale * 2.0 - 0.5)) << i;
    EXPECT_EQ(swarm.velocities[i], static_cast<float>(r2 * kRandScale * 2.0 * 2.0 - 2.0)) << i;
    EXPECT_GE(positions[i], -0.5f);
    EXPECT_LT(positions[i], 1.5f);
    EXPECT_GE(swarm.velocities[i], -2.0f);
    EXPECT_LT(swarm.velocities[i], 2.0f);
  }
  EXPECT_EQ(swarm.iterationCount, 0);
  EXPECT_EQ(swarm.personalBestPositions, std::vector<float>(6, 0.0f));
  EXPECT_EQ(swarm.personalBestFitnesses, std::vector<float>(2, FLT_MAX));
  EXPECT_EQ(swarm.globalBestPosition, std::vector<float>(3, 0.0f));
  EXPECT_EQ(swarm.globalBestFitness, FLT_MAX);
}

TEST(ParticleSwarmConstructionDeathTest, EqualOrInvertedLimitsAreAWrongBoundary) {
  PSOParameters parameters = swarmParameters(2, 3);
  std::vector<float> positions(6, 0.0f);
  parameters.lowerLimit = parameters.upperLimit = 0.25f;
  const std::string need = " \\(the initial positions need Lower below Upper\\)\n$";
  EXPECT_EXIT(ParticleSwarm(parameters, positions), ::testing::ExitedWithCode(-113 & 255),
              "^Wrong boundary: Lower limit 0.25, Upper limit 0.25" + need);
  parameters.lowerLimit = 1.0f;
  parameters.upperLimit = -1.0f;
  EXPECT_EXIT(ParticleSwarm(parameters, positions), ::testing::ExitedWithCode(-113 & 255),
              "^Wrong boundary: Lower limit 1, Upper limit -1" + need);
}

// A swarm of three particles in two dimensions at chosen positions.
class ParticleSwarmFitness : public ::testing::Test {
 protected:
  ParticleSwarmFitness()
      : parameters(swarmParameters(3, 2)), positions(6), swarm(parameters, positions) {
    positions = {1, 2, 3, 4, 5, 6};
  }
  PSOParameters parameters;
  std::vector<float> positions;
  ParticleSwarm swarm;
};

TEST_F(ParticleSwarmFitness, KeepsEveryParticlesBestAndTheLowestForTheSwarm) {
  swarm.updateFitnesses({0.5f, 0.25f, 0.75f});
  EXPECT_EQ(swarm.personalBestFitnesses, (std::vector<float>{0.5f, 0.25f, 0.75f}));
  EXPECT_EQ(swarm.personalBestPositions, (std::vector<float>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(swarm.globalBestFitness, 0.25f);
  EXPECT_EQ(swarm.globalBestPosition, (std::vector<float>{3, 4}));

  // Worse fitnesses change nothing; a better one moves only its own particle's best.
  positions = {10, 20, 30, 40, 50, 60};
  swarm.updateFitnesses({0.6f, 0.3f, 0.7f});
  EXPECT_EQ(swarm.personalBestPositions, (std::vector<float>{1, 2, 3, 4, 50, 60}));
  EXPECT_EQ(swarm.personalBestFitnesses, (std::vector<float>{0.5f, 0.25f, 0.7f}));
  EXPECT_EQ(swarm.globalBestPosition, (std::vector<float>{3, 4}));
}

TEST_F(ParticleSwarmFitness, ATieNeverReplacesABest) {
  // Particles 1 and 2 tie within one call: the lower number holds the swarm's best.
  swarm.updateFitnesses({0.5f, 0.25f, 0.25f});
  EXPECT_EQ(swarm.globalBestPosition, (std::vector<float>{3, 4}));

  // Particle 0 improves its own best to exactly the swarm's best: the swarm keeps particle 1.
  positions = {7, 8, 9, 10, 11, 12};
  swarm.updateFitnesses({0.25f, 0.25f, 0.9f});
  EXPECT_EQ(swarm.personalBestPositions[0], 7.0f);
  EXPECT_EQ(swarm.personalBestPositions[2], 3.0f);  // its own tie kept the old best
  EXPECT_EQ(swarm.globalBestPosition, (std::vector<float>{3, 4}));
  EXPECT_EQ(swarm.globalBestFitness, 0.25f);
}

TEST_F(ParticleSwarmFitness, DiesOnAFitnessVectorOfTheWrongLength) {
  EXPECT_EXIT(swarm.updateFitnesses({0.5f, 0.25f}), ::testing::ExitedWithCode(-243 & 255),
              "^Wrong number of fitnesses\\. 2 for 3 particles\n$");
  EXPECT_EXIT(swarm.updateFitnesses({0.5f, 0.25f, 0.1f, 0.2f}),
              ::testing::ExitedWithCode(-243 & 255),
              "^Wrong number of fitnesses\\. 4 for 3 particles\n$");
}

TEST(ParticleSwarmOneParticle, ItsOwnBestIsTheSwarmsBest) {
  PSOParameters parameters = swarmParameters(1, 4);
  std::vector<float> positions(4);
  std::srand(3);
  ParticleSwarm swarm(parameters, positions);
  for (float fitness : {0.8f, 0.9f, 0.4f}) {
    swarm.updateFitnesses({fitness});
    EXPECT_EQ(swarm.personalBestPositions, swarm.globalBestPosition);
    EXPECT_EQ(swarm.personalBestFitnesses[0], swarm.globalBestFitness);
    swarm.nextIteration();
  }
  EXPECT_EQ(swarm.globalBestFitness, 0.4f);
  EXPECT_EQ(swarm.iterationCount, 3);
}

// With omega 1 and both pulls off, the velocity before the limit is the old velocity.
TEST(ParticleSwarmVelocities, AreLimitedToTheMaximumSpeedWithTheirSign) {
  PSOParameters parameters = swarmParameters(1, 6);
  parameters.omega = 1.0f;
  parameters.phiP = 0.0f;
  parameters.phiG = 0.0f;
  std::vector<float> positions(6);
  ParticleSwarm swarm(parameters, positions);
  swarm.velocities = {2.5f, -3.0f, 1.9f, -1.9f, 2.0f, -2.0f};
  swarm.updateVelocities();
  EXPECT_EQ(swarm.velocities, (std::vector<float>{2.0f, -2.0f, 1.9f, -1.9f, 2.0f, -2.0f}));
}

TEST(ParticleSwarmVelocities, PullTowardsOwnAndSwarmBestWithTwoFreshDrawsPerCoordinate) {
  PSOParameters parameters = swarmParameters(2, 2);
  std::vector<float> positions(4);
  ParticleSwarm swarm(parameters, positions);
  positions = {0.5f, -0.5f, 0.25f, 0.0f};
  const std::vector<float> velocities = {0.1f, -0.2f, 0.3f, 0.0f};
  swarm.velocities = velocities;
  swarm.personalBestPositions = {1.0f, 0.0f, -1.0f, 0.5f};
  swarm.globalBestPosition = {-0.75f, 1.0f};

  std::srand(11);
  swarm.updateVelocities();
  const int afterwards = std::rand();
  // Drawn ahead (while a device evaluates): the same numbers in the same order, none later.
  const std::vector<float> drawnInline = swarm.velocities;
  swarm.velocities = velocities;
  std::srand(11);
  swarm.drawAhead();
  EXPECT_EQ(std::rand(), afterwards);
  swarm.updateVelocities();
  EXPECT_EQ(swarm.velocities, drawnInline);

  std::srand(11);
  for (int i = 0; i < 4; ++i) {
    const double x = positions[i];
    const double r1 = std::rand() * kRandScale;
    const double r2 = std::rand() * kRandScale;
    const double expected = double(parameters.omega) * velocities[i] +
                            r1 * parameters.phiP * (swarm.personalBestPositions[i] - x) +
                            r2 * parameters.phiG * (swarm.globalBestPosition[i % 2] - x);
    EXPECT_EQ(swarm.velocities[i], static_cast<float>(expected)) << i;
  }
  EXPECT_EQ(std::rand(), afterwards);  // exactly two draws per coordinate
}

TEST(ParticleSwarmMoves, PositionsAdvanceByTheirVelocitiesWithoutBounds) {
  PSOParameters parameters = swarmParameters(1, 3);
  std::vector<float> positions(3);
  ParticleSwarm swarm(parameters, positions);
  positions = {0.5f, 0.99f, -0.99f};
  swarm.velocities = {0.25f, 2.0f, -2.0f};
  swarm.updatePositions();
  EXPECT_EQ(positions, (std::vector<float>{0.75f, 2.99f, -2.99f}));
}

}  // namespace
