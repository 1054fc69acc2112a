// ombra's words for the one writer of output files; see replace_file.h.
#include "nn/replace_file.h"

#include <sys/stat.h>

#include <iostream>

#include "common/fatal.h"
#include "common/ombra_status.h"
#include "files/paths.h"

namespace {

// What follows the file name in the message, "" for the plain "Error opening file: <name>".
std::string reasonOf(const OutputProblem& problem) {
  switch (problem.code) {
    case OutputProblem::plantedLink:
      return "a symbolic link in a sticky world-writable folder, owned by another user";
    case OutputProblem::notWritable:
      return "permission denied";
    case OutputProblem::foreignKind:
      return std::string(describeKind(problem.kind)) + ", not " + describeKind(problem.own);
    default:
      return problem.error != 0 ? problem.reason() : "";  // the system's reason
  }
}

}  // namespace

std::string ombraOutputMessage(const OutputProblem& problem) {
  const std::string reason = reasonOf(problem);
  if (problem.code == OutputProblem::writeFailed) {
    return "Error writing file: " + problem.name + (reason.empty() ? "" : ": " + reason);
  }
  return "Error opening file: " + problem.name + (reason.empty() ? "" : ": " + reason);
}

ReplacedFile::ReplacedFile(const std::string& fileName, FileKind own) {
  std::cout.flush();  // the file may be standard output itself
  std::cerr.flush();
  try {
    file_ = new OutputFile(fileName, own, ombraOutputMessage);
  } catch (const OutputFileError& error) {
    fatal(error.what(), ombra_status::kFailure);
  }
}

ReplacedFile::~ReplacedFile() { delete file_; }

void ReplacedFile::replaceWith(const char* data, size_t size) {
  try {
    file_->write(data, size);
    file_->commit();
  } catch (const OutputFileError& error) {
    delete file_;  // the temporary file goes before the process does
    file_ = nullptr;
    fatal(error.what(), ombra_status::kFailure);
  }
}

void replaceFile(const std::string& fileName, const char* data, size_t size, FileKind own) {
  ReplacedFile(fileName, own).replaceWith(data, size);
}

void checkReplaceable(const std::string& fileName, FileKind own) {
  const OutputProblem problem = examineOutput(fileName, own);
  if (problem.code != OutputProblem::none)
    fatal(ombraOutputMessage(problem), ombra_status::kFailure);
}

bool isReplaceable(const std::string& fileName, FileKind own, std::string* reason) {
  const OutputProblem problem = examineOutput(fileName, own);
  if (reason != nullptr) *reason = reasonOf(problem);
  return problem.code == OutputProblem::none;
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat first;
  return stat(a.c_str(), &first) == 0 && S_ISREG(first.st_mode) && isSameFile(a, b);
}
