#pragma once
// The names of the training data file's value columns, so that a person and the evaluation
// can tell them apart. The training data file itself stays as it is; the names go to a file
// beside it, its name with ".columns" appended, one line per value column in file order,
// inputs first:
//   input rCPU        a one-value attribute: its key
//   input uID 17      a one-hot user column: the key and the user id
//   output s
// An attribute of several values that is not the user names each value "KEY k" (k from 1).
// Names come from the attribute rows, so a new key is named without further work.

#include <string>
#include <vector>

#include "sample_builder/attribute_table.h"

// One name per value column, as above. Expects userIdLookupTable built from the same jobs.
std::vector<std::string> columnNames(const std::vector<JobData>& jobs, const AttributeList& inputs,
                                     const AttributeList& outputs);
