#pragma once
// The figures of one model on the evaluated samples, and the table that shows them.

#include <iosfwd>
#include <string>
#include <vector>

#include "evaluate/importance.h"
#include "evaluate/metrics.h"

struct ModelFigures {
  std::string name;
  double rocAuc, averagePrecision, brier, logLoss;
  double tprAtFpr[3];  // at false-positive rates of 1 %, 5 % and 10 %
  double liftTop10;
  Confusion atHalf;     // threshold 0.5
  float bestThreshold;  // best F1 on the validation samples; nan without them
  Confusion atBest;
};

// validation may be empty (no validation samples): no best threshold then.
ModelFigures figuresOf(const std::string& name, const ScoredSamples& evaluated,
                       const Ranking& ranking, const ScoredSamples& validation);

// One row per model, in the given order, with a legend.
void printTable(std::ostream& out, const std::vector<ModelFigures>& models);
// The confusion counts of one model at 0.5 and at its best validation threshold.
void printConfusions(std::ostream& out, const ModelFigures& model, const std::string& setName);
void printImportance(std::ostream& out, const std::vector<Importance>& rows, int shuffles,
                     unsigned seed, const std::string& setName);

// value with `decimals` digits after the point, or "n/a" when it is not a number.
std::string fixed(double value, int decimals);
