#include "trainers/termination.h"

#include <cmath>
#include <iostream>
#include <sstream>
#include <string>

#include "nn/fatal.h"

void requireTerminatingCondition(int iterations, float mse, float time) {
  if (mse == 0.0f && iterations == 0 && time == 0.0f) fatal("No terminating conditions", -79);
}

void requireReachableLimit(int iterations, float mse, float time, int validationSamples) {
  if (iterations != 0 || time != 0.0f || mse == 0.0f || validationSamples > 0) return;
  fatal(
      "The MSE limit can never be reached: the training data file has no validation "
      "samples, and no Iterations or Time limit is set",
      -79);
}

void requireFiniteWeights(const float* weights, int count, int completed, const char* pass) {
  for (int k = 0; k < count; ++k) {
    if (std::isfinite(weights[k])) continue;
    std::ostringstream message;
    message << "Training diverged by " << pass << " " << completed << ": weight " << k + 1 << " of "
            << count << " is "
            << (std::isnan(weights[k]) ? "nan"
                : weights[k] > 0       ? "inf"
                                       : "-inf")
            << "; nothing is saved";
    fatal(message.str(), -1);
  }
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

void printAucProgress(int completed, double trainingError, double validationAuc, double bestAuc) {
  auto figure = [](double auc) {
    std::ostringstream text;
    if (auc >= 0) {
      text << auc;
    } else {
      text << "n/a";  // nan, or the -1 of a record without a check
    }
    return text.str();
  };
  std::cout << "training mse[" << completed << "]= " << trainingError
            << "\t validation AUC = " << figure(validationAuc)
            << "\t best AUC = " << figure(bestAuc) << std::endl;
}
