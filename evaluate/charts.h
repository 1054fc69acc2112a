#pragma once
// PNG charts of the evaluated samples, drawn by gnuplot: ROC (beside it the same curves on a
// log-scaled false-positive rate), precision-recall, cumulative gains and calibration
// (reliability, bins of about equal count), every model on the same axes with its own dash
// and point type and, in the legend, its AUC (Brier score for calibration). Files:
// PREFIX-roc.png, PREFIX-pr.png, PREFIX-gains.png, PREFIX-calibration.png.

#include <string>
#include <vector>

#include "evaluate/metrics.h"

struct ChartModel {
  std::string name;
  const ScoredSamples* samples;
  const Ranking* ranking;
  // Drawn on the calibration chart only (a calibrated network: its other curves are the
  // network's own).
  bool calibrationOnly = false;
};

// What stands in the way of writing charts under prefix (gnuplot missing, no writable folder,
// no file name, a chart that would replace one of the inputs, a directory or a file the user
// could not write), or "" when nothing does; checked before any work.
std::string chartsProblem(const std::string& prefix, const std::vector<std::string>& inputs);

// What the titles name: the evaluated set ("test", "validation") and the two files as the
// user named them, so that the charts of two runs tell which is which.
struct ChartLabels {
  std::string setName;
  std::string networkFile;
  std::string dataFile;
};

// The four files, each renamed into place once gnuplot has drawn all of them, so a failure
// leaves earlier charts as they were. Fatal (status 1) when gnuplot fails.
void writeCharts(const std::string& prefix, const std::vector<ChartModel>& models,
                 const ChartLabels& labels);

// The chart names, in the order they are written ("roc", "pr", "gains", "calibration").
const std::vector<std::string>& chartNames();
