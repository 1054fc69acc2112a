#include "evaluate/column_groups.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
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

namespace {

std::string lowerCaseError(int error) {
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

// The file's text, at most maxBytes of it; false (why) when it is not a regular file, cannot
// be read or is longer.
bool readBounded(const std::string& fileName, size_t maxBytes, std::string& text,
                 std::string& why) {
  struct stat info;
  if (stat(fileName.c_str(), &info) != 0) {
    why = lowerCaseError(errno);
    return false;
  }
  // A FIFO would wait for a writer, a device such as /dev/zero never end.
  if (!S_ISREG(info.st_mode)) {
    why = S_ISDIR(info.st_mode) ? "a directory" : "not a regular file";
    return false;
  }
  std::ifstream file(fileName, std::ios::binary);
  if (!file) {
    why = lowerCaseError(errno);
    return false;
  }
  text.assign(std::min(static_cast<size_t>(info.st_size), maxBytes + 1), '\0');
  file.read(&text[0], static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(file.gcount()));
  why = text.size() > maxBytes ? "longer than the names of these columns could be" : "";
  return why.empty();
}

}  // namespace

InputAttributes readInputAttributes(const std::string& fileName, int inputSize, int outputSize,
                                    bool required, const std::string& dataFile,
                                    const DataStamp& dataStamp) {
  struct stat info;
  const bool missing =
      stat(fileName.c_str(), &info) != 0 && (errno == ENOENT || errno == ENAMETOOLONG);
  if (missing && !required) {
    return {numberedColumns(inputSize), "none (no " + fileName + ")", "", ""};
  }
  const auto numbered = [&](const std::string& warning, const std::string& source) {
    std::cerr << "Warning: " << warning << "; the input columns are numbered" << std::endl;
    return InputAttributes{numberedColumns(inputSize), source, "", ""};
  };
  const size_t columns = static_cast<size_t>(inputSize) + outputSize;
  std::string text, why;
  if (!readBounded(fileName, (size_t{1} << 20) + 256 * columns, text, why)) {
    return numbered("cannot read the column names " + fileName + ": " + why,
                    "none (no " + fileName + ")");
  }
  // A card that does not belong to the data names its columns wrongly, or names them right by
  // chance: either way its names cannot be trusted for this file.
  const auto foreign = [&](const std::string& reason) {
    if (required) return InputAttributes{{}, "", fileName + " " + reason, ""};
    return numbered(fileName + " " + reason, "none (" + fileName + " does not match)");
  };
  InputCard card;
  const std::string error = parseInputCard(text, card, {"calibration"});
  if (!error.empty() && card.versioned) {
    return foreign("is not a card this program reads: " + error);
  }
  if (card.versioned && card.data != dataStamp) {
    return foreign("does not belong to " + dataFile + ": it was written with a training data " +
                   "file of " + describeStamp(card.data) + ", " + dataFile + " has " +
                   describeStamp(dataStamp));
  }
  const std::vector<ColumnGroup> groups = error.empty()
                                              ? groupColumns(card.columns, inputSize, outputSize)
                                              : std::vector<ColumnGroup>();
  if (groups.empty()) {
    const std::string mismatch = "does not name the " + std::to_string(inputSize) + " input and " +
                                 std::to_string(outputSize) +
                                 " output columns of the training data file";
    if (card.versioned) return foreign(mismatch + " " + dataFile);
    return numbered(fileName + " " + mismatch, "none (" + fileName + " does not match)");
  }
  return {groups, fileName, "", card.versioned ? card.asOf : ""};
}

int findColumn(const std::vector<ColumnGroup>& groups, const std::string& key) {
  for (const ColumnGroup& group : groups) {
    if (group.key == key && group.columns.size() == 1) return group.columns.front();
  }
  return -1;
}
