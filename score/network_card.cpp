#include "score/network_card.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "card/input_card.h"

namespace {

// A card names a column per line: a card of millions of users is still far below this.
constexpr off_t kMaxCardBytes = off_t{256} << 20;

std::string plural(int count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string counts(int inputs, int outputs) {
  return plural(inputs, "input") + " and " + plural(outputs, "output");
}

DecisionTime decisionTimeNamed(const std::string& name) {
  return name == "submit"  ? DecisionTime::submit
         : name == "start" ? DecisionTime::start
                           : DecisionTime::log;
}

// The row of a column line's key, with the user of a one-hot column.
InputColumn columnOf(const std::string& line, DecisionTime when, const std::string& where) {
  std::istringstream words(line);
  std::string direction, key, detail;
  words >> direction >> key >> detail;
  InputColumn column;
  column.row = findAttribute(key);
  if (column.row == nullptr) {
    throw CardError(where + "unknown attribute '" + key + "' (a newer tallis's card?)");
  }
  if (column.row->columns == Columns::perUser) {
    size_t used = 0;
    try {
      column.user = std::stoi(detail, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (detail.empty() || used != detail.size()) {
      throw CardError(where + "'" + line + "': a one-hot user column names its user id");
    }
    return column;
  }
  if (!detail.empty()) {
    throw CardError(where + "'" + line + "': '" + key + "' gives one value, not several");
  }
  const bool history = column.row->logOrder != nullptr || column.row->asOf != nullptr;
  if (column.row->direct == nullptr && !history) {
    throw CardError(where + "'" + key + "' cannot be computed from a job line");
  }
  if (history && when == DecisionTime::log && column.row->logOrder == nullptr) {
    throw CardError(where + "'" + key + "' exists only at a decision time, not in log order");
  }
  if (history && when != DecisionTime::log && column.row->asOf == nullptr) {
    throw CardError(where + "'" + key + "' has no value at the decision time");
  }
  return column;
}

}  // namespace

std::string networkCardFileOf(const std::string& networkFile) { return networkFile + ".card"; }

NetworkCard parseNetworkCard(const std::string& text, const std::string& cardFile,
                             const std::string& networkFile, int inputCount, int outputCount) {
  const std::string card = "The input card " + cardFile;
  InputCard parsed;
  const std::string problem = parseInputCard(text, parsed, {"calibration"});
  if (!problem.empty()) throw CardError(card + ": " + problem);
  if (!parsed.versioned) {
    throw CardError(card +
                    " is an older column names file: it does not say when the attributes "
                    "were taken (a card begins with 'input card 1')");
  }
  NetworkCard result;
  result.path = cardFile;
  result.when = decisionTimeNamed(parsed.asOf);
  int inputs = 0;
  for (const std::string& line : parsed.columns) {
    if (line.rfind("input", 0) != 0) {
      ++result.outputs;
    } else if (result.outputs > 0) {
      throw CardError(card + ": an input column after the output columns: '" + line + "'");
    } else {
      ++inputs;
    }
  }
  if (inputs != inputCount || result.outputs != outputCount) {
    throw CardError(card + " has " + counts(inputs, result.outputs) + ", the network " +
                    networkFile + " " + counts(inputCount, outputCount) +
                    ": it belongs to another network");
  }
  for (int j = 0; j < inputs; ++j) {
    const std::string where = card + ": input " + std::to_string(j + 1) + ": ";
    result.inputs.push_back(columnOf(parsed.columns[j], result.when, where));
  }
  for (const std::string& line : parsed.extras) {
    Calibration calibration;
    const std::string wrong = parseCalibration(line, calibration);
    if (!wrong.empty()) throw CardError(card + ": " + wrong);
    if (calibration.output > outputCount) {
      throw CardError(card + ": a calibration of output " + std::to_string(calibration.output) +
                      ", the network has " + plural(outputCount, "output"));
    }
    if (calibration.output == 1) result.calibration = calibration;
  }
  return result;
}

NetworkCard readNetworkCard(const std::string& cardFile, const std::string& networkFile,
                            int inputCount, int outputCount) {
  struct stat info;
  if (stat(cardFile.c_str(), &info) != 0) {
    throw CardError("No input card for the network " + networkFile + ": " + cardFile + ": " +
                    std::strerror(errno) +
                    " (scripts/train-recipe.sh writes it beside the network; --card names "
                    "another)");
  }
  if (!S_ISREG(info.st_mode)) throw CardError("The input card " + cardFile + " is not a file");
  if (info.st_size > kMaxCardBytes) {
    throw CardError("The input card " + cardFile + " is too large to be a card");
  }
  std::ifstream in(cardFile, std::ios::binary);
  std::ostringstream text;
  if (!in || !(text << in.rdbuf())) {
    if (info.st_size > 0) {
      throw CardError("Cannot read the input card " + cardFile + ": " + std::strerror(errno));
    }
  }
  return parseNetworkCard(text.str(), cardFile, networkFile, inputCount, outputCount);
}
