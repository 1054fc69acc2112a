// Column names of the training data file, derived from the attribute rows.

#include "sample_builder/column_names.h"

namespace {

void appendNames(const std::vector<JobData>& jobs, const AttributeList& rows,
                 const std::string& direction, const std::vector<int>& userAtPosition,
                 std::vector<std::string>& names) {
  for (const AttributeRow* row : rows) {
    const std::string prefix = direction + " " + row->key;
    if (row->columns == Columns::perUser) {
      for (int user : userAtPosition) names.push_back(prefix + " " + std::to_string(user));
      continue;
    }
    // The width the writer gives the attribute: that of job 0.
    const size_t width = columnCount(*row, jobs);
    if (width == 1) {
      names.push_back(prefix);
      continue;
    }
    for (size_t k = 1; k <= width; ++k) names.push_back(prefix + " " + std::to_string(k));
  }
}

}  // namespace

std::vector<std::string> columnNames(const std::vector<JobData>& jobs, const AttributeList& inputs,
                                     const AttributeList& outputs) {
  std::vector<int> userAtPosition(userIdLookupTable.size());
  for (const auto& entry : userIdLookupTable) userAtPosition.at(entry.second) = entry.first;
  std::vector<std::string> names;
  if (jobs.empty()) return names;
  appendNames(jobs, inputs, "input", userAtPosition, names);
  appendNames(jobs, outputs, "output", userAtPosition, names);
  return names;
}
