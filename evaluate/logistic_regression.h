#pragma once
// The linear baseline: plain logistic regression fitted to convergence by liblinear's
// trust-region Newton method (solver L2R_LR) on the network's training samples. The ridge
// term is kept negligible (lambda 1e-8 on the mean log loss): it only keeps the solution
// finite when a column separates the classes. Every input is first standardised with the
// training samples' own figures: minus the column's median (so that the common value of a
// 0/1 column becomes 0 and is not stored), divided by its standard deviation. The fit is
// single-threaded and deterministic: the same samples give the same scores on any machine.

#include <functional>
#include <string>

#include "evaluate/learned_baselines.h"

// status receives a short text after every Newton step ("Newton step 4"). The report's note
// says how the fit ended (steps taken, or the step limit reached). Validation samples are
// only scored, never used to fit or stop.
LearnedScores fitLogisticRegression(const SampleMatrix& training, const SampleMatrix& validation,
                                    const SampleMatrix& evaluated,
                                    const std::function<void(const std::string&)>& status);

// "liblinear solver=L2R_LR ...": the pinned settings, for the report.
std::string logisticRegressionSettings();
