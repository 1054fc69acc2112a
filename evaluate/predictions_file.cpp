#include "evaluate/predictions_file.h"

#include <charconv>

#include "common/fatal.h"
#include "evaluate/exit_status.h"
#include "files/output_file.h"
#include "files/paths.h"

namespace {

std::string predictionsMessage(const OutputProblem& problem) {
  switch (problem.code) {
    case OutputProblem::foreignKind:
      return "--predictions: " + problem.name + " is " + describeKind(problem.kind) +
             ", not a predictions file";
    case OutputProblem::writeFailed:
      return "Error writing file: " + problem.name + ": " + problem.reason();
    default:
      return "--predictions: cannot write " + problem.name + ": " + problem.reason();
  }
}

}  // namespace

std::string predictionsProblem(const std::string& fileName,
                               const std::vector<std::string>& inputs) {
  for (const std::string& input : inputs) {
    if (!input.empty() && isSameFile(fileName, input)) {
      return "--predictions: " + fileName + " would replace the input file " + input;
    }
  }
  const OutputProblem problem = examineOutput(fileName, FileKind::predictions);
  return problem.code == OutputProblem::none ? "" : predictionsMessage(problem);
}

void writePredictions(const std::string& fileName, const std::string& setName, size_t firstRow,
                      const std::vector<float>& targets, const std::vector<float>& outputs,
                      const std::vector<double>& scores) {
  try {
    OutputFile file(fileName, FileKind::predictions, predictionsMessage);
    std::string text = scores.empty() ? "row,set,target,output\n" : "row,set,target,output,score\n";
    char number[64];
    const auto add = [&](auto value) {
      text.append(number, std::to_chars(number, number + sizeof number, value).ptr);
    };
    for (size_t k = 0; k < outputs.size(); ++k) {
      add(firstRow + k);
      text += "," + setName + ",";
      add(targets[k]);
      text += ',';
      add(outputs[k]);
      if (!scores.empty()) {
        text += ',';
        add(scores[k]);
      }
      text += '\n';
      if (text.size() >= (size_t{1} << 20)) {
        file.write(text.data(), text.size());
        text.clear();
      }
    }
    file.write(text.data(), text.size());
    file.commit();
  } catch (const OutputFileError& error) {
    fatal(error.what(), kEvaluateFailureStatus);
  }
}
