#pragma once
// Samples of jobs and the training data file that ombra reads: split counts, sizes, widened
// column bounds, then one line per sample with a tab after every value.

#include <string>
#include <vector>

#include "files/output_file.h"
#include "sample_builder/attribute_table.h"
#include "sample_builder/decision_history.h"

// The most values one list of attributes may give a sample (a one-hot user vector repeated
// many times over a log of many users could ask for more than memory holds).
constexpr int kMaxSampleValues = 1 << 24;

// Number of values the rows give job 0. Throws Exception "Too many values per sample" above
// kMaxSampleValues.
int inputSize(const std::vector<JobData>& jobs, const AttributeList& inputs);
int outputSize(const std::vector<JobData>& jobs, const AttributeList& outputs);

// A column's bounds as written: smallest and largest widened by one eighth of their
// difference, or by 0.125 when they are (almost) equal.
struct ColumnBounds {
  double lower;
  double upper;
};
ColumnBounds widenedBounds(double smallest, double largest);

// Writes the file through a temporary beside it (files/output_file.h), printing the
// "positives = " line. Samples are computed twice (bounds, then text) instead of being held in
// memory. History attributes are evaluated through LookBackIndex in log order, or once per job
// through DecisionHistory at a decision time (held in memory: a value per job and history
// column). Expects userIdLookupTable built from the same jobs. Throws OutputFileError ("Error
// opening file: ...", "Error writing file: ...", a refused target) or Exception "No jobs to
// write", "Too many values per sample", for a row without a form for the setting, or when a
// column's bounds are beyond the float range that ombra reads the file with.
void createTrainingFile(const std::vector<JobData>& jobs, const AttributeList& inputs,
                        const AttributeList& outputs, std::string path, double trainingCount,
                        double validationCount, double testCount,
                        DecisionTime when = DecisionTime::log);
// The same into a file opened (and checked) before the work: tallis opens its target before it
// reads the log. Commits the file.
void createTrainingFile(const std::vector<JobData>& jobs, const AttributeList& inputs,
                        const AttributeList& outputs, OutputFile& file, double trainingCount,
                        double validationCount, double testCount,
                        DecisionTime when = DecisionTime::log);
