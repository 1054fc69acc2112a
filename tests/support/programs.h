#pragma once

// The programs under test, as this build made them (the paths come from tests/CMakeLists.txt).

#include <string>

#include "tests/support/test_support.h"

namespace test_support {

// ombra with the arguments as written (shell words), input as its standard input, in
// workingDirectory (empty: this process's).
inline ProgramRun runOmbra(const std::string& arguments, const std::string& input = "",
                           const std::string& workingDirectory = "") {
  return runProgram(shellQuoted(OMBRA_PATH) + " " + arguments, input, workingDirectory);
}

}  // namespace test_support
