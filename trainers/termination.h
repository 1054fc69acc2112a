#pragma once

// Rules shared by the back-propagation and particle-swarm loops: termination, the progress
// line, and timing a number of iterations.
// A limit of 0 is switched off; any other value, negative included, is in force.

// Ends the process with "No terminating conditions" (-79) when all three limits are 0.
void requireTerminatingCondition(int iterations, float mse, float time);

// Ends the process (-79) when the mse limit is the only one in force and can never be reached:
// it is checked against validation errors, which are never measured without validation
// samples, so training would never end.
void requireReachableLimit(int iterations, float mse, float time, int validationSamples);

// Ends the process (-1) when a weight is not a finite number: such a network answers nan to
// every query, so training stops with a message instead of reporting success. pass ("epoch",
// "iteration") and completed say when, for the message.
void requireFiniteWeights(const float* weights, int count, int completed, const char* pass);

// Checked before every epoch/iteration, in this order: the best validation error reached
// mse, completed reached iterations, elapsedSeconds reached time.
bool trainingShouldEnd(float bestValidationError, int completed, double elapsedSeconds,
                       int iterations, float mse, float time);

// Prints "training mse[<completed>]= <training error>\t validation mse = ...\t best mse = ..."
// and flushes. Float errors print as their double values, as the stream would print them.
void printProgress(int completed, double trainingError, double validationError, double bestError);

// The progress line under "Select by AUC": "training mse[<completed>]= <training error>\t
// validation AUC = <latest check>\t best AUC = <best check>", each AUC "n/a" before a check.
void printAucProgress(int completed, double trainingError, double validationAuc, double bestAuc);

// The status line a person at a terminal sees while a loop trains (nothing otherwise):
// "<pass> <completed> of <iterations>, <seconds> s, best validation <figure> <best>"; the
// "of" parts only for the limits in force, the best figure once a check has measured one
// (best < 0: none yet). Throttled; call it after every epoch or iteration.
void showTrainingProgress(const char* pass, int completed, int iterations, double seconds,
                          float time, const char* figure, double best);
// Removes the status line: before a line on standard output, and when training ends.
void clearTrainingProgress();

// Runs train() for exactly n iterations, the mse and time limits off, then restores the three
// limits of parameters; returns train()'s seconds divided by n.
template <class Parameters, class Train>
double secondsPerIteration(Parameters& parameters, int n, Train train) {
  const int iterations = parameters.iterations;
  const float mse = parameters.mse;
  const float time = parameters.time;
  parameters.iterations = n;
  parameters.mse = 0.0f;
  parameters.time = 0.0f;
  const double seconds = train();
  parameters.iterations = iterations;
  parameters.mse = mse;
  parameters.time = time;
  return seconds / n;
}
