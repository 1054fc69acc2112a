#include "trainer_table/trainer_kind.h"

std::string describeTrainer(const TrainerKind& trainer) {
  std::string text =
      trainer.family == TrainerFamily::backPropagation ? "back-propagation" : "particle swarm";
  if (trainer.device == TrainerDevice::host) return text + " on the CPU";
  const char* device = trainer.device == TrainerDevice::openClGpu ? "GPU" : "CPU";
  if (trainer.kernel == SwarmKernel::none) {
    return text + " through OpenCL on a " + device + " device";
  }
  const char* memory = trainer.kernel == SwarmKernel::localMemory ? "local" : "private";
  return text + ", OpenCL " + memory + "-memory kernel, " + device + " device";
}
