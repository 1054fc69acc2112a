// The tallis command line on arbitrary arguments (one per line of the input): the options,
// the two attribute key lists and the ratio list. Every input either ends the way the program
// ends on a command-line error (Exception, or the exit after the option parser's error, "Error
// parsing options" and "Wrong attribute function") or gives usable lists and ratios.

#include <cmath>
#include <cstdint>
#include <cstring>

#include "sample_builder/exception.h"
#include "tallis/tallis_cli.h"
#include "tallis/tallis_exit.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setTallisExitHandler(throwTallisExit);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // "tallis", then every line as one argument (a last line without a line feed included).
  std::vector<std::string> arguments{"tallis"};
  const char* begin = reinterpret_cast<const char*>(data);
  const char* end = begin + size;
  for (const char* line = begin; line < end;) {
    const char* lineEnd = static_cast<const char*>(std::memchr(line, '\n', end - line));
    if (lineEnd == nullptr) lineEnd = end;
    arguments.emplace_back(line, lineEnd);
    line = lineEnd + 1;
  }
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(&argument[0]);
  argv.push_back(nullptr);

  AttributeList inputs, outputs;
  double training = -1, validation = -1, test = -1, positives = -1;
  try {
    parseOptions(static_cast<int>(arguments.size()), argv.data(), inputs, outputs, training,
                 validation, test, positives);
  } catch (const Exception&) {
    return 0;
  } catch (const TallisExit& exit) {
    // 1: an unknown key; 2: the parser refused the command line or an option is missing.
    fuzz::require(exit.status == 1 || exit.status == 2, "tallis ends with status 1 or 2");
    return 0;
  }
  fuzz::require(!inputs.empty() && !outputs.empty(), "both attribute lists have a function");
  for (const AttributeRow* row : inputs) fuzz::require(row != nullptr, "known keys");
  for (const AttributeRow* row : outputs) fuzz::require(row != nullptr, "known keys");
  fuzz::require(std::isfinite(training) && std::isfinite(validation) && std::isfinite(test) &&
                    training >= 0 && validation >= 0 && test >= 0 && training + validation > 0,
                "accepted ratios can split the jobs");
  fuzz::require(positives >= 0 && positives <= 1, "an accepted positives ratio lies in [0, 1]");
  return 0;
}
