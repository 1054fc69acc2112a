#pragma once

// The eight trainers, one row each: the one place that knows their names, classes, type
// numbers and the orders in which ombra, ombra-timings and the result files list them.

#include <string>
#include <vector>

#include "nn/network.h"
#include "trainer_table/trainer_kind.h"

// Every trainer, in the order ombra looks a <NN_type> up.
const std::vector<TrainerKind>& trainerTable();

// The number of trainers; ombra-timings numbers them 0 to kTrainerTypeCount - 1.
constexpr int kTrainerTypeCount = 8;

// The row of an ombra-timings type number; nullptr outside 0..7.
const TrainerKind* trainerOfType(int timingsType);
// The row named name exactly (case-sensitive); nullptr when there is none.
const TrainerKind* trainerNamed(const std::string& name);
// The row whose class network is, exactly (not a class derived from it); nullptr if none.
const TrainerKind* trainerOfNetwork(const NN& network);

// The trainers of a family in the order of the experiment drivers' series.
std::vector<const TrainerKind*> driverSeries(TrainerFamily family);
// The particle swarms in the order fastestParticleSwarm builds and times them.
std::vector<const TrainerKind*> swarmRace();
