#pragma once

// The plain forms of what the sample builder does fast: each one the rule itself, written the
// direct way, for the tests, fuzzing harnesses and benchmarks to check the product's fast code
// against. Nothing in the programs calls them.

#include <string>
#include <vector>

#include "sample_builder/attribute_table.h"
#include "sample_builder/decision_history.h"
#include "sample_builder/job_data.h"

namespace reference {

// One job line read by formatted stream extraction of the whole line, column after column: an
// int column takes a number written as a real when it is integral and in int range (4.0, 1e3)
// and fails the line otherwise (4.5, 3e9); anything after the 18th value is ignored.
bool parseJobLine(const std::string& line, JobData& job);

// Erases one random completed job (status 1) among the first count jobs at a time, drawing
// rand() % (jobs left among them) until the jobs that did not complete make up ratio of them
// or no completed job is left; prints the "now = " and "Negatives removed = " lines. O(N^2).
int changeTrainingSamplePositivesRatio(std::vector<JobData>& jobs, int count, double ratio);

// A history row's value for job i at its decision time: the row's definition on the log as it
// is known then. That log holds the jobs other than i whose outcome is known before the
// decision, in the order their outcomes became known, then job i; for the attributes of
// submissions ("ea", "ec" and their log forms) the jobs whose submission is public before it,
// in the order of submission. "Before": a job's submit time, or its end time (submit + wait +
// run, -1 as 0), is below the decision time (submit, or submit + wait), or equal to it for a
// job earlier in the log. A job whose submit time is unknown (-1) knows and is known by
// nothing. The keys without a definition (they exist only at a decision time) are each
// computed by a scan of the jobs known then.
double decisionTimeValue(const std::vector<JobData>& jobs, int i, DecisionTime when,
                         const AttributeRow& row);
// The same for several rows at once.
std::vector<double> decisionTimeValues(const std::vector<JobData>& jobs, int i, DecisionTime when,
                                       const AttributeList& rows);

// The values of every input row for job i, then those of every output row: each row's
// definition, or for a history row at a decision time its decisionTimeValue.
std::vector<double> createTrainingSample(const std::vector<JobData>& jobs, int i,
                                         const AttributeList& inputs, const AttributeList& outputs,
                                         DecisionTime when = DecisionTime::log);

// The training data file written the direct way: every sample computed with the attribute
// definitions, held in memory, and formatted by an output stream; prints the "positives = "
// line.
void createTrainingFile(const std::vector<JobData>& jobs, const AttributeList& inputs,
                        const AttributeList& outputs, const std::string& path, double trainingCount,
                        double validationCount, double testCount,
                        DecisionTime when = DecisionTime::log);

}  // namespace reference
