#include "trainer_table/trainer_table.h"

#include <algorithm>
#include <memory>
#include <typeinfo>

#include "opencl/bp_opencl.h"
#include "opencl/pso_opencl.h"
#include "trainers/bp.h"
#include "trainers/pso.h"

namespace {

template <class Network>
std::unique_ptr<NN> create(const std::string& configurationFileName,
                           const std::string& trainingDataFileName,
                           const std::string& parametersFileName) {
  return std::make_unique<Network>(configurationFileName, trainingDataFileName, parametersFileName);
}

using F = TrainerFamily;
using D = TrainerDevice;
using K = SwarmKernel;

// One row: the class, its name on the command lines and in messages, what it is, its
// ombra-timings type number, its place in the experiment drivers' series and the suffix of
// its result file there, and its place in the particle-swarm race (-1: none).
template <class Network>
TrainerKind row(const char* name, const char* className, F family, D device, K kernel,
                int timingsType, int driverPosition, const char* resultSuffix, int racePosition) {
  return {name,           className,       family,           device,
          kernel,         create<Network>, &typeid(Network), timingsType,
          driverPosition, resultSuffix,    racePosition};
}

// In the order ombra looks a <NN_type> up.
const std::vector<TrainerKind> kTrainers = {
    row<NN_PSO>("PSO", "NN_PSO", F::particleSwarm, D::host, K::none, 0, 0, "_PSO CPU.csv", 0),
    row<NN_PSO_OpenCL_GPU_local>("PSO_local_GPU", "NN_PSO_OpenCL_GPU_local", F::particleSwarm,
                                 D::openClGpu, K::localMemory, 3, 1, "_PSO local GPU.csv", 3),
    row<NN_PSO_OpenCL_CPU_local>("PSO_local_CPU", "NN_PSO_OpenCL_CPU_local", F::particleSwarm,
                                 D::openClCpu, K::localMemory, 4, 3, "_PSO local CPU.csv", 1),
    row<NN_PSO_OpenCL_GPU_private>("PSO_private_GPU", "NN_PSO_OpenCL_GPU_private", F::particleSwarm,
                                   D::openClGpu, K::privateMemory, 1, 2, "_PSO private GPU.csv", 4),
    row<NN_PSO_OpenCL_CPU_private>("PSO_private_CPU", "NN_PSO_OpenCL_CPU_private", F::particleSwarm,
                                   D::openClCpu, K::privateMemory, 2, 4, "_PSO private CPU.csv", 2),
    row<NN_BP>("BP", "NN_BP", F::backPropagation, D::host, K::none, 5, 0, "_BP CPU.csv", -1),
    row<NN_BP_OpenCL_GPU>("BP_GPU", "NN_BP_OpenCL_GPU", F::backPropagation, D::openClGpu, K::none,
                          6, 1, "_BP OpenCL GPU.csv", -1),
    row<NN_BP_OpenCL_CPU>("BP_CPU", "NN_BP_OpenCL_CPU", F::backPropagation, D::openClCpu, K::none,
                          7, 2, "_BP OpenCL CPU.csv", -1),
};

// The rows that keep accepts, by the position column given.
template <class Keep>
std::vector<const TrainerKind*> rowsInOrder(Keep keep, int TrainerKind::*position) {
  std::vector<const TrainerKind*> rows;
  for (const TrainerKind& trainer : kTrainers) {
    if (keep(trainer)) rows.push_back(&trainer);
  }
  std::sort(rows.begin(), rows.end(), [position](const TrainerKind* a, const TrainerKind* b) {
    return a->*position < b->*position;
  });
  return rows;
}

}  // namespace

const std::vector<TrainerKind>& trainerTable() { return kTrainers; }

const TrainerKind* trainerOfType(int timingsType) {
  for (const TrainerKind& trainer : kTrainers) {
    if (trainer.timingsType == timingsType) return &trainer;
  }
  return nullptr;
}

const TrainerKind* trainerNamed(const std::string& name) {
  for (const TrainerKind& trainer : kTrainers) {
    if (name == trainer.name) return &trainer;
  }
  return nullptr;
}

const TrainerKind* trainerOfNetwork(const NN& network) {
  for (const TrainerKind& trainer : kTrainers) {
    if (typeid(network) == *trainer.type) return &trainer;
  }
  return nullptr;
}

std::vector<const TrainerKind*> driverSeries(TrainerFamily family) {
  return rowsInOrder([family](const TrainerKind& t) { return t.family == family; },
                     &TrainerKind::driverPosition);
}

std::vector<const TrainerKind*> swarmRace() {
  return rowsInOrder([](const TrainerKind& t) { return t.racePosition >= 0; },
                     &TrainerKind::racePosition);
}
