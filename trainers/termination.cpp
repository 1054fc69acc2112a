#include "trainers/termination.h"

#include <cmath>
#include <iostream>
#include <sstream>
#include <string>

#include "common/fatal.h"
#include "common/ombra_status.h"
#include "common/terminal_progress.h"

void requireTerminatingCondition(int iterations, float mse, float time) {
  if (mse == 0.0f && iterations == 0 && time == 0.0f) {
    fatal(
        "No terminating conditions: Iterations, Time and MSE are all 0 in the parameters file "
        "(give one of them a value other than 0; a file naming none trains for 60 s)",
        ombra_status::kNoTerminatingConditions);
  }
}

void requireReachableLimit(int iterations, float mse, float time, int validationSamples) {
  if (iterations != 0 || time != 0.0f || mse == 0.0f || validationSamples > 0) return;
  fatal(
      "The MSE limit can never be reached: the training data file has no validation "
      "samples, and no Iterations or Time limit is set",
      ombra_status::kNoTerminatingConditions);
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
    fatal(message.str(), ombra_status::kFailure);
  }
}

bool trainingShouldEnd(float bestValidationError, int completed, double elapsedSeconds,
                       int iterations, float mse, float time) {
  if (mse != 0.0f && !(bestValidationError > mse)) return true;
  if (iterations != 0 && completed >= iterations) return true;
  if (time != 0.0f && elapsedSeconds >= time) return true;
  return false;
}

void showTrainingProgress(const char* pass, int completed, int iterations, double seconds,
                          float time, const char* figure, double best) {
  if (!progress::due()) return;
  std::ostringstream text;
  text << pass << ' ' << completed;
  if (iterations > 0) text << " of " << iterations;
  text.setf(std::ios::fixed);
  text.precision(1);
  text << ", " << seconds << " s";
  if (time > 0) text << " of " << time << " s";
  text.unsetf(std::ios::fixed);
  text.precision(6);
  if (best >= 0) text << ", best validation " << figure << ' ' << best;
  progress::show(text.str());
}

void clearTrainingProgress() { progress::clear(); }

void printProgress(int completed, double trainingError, double validationError, double bestError) {
  progress::clear();
  std::cout << "training mse[" << completed << "]= " << trainingError
            << "\t validation mse = " << validationError << "\t best mse = " << bestError
            << std::endl;
}

void printAucProgress(int completed, double trainingError, double validationAuc, double bestAuc) {
  progress::clear();
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
