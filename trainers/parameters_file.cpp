// Reading an algorithm parameters file line by line: the keys, the termination group, and
// what the file holds besides them.
#include "trainers/parameters_file.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>
#include <utility>

#include "common/fatal.h"
#include "common/file_contents.h"
#include "common/ombra_status.h"
#include "trainers/parameters.h"

namespace {

// Lines are read into a buffer of 100 characters: a line that does not fit ends the reading.
const std::string::size_type kMaxLineLength = 99;

// Integer keys take the number truncated toward zero; out-of-range numbers saturate
// instead of overflowing.
int truncateToInt(double value) {
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

// The value of an option key as written: a number and nothing else, or nan. The older keys
// read "yes" or "12abc" as 0 and 12, as they always have; a new key refuses them instead, so
// that "Shuffle: yes" cannot silently mean off.
double optionValue(const std::string& line, const std::string& key) {
  std::istringstream rest(line.substr(line.find(key + ":") + key.size() + 1));
  double number = 0.0;
  if (!(rest >> number)) return std::nan("");
  std::string more;
  return rest >> more ? std::nan("") : number;
}

bool isBlank(const std::string& line) {
  return line.find_first_not_of(" \t\r\f\v") == std::string::npos;
}

// What a reading found besides the keys: enough to refuse a file that is no parameters file
// and to report the lines it ignored.
struct Ignored {
  bool anyKey = false;
  bool nulBytes = false;
  int longLine = 0;                                // the number of an over-long line, 0: none
  std::vector<std::pair<int, std::string>> lines;  // lines without a known key
};

// The keys, for messages: "Learning rate, Strip length, ...".
std::string keyList(const std::vector<std::string>& keys) {
  std::string list;
  for (const std::string& key : keys) list += (list.empty() ? "" : ", ") + key;
  return list;
}

// A file with NUL bytes is binary (a network file given in the wrong place), and one in which
// no line holds a key is something else than a parameters file (a training data file, a log):
// training on the defaults would run for a minute and then replace the network file. Lines
// without a key are reported (an older file still reads), since a misspelt key would
// otherwise be ignored without a word.
void judgeIgnoredText(const Ignored& ignored, const std::string& fileName,
                      const std::vector<std::string>& listedKeys) {
  if (ignored.nulBytes) {
    fatal("Error reading file: " + fileName + ": NUL bytes, not an algorithm parameters file",
          ombra_status::kParametersFile);
  }
  const std::string keys = keyList(listedKeys);
  if (!ignored.anyKey && (!ignored.lines.empty() || ignored.longLine > 0)) {
    fatal("No known key in parameters file: " + fileName + " (the keys: " + keys +
              ", each followed at once by a colon)",
          ombra_status::kParametersFile);
  }
  const size_t kShown = 10;
  for (size_t k = 0; k < ignored.lines.size() && k < kShown; ++k) {
    std::cerr << "Warning: parameters file " << fileName << ", line " << ignored.lines[k].first
              << ": no known key, the line is ignored: '" << ignored.lines[k].second << "'"
              << std::endl;
  }
  if (ignored.lines.size() > kShown) {
    std::cerr << "Warning: parameters file " << fileName << ": " << ignored.lines.size() - kShown
              << " more lines without a known key are ignored" << std::endl;
  }
  if (ignored.longLine > 0) {
    std::cerr << "Warning: parameters file " << fileName << ", line " << ignored.longLine
              << ": longer than " << kMaxLineLength
              << " characters; it and the lines after it are ignored" << std::endl;
  }
  if (!ignored.lines.empty()) {
    std::cerr << "Warning: the keys of parameters file " << fileName << ": " << keys
              << " (each followed at once by a colon; case and blanks count)" << std::endl;
  }
}

}  // namespace

bool readParameter(const std::string& line, const std::string& key, double& value) {
  std::string::size_type position = line.find(key + ":");
  if (position == std::string::npos) return false;
  std::istringstream rest(line.substr(position + key.size() + 1));
  double number = 0.0;
  if (!(rest >> number)) number = 0.0;  // a found key without a number gives 0
  value = number;
  return true;
}

void readParametersFile(const std::string& fileName, const std::vector<ParameterKey>& keys,
                        TerminationGroup& group, const std::vector<std::string>& listedKeys) {
  errno = 0;
  std::ifstream file(fileName);
  if (!file.is_open()) {
    const std::string reason = systemReason(errno);
    fatal("Error opening file: " + fileName + (reason.empty() ? "" : ": " + reason),
          ombra_status::kParametersFile);
  }
  if (isDirectory(fileName)) {
    fatal("Error reading file: " + fileName + ": a directory", ombra_status::kParametersFile);
  }
  group.seen = false;
  Ignored ignored;
  // A line that does not fit the buffer ends the reading; the buffer also bounds memory when
  // the file is one endless line (/dev/zero).
  char buffer[kMaxLineLength + 1];
  for (int number = 1;; ++number) {
    file.getline(buffer, sizeof buffer);
    const bool tooLong =
        file.fail() && !file.eof() && file.gcount() == static_cast<std::streamsize>(kMaxLineLength);
    if (file.fail() && !tooLong) break;  // the end of the file
    const bool lineFeed = !file.fail() && !file.eof();
    std::string line(buffer, static_cast<size_t>(file.gcount()) - (lineFeed ? 1 : 0));
    if (line.find('\0') != std::string::npos) ignored.nulBytes = true;
    if (tooLong) {
      ignored.longLine = number;
      break;
    }
    bool found = false;
    for (size_t k = 0; k < keys.size(); ++k) {
      double value = 0.0;
      if (!readParameter(line, keys[k].text, value)) continue;
      found = true;
      if (keys[k].floatField != nullptr) {
        // Checked as stored: 1e300 is infinite in single precision, and 1e-50 is 0, which
        // switches a limit off; neither is what the file says.
        const float stored = static_cast<float>(value);
        if (!std::isfinite(stored)) {
          fatal(std::string("Value of ") + keys[k].text +
                    " out of float range in parameters file: " + fileName,
                ombra_status::kParametersFile);
        }
        if (stored == 0.0f && value != 0.0) {
          fatal(std::string("Value of ") + keys[k].text +
                    " is 0 in single precision in parameters file: " + fileName,
                ombra_status::kParametersFile);
        }
      }
      if (keys[k].termination && !group.seen) {
        *group.iterations = 0;
        *group.mse = 0.0f;
        *group.time = 0.0f;
        group.seen = true;
      }
      if (keys[k].floatField != nullptr) *keys[k].floatField = static_cast<float>(value);
      if (keys[k].intField != nullptr) *keys[k].intField = truncateToInt(value);
      if (keys[k].option != nullptr) *keys[k].option = optionValue(line, keys[k].text);
    }
    if (found) {
      ignored.anyKey = true;
    } else if (!isBlank(line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      ignored.lines.emplace_back(number, line);
    }
    if (file.eof()) break;
  }
  judgeIgnoredText(ignored, fileName, listedKeys);
}
