#include "evaluate/calibration_card.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "common/fatal.h"
#include "evaluate/exit_status.h"
#include "evaluate/report.h"
#include "files/output_file.h"
#include "files/paths.h"

namespace {

// A card names one column a line: far below this even for a million one-hot users.
constexpr off_t kMaxCardBytes = off_t{256} << 20;

bool readCard(const std::string& fileName, std::string& text, std::string& why) {
  struct stat info;
  if (stat(fileName.c_str(), &info) != 0) {
    why = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(info.st_mode) || info.st_size > kMaxCardBytes) {
    why = S_ISDIR(info.st_mode) ? "a directory" : "not a card";
    return false;
  }
  std::ifstream file(fileName, std::ios::binary);
  std::ostringstream content;
  if (!file || (info.st_size > 0 && !(content << file.rdbuf()))) {
    why = std::strerror(errno);
    return false;
  }
  text = content.str();
  return true;
}

void countColumns(const InputCard& card, int& inputs, int& outputs) {
  inputs = outputs = 0;
  for (const std::string& line : card.columns) ++(line.rfind("input", 0) == 0 ? inputs : outputs);
}

std::string sizes(int inputs, int outputs) {
  return std::to_string(inputs) + (inputs == 1 ? " input and " : " inputs and ") +
         std::to_string(outputs) + (outputs == 1 ? " output" : " outputs");
}

std::string cardProblemMessage(const OutputProblem& problem) {
  switch (problem.code) {
    case OutputProblem::foreignKind:
      return "--write-card: " + problem.name + " is " + describeKind(problem.kind) + ", not a card";
    case OutputProblem::writeFailed:
      return "Error writing file: " + problem.name + ": " + problem.reason();
    default:
      return "--write-card: cannot write " + problem.name + ": " + problem.reason();
  }
}

}  // namespace

NetworkCalibration readNetworkCalibration(const std::string& cardFile, int inputs, int outputs,
                                          int output, bool required, std::string& refusal) {
  refusal.clear();
  struct stat info;
  if (!required && stat(cardFile.c_str(), &info) != 0 && errno == ENOENT) return {};
  const auto ignored = [&](const std::string& why) {
    if (required) {
      refusal = "--card: " + cardFile + ": " + why;
    } else {
      std::cerr << "Warning: the network's card " << cardFile << " is ignored: " << why
                << std::endl;
    }
    return NetworkCalibration();
  };
  std::string text, why;
  if (!readCard(cardFile, text, why)) return ignored(why);
  InputCard card;
  const std::string error = parseInputCard(text, card, {"calibration"});
  if (!error.empty()) return ignored(error);
  if (!card.versioned) return ignored("an older column names file, not a network's card");
  int cardInputs = 0, cardOutputs = 0;
  countColumns(card, cardInputs, cardOutputs);
  if (cardInputs != inputs || cardOutputs != outputs) {
    return ignored("it has " + sizes(cardInputs, cardOutputs) + ", the network " +
                   sizes(inputs, outputs) + ": it belongs to another network");
  }
  for (const std::string& line : card.extras) {
    Calibration calibration;
    const std::string wrong = parseCalibration(line, calibration);
    if (!wrong.empty()) return ignored(wrong);
    if (calibration.output == output) {
      return {calibration,
              std::string(calibrationMethodName(calibration.method)) + " from " + cardFile};
    }
  }
  return {};
}

std::string writeCardProblem(const std::string& cardFile, const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    if (!input.empty() && isSameFile(cardFile, input)) {
      return "--write-card: " + cardFile + " would replace the input file " + input;
    }
  }
  const OutputProblem problem = examineOutput(cardFile, FileKind::columnNames);
  return problem.code == OutputProblem::none ? "" : cardProblemMessage(problem);
}

InputCard dataCardFor(const std::string& dataCardFile, const std::string& dataFile,
                      const DataStamp& stamp, int inputs, int outputs, std::string& refusal) {
  const std::string need = "--write-card: needs the input card of " + dataFile + " (" +
                           dataCardFile + ", written by tallis): ";
  std::string text, why;
  InputCard card;
  if (!readCard(dataCardFile, text, why)) {
    refusal = need + why;
    return card;
  }
  const std::string error = parseInputCard(text, card, {"calibration"});
  int cardInputs = 0, cardOutputs = 0;
  countColumns(card, cardInputs, cardOutputs);
  if (!error.empty()) {
    refusal = need + error;
  } else if (!card.versioned) {
    refusal = need +
              "it is an older column names file, which does not say when the "
              "attributes were taken";
  } else if (card.data != stamp) {
    refusal = need + "it was written with a training data file of " + describeStamp(card.data) +
              ", " + dataFile + " has " + describeStamp(stamp);
  } else if (cardInputs != inputs || cardOutputs != outputs) {
    refusal = need + "it names " + sizes(cardInputs, cardOutputs) + ", the data has " +
              sizes(inputs, outputs);
  }
  card.extras.clear();  // an earlier calibration belongs to another network
  return card;
}

NetworkCalibration fitNetworkCalibration(CalibrationMethod method,
                                         const std::vector<float>& outputs,
                                         const std::vector<uint8_t>& positive, double low,
                                         double high, int output) {
  const double platt = crossFittedLogLoss(CalibrationMethod::platt, outputs, positive, low, high);
  const double isotonic =
      crossFittedLogLoss(CalibrationMethod::isotonic, outputs, positive, low, high);
  const bool chosen = method == CalibrationMethod::none;
  if (chosen) method = isotonic < platt ? CalibrationMethod::isotonic : CalibrationMethod::platt;
  NetworkCalibration fitted;
  fitted.calibration = fitCalibration(method, outputs, positive, low, high);
  fitted.calibration.output = output;
  std::ostringstream source;
  source << calibrationMethodName(method) << (chosen ? " (the lower" : " (")
         << " cross-fitted validation log loss, 5 folds: platt " << fixed(platt, 4) << ", isotonic "
         << fixed(isotonic, 4) << "), fitted on the " << outputs.size() << " validation samples";
  fitted.source = source.str();
  return fitted;
}

void writeNetworkCard(const std::string& cardFile, InputCard card, const Calibration& calibration) {
  card.extras = {formatCalibration(calibration)};
  const std::string text = formatInputCard(card);
  try {
    OutputFile file(cardFile, FileKind::columnNames, cardProblemMessage);
    file.write(text.data(), text.size());
    file.commit();
  } catch (const OutputFileError& error) {
    fatal(error.what(), kEvaluateFailureStatus);
  }
}
