#include "sample_builder/input_card_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include "files/output_file.h"
#include "sample_builder/tallis_output.h"

std::string cardFileOf(const std::string& trainingDataFile) {
  OutputTarget target;
  const OutputProblem problem = examineOutput(trainingDataFile, FileKind::trainingData, &target);
  const bool resolved = problem.code == OutputProblem::none ||
                        problem.code == OutputProblem::foreignKind ||
                        problem.code == OutputProblem::notWritable;
  if (!resolved ||
      (target.kind != OutputTarget::newName && target.kind != OutputTarget::regularFile)) {
    return "";
  }
  return target.path + ".columns";
}

void checkCardFile(const std::string& cardFile) {
  const OutputProblem problem = examineOutput(cardFile, FileKind::columnNames);
  if (problem.code != OutputProblem::none) {
    throw OutputFileError(problem, tallisOutputMessage(problem));
  }
}

void writeCardFile(const std::string& cardFile, const std::vector<std::string>& columns,
                   const DataStamp& stamp, const std::string& asOf) {
  InputCard card;
  card.asOf = asOf;
  card.data = stamp;
  card.columns = columns;
  const std::string text = formatInputCard(card);
  try {
    OutputFile file(cardFile, FileKind::columnNames, tallisOutputMessage);
    file.write(text.data(), text.size());
    file.commit();
  } catch (const OutputFileError&) {
    // Names of an earlier file would describe the new one wrongly; without them the columns
    // are only numbered. The card was checked before the work, so it may be replaced.
    struct stat info;
    if (lstat(cardFile.c_str(), &info) == 0 && S_ISREG(info.st_mode)) unlink(cardFile.c_str());
    throw;
  }
}
