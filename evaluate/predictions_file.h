#pragma once
// ombra-evaluate --predictions FILE: the network's answer for every evaluated sample, as CSV
//
//   row,set,target,output[,score]
//
// row: the sample's place among the samples of the training data file, from 1 (training
// samples first, then validation, then test); set: test or validation; target: the evaluated
// output's target, as the file holds it; output: the network's raw output (the shortest text
// that reads back as the same float); score: the calibrated score, when the network has a
// calibration. A training data file does not say which job a sample was, and tallis -p above
// 0 deletes jobs, so no job number is given here: ombra-score gives it, job by job.

#include <string>
#include <vector>

// What stands in the way of writing the file (checked before any work), "" when nothing.
std::string predictionsProblem(const std::string& fileName, const std::vector<std::string>& inputs);

// Writes the file through the one writer of output files; fatal (status 1) when it cannot.
// firstRow: the row of the first sample given; scores: empty without a calibration.
void writePredictions(const std::string& fileName, const std::string& setName, size_t firstRow,
                      const std::vector<float>& targets, const std::vector<float>& outputs,
                      const std::vector<double>& scores);
