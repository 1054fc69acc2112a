#pragma once

// What a row of the trainer table says about one trainer. The table itself (trainer_table.h)
// needs every trainer class; this header needs none, so the driver can take the table without
// depending on the trainers.

#include <memory>
#include <string>
#include <typeinfo>

#include "nn/network.h"

enum class TrainerFamily { backPropagation, particleSwarm };
enum class TrainerDevice { host, openClCpu, openClGpu };  // host: no OpenCL at all
enum class SwarmKernel { none, privateMemory, localMemory };

// The constructor of a trainer class: configuration, training data and parameters file names.
using NetworkConstructor = std::unique_ptr<NN> (*)(const std::string& configurationFileName,
                                                   const std::string& trainingDataFileName,
                                                   const std::string& parametersFileName);

struct TrainerKind {
  const char* name;       // <NN_type> on ombra's command line, --type of ombra-timings
  const char* className;  // the class the row constructs
  TrainerFamily family;
  TrainerDevice device;
  SwarmKernel kernel;
  NetworkConstructor create;  // nullptr: not built into this program
  const std::type_info* type;
  int timingsType;           // the type number of ombra-timings and createNetwork
  int driverPosition;        // place in the experiment drivers' series of its family
  const char* resultSuffix;  // the drivers' result file: prefix + suffix
  int racePosition;          // place in fastestParticleSwarm's race; -1: not raced
};

// "particle swarm, OpenCL local-memory kernel, GPU device" and the like.
std::string describeTrainer(const TrainerKind& trainer);
