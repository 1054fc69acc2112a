#include "evaluate/column_groups.h"

#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

namespace {

struct ColumnName {
  std::string direction, key, detail;
};

bool parseLine(const std::string& line, ColumnName& name) {
  std::istringstream words(line);
  std::string extra;
  if (!(words >> name.direction >> name.key)) return false;
  words >> name.detail;
  return !(words >> extra) && (name.direction == "input" || name.direction == "output");
}

}  // namespace

std::vector<ColumnGroup> numberedColumns(int inputSize) {
  std::vector<ColumnGroup> groups;
  for (int j = 0; j < inputSize; ++j) groups.push_back({"input " + std::to_string(j + 1), "", {j}});
  return groups;
}

std::vector<ColumnGroup> groupColumns(const std::vector<std::string>& lines, int inputSize,
                                      int outputSize) {
  if (lines.size() != static_cast<size_t>(inputSize) + outputSize) return {};
  std::vector<ColumnGroup> groups;
  bool extendable = false;  // the last group holds several-valued columns
  for (size_t j = 0; j < lines.size(); ++j) {
    ColumnName name;
    const bool input = j < static_cast<size_t>(inputSize);
    if (!parseLine(lines[j], name) || (name.direction == "input") != input) return {};
    if (!input) continue;
    // Columns with a detail (a user id, a value number) belong to one attribute as long as
    // the key stays the same.
    if (!name.detail.empty() && extendable && groups.back().key == name.key) {
      groups.back().columns.push_back(static_cast<int>(j));
      continue;
    }
    groups.push_back({name.key, name.key, {static_cast<int>(j)}});
    extendable = !name.detail.empty();
  }
  // Names say what an attribute is: a key given twice gets its position, and several
  // columns say how many.
  std::map<std::string, int> uses, seen;
  for (const ColumnGroup& group : groups) ++uses[group.key];
  for (ColumnGroup& group : groups) {
    if (uses[group.key] > 1) group.name += " #" + std::to_string(++seen[group.key]);
    if (group.columns.size() > 1) {
      group.name += " (" + std::to_string(group.columns.size()) + " columns)";
    }
  }
  return groups;
}

InputAttributes readInputAttributes(const std::string& fileName, int inputSize, int outputSize,
                                    bool required) {
  struct stat info;
  const bool missing = stat(fileName.c_str(), &info) != 0 && errno == ENOENT;
  std::ifstream file(fileName);
  if (!file) {
    if (required || !missing) {
      std::cerr << "Warning: cannot read the column names " << fileName
                << "; the input columns are numbered" << std::endl;
    }
    return {numberedColumns(inputSize), "none (no " + fileName + ")"};
  }
  std::vector<std::string> lines;
  std::string line;
  // Reading stops once the file proves longer than the columns it could name.
  while (lines.size() <= static_cast<size_t>(inputSize) + outputSize && std::getline(file, line)) {
    lines.push_back(line);
  }
  std::vector<ColumnGroup> groups = groupColumns(lines, inputSize, outputSize);
  if (groups.empty()) {
    std::cerr << "Warning: " << fileName << " does not name the " << inputSize << " input and "
              << outputSize << " output columns of the training data file; the input columns "
              << "are numbered" << std::endl;
    return {numberedColumns(inputSize), "none (" + fileName + " does not match)"};
  }
  return {groups, fileName};
}

int findColumn(const std::vector<ColumnGroup>& groups, const std::string& key) {
  for (const ColumnGroup& group : groups) {
    if (group.key == key && group.columns.size() == 1) return group.columns.front();
  }
  return -1;
}
