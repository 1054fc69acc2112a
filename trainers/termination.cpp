#include "trainers/termination.h"

#include <iostream>

#include "nn/fatal.h"

void requireTerminatingCondition(int iterations, float mse, float time) {
  if (mse == 0.0f && iterations == 0 && time == 0.0f) fatal("No terminating conditions", -79);
}

bool trainingShouldEnd(float bestValidationError, int completed, double elapsedSeconds,
                       int iterations, float mse, float time) {
  if (mse != 0.0f && !(bestValidationError > mse)) return true;
  if (iterations != 0 && completed >= iterations) return true;
  if (time != 0.0f && elapsedSeconds >= time) return true;
  return false;
}

void printProgress(int completed, double trainingError, double validationError, double bestError) {
  std::cout << "training mse[" << completed << "]= " << trainingError
            << "\t validation mse = " << validationError << "\t best mse = " << bestError
            << std::endl;
}
