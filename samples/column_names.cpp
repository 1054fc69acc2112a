// Column names of the training data file, derived from the attribute key table.

#include "samples/column_names.h"

namespace {

const char* keyOf(AttributeFunction function) {
  for (const AttributeKey& entry : attributeKeys) {
    if (entry.function == function) return entry.key;
  }
  return "?";  // a function outside the table (only tests build such lists)
}

void appendNames(const std::vector<JobData>& jobs, const std::vector<AttributeFunction>& functions,
                 const std::string& direction, const std::vector<int>& userAtPosition,
                 std::vector<std::string>& names) {
  for (AttributeFunction function : functions) {
    const std::string prefix = direction + " " + keyOf(function);
    if (function == userID) {
      for (int user : userAtPosition) names.push_back(prefix + " " + std::to_string(user));
      continue;
    }
    // The width the writer gives the attribute: that of job 0 (a look-back scan from job 0
    // is empty, so this costs nothing).
    const size_t width = function(jobs, 0).size();
    if (width == 1) {
      names.push_back(prefix);
      continue;
    }
    for (size_t k = 1; k <= width; ++k) names.push_back(prefix + " " + std::to_string(k));
  }
}

}  // namespace

std::vector<std::string> columnNames(const std::vector<JobData>& jobs,
                                     const std::vector<AttributeFunction>& inputs,
                                     const std::vector<AttributeFunction>& outputs) {
  std::vector<int> userAtPosition(userIdLookupTable.size());
  for (const auto& entry : userIdLookupTable) userAtPosition.at(entry.second) = entry.first;
  std::vector<std::string> names;
  if (jobs.empty()) return names;
  appendNames(jobs, inputs, "input", userAtPosition, names);
  appendNames(jobs, outputs, "output", userAtPosition, names);
  return names;
}
