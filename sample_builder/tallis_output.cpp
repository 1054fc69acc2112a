#include "sample_builder/tallis_output.h"

#include "files/paths.h"

namespace {

std::string quoted(const std::string& name) { return "'" + name + "'"; }

}  // namespace

std::string tallisOutputMessage(const OutputProblem& problem) {
  switch (problem.code) {
    case OutputProblem::linkLoop:
      return "Refusing to write " + quoted(problem.name) + ": a symbolic link loop";
    case OutputProblem::plantedLink:
      return "Refusing to follow the symbolic link " + quoted(problem.where) +
             " in the shared folder " + quoted(directoryOf(problem.where)) +
             ": it belongs to another user";
    case OutputProblem::notWritable:
      return "Refusing to replace " + quoted(problem.name) + ": the file is not writable";
    case OutputProblem::foreignKind:
      return "Refusing to replace " + quoted(problem.name) + ": it is " +
             describeKind(problem.kind) + ", not " + describeKind(problem.own);
    case OutputProblem::writeFailed:
      return "Error writing file: " + problem.name + ": " + problem.reason();
    default:
      return "Error opening file: " + problem.name + ": " + problem.reason();
  }
}
