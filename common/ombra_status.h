#pragma once
// Every exit status of ombra, named once: the network core, the trainers and the OpenCL
// trainers all end through fatal(message, status) with one of these. Scripts tell failures
// apart by them, so a value never changes. The shell sees a status modulo 256 (-1 is 255, 973
// is 205, 847 is 79). Kept here, beside fatal, because the memory budget's out-of-memory end
// (memory_limit.cpp) already uses one.

namespace ombra_status {

// The queries ended with the input.
constexpr int kDone = 0;
// The command line, the network file, a query, an output file, out of memory, diverged
// training, and every other failure without a status of its own.
constexpr int kFailure = -1;

// Input files.
constexpr int kConfigurationFile = -3;  // cannot be opened, or not a usable topology
constexpr int kTrainingDataFile = -7;   // cannot be opened or read
constexpr int kSizeMismatch = -149;     // the file's sizes differ from the configuration's
constexpr int kDamagedSamples = 136;    // "Something is wrong with the samples", bad ranges
constexpr int kSetSizes = 173;          // "Wrong training/validation/test set size"
constexpr int kParametersFile = -238;   // cannot be opened, a refused key or value

// Training.
constexpr int kNoTerminatingConditions = -79;  // also a limit that can never be reached
constexpr int kWrongBoundary = -113;           // the swarm's initial positions have no span
constexpr int kWrongNumberOfFitnesses = -243;

// OpenCL environment.
constexpr int kPlatformIds = 538;
constexpr int kPlatformIdsReport = 539;  // the same query for printPlatformsInfo
constexpr int kCreateContext = 550;
constexpr int kCreateQueue = 553;
constexpr int kCreateBuffer = 636;
constexpr int kProgramFile = 356;
constexpr int kUnknownSamples = 395;  // deviceBufferFor given another vector
constexpr int kBuild = 527;
constexpr int kCreateProgram = 721;
constexpr int kNoDevice = 973;
constexpr int kWorkGroupQuery = 845;

// OpenCL back-propagation.
constexpr int kBpBuffers = 638;
constexpr int kForwardKernel = 833;
constexpr int kBackwardKernel = 233;
constexpr int kApplyKernel = 222;
constexpr int kBpKernelArguments = 547;
constexpr int kForwardArguments = 557;
constexpr int kBackwardArguments = 551;
constexpr int kRunBpKernel = 357;
constexpr int kReadWeights = 1671;
constexpr int kWriteWeights = 151;
constexpr int kCopyInput = 155;
constexpr int kWaitSteps = 558;
constexpr int kWaitEpoch = 559;
constexpr int kRunEpoch = 560;
constexpr int kEpochArguments = 561;
constexpr int kWriteOrder = 562;
constexpr int kEpochKernel = 564;
constexpr int kBatchArguments = 565;
constexpr int kRunBatch = 566;
constexpr int kReadOutputs = 567;
constexpr int kBatchKernel = 568;

// OpenCL particle swarm.
constexpr int kPsoBuffers = 639;
constexpr int kMseKernel = 873;
constexpr int kMseArguments = 366;
constexpr int kSimulationKernel = 897;
constexpr int kSimulationArguments = 548;
constexpr int kSimulationArgumentsPerRun = 151;
constexpr int kPsoWriteWeights = 152;
constexpr int kRunSimulation = 504;
constexpr int kSubmitSwarm = 563;
constexpr int kRunMse = 466;
constexpr int kReadMses = 670;
constexpr int kLocalGroupQuery = 843;
constexpr int kPrivateGroupQuery = 844;
constexpr int kLocalMemory = 846;
constexpr int kPrivateMemory = 847;

}  // namespace ombra_status
