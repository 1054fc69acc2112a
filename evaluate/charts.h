#pragma once
// PNG charts of the evaluated samples, drawn by gnuplot: ROC, precision-recall, cumulative
// gains and calibration (reliability), every model on the same axes with a legend. Files:
// PREFIX-roc.png, PREFIX-pr.png, PREFIX-gains.png, PREFIX-calibration.png.

#include <string>
#include <vector>

#include "evaluate/metrics.h"

struct ChartModel {
  std::string name;
  const ScoredSamples* samples;
  const Ranking* ranking;
};

// What stands in the way of writing charts under prefix (gnuplot missing, no writable folder,
// no file name, a chart that would replace one of the inputs, a directory or a file the user
// could not write), or "" when nothing does; checked before any work.
std::string chartsProblem(const std::string& prefix, const std::vector<std::string>& inputs);

// The four files, each renamed into place once gnuplot has drawn all of them, so a failure
// leaves earlier charts as they were. Fatal (status 1) when gnuplot fails.
void writeCharts(const std::string& prefix, const std::vector<ChartModel>& models,
                 const std::string& setName);

// The chart names, in the order they are written ("roc", "pr", "gains", "calibration").
const std::vector<std::string>& chartNames();
