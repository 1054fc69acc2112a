// Column names of the training data file, derived from the attribute rows.

#include "samples/column_names.h"

#include <sys/stat.h>
#include <unistd.h>

#include "samples/exception.h"
#include "samples/output_file.h"

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

std::string columnsFileName(const std::string& trainingDataFile) {
  return trainingDataFile + ".columns";
}

bool namesColumnsOf(const std::string& trainingDataFile) {
  struct stat info;
  if (stat(trainingDataFile.c_str(), &info) != 0) return true;  // a new name
  return S_ISREG(info.st_mode);
}

void writeColumnsFile(const std::string& trainingDataFile, const std::vector<std::string>& names) {
  const std::string path = columnsFileName(trainingDataFile);
  try {
    OutputFile file(path);
    std::string text;
    for (const std::string& name : names) text += name + "\n";
    file.write(text.data(), text.size());
    file.commit();
  } catch (const Exception&) {
    // Names of an earlier file would describe the new one wrongly; without them the
    // columns are only numbered. A device under that name is left alone.
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) unlink(path.c_str());
    throw;
  }
}
