#pragma once
// Selection by ranking: how well a network's outputs rank the validation samples, for the
// "Select by AUC" option of both training loops.

#include <vector>

// The ROC AUC of n scores against their targets: the chance that a sample whose target is
// above 0.5 (a failed or cancelled job) scores above one whose target is not, ties counting
// one half (the Mann-Whitney statistic). Scores and targets are read every stride floats.
// nan when either class is missing.
double rocAuc(const float* scores, const float* targets, int n, int stride);

// The mean over the m outputs of n samples (m values per sample, row-major, for scores and
// targets alike) of each output's ROC AUC.
double meanRocAuc(const float* scores, const float* targets, int n, int m);

// Ends the process (-79) when there are no samples, or they leave some output without both
// classes: no ranking could then be measured and AUC selection would silently keep the last
// weights.
void requireRankableSamples(const std::vector<float>& targets, int m);
