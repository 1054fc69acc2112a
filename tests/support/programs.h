#pragma once

// The programs under test, as this build made them (the paths come from tests/CMakeLists.txt).

#include <filesystem>
#include <string>

#include "tests/support/test_support.h"

namespace test_support {

// A file of this build: builtPath as tests/CMakeLists.txt names it, or, where the build folder
// was carried to another machine without the tree it was built in (scripts/gpu-check.sh on a
// GPU machine), inBuildFolder relative to this program's build folder (it is BUILD/tests/NAME).
inline std::string builtFile(const std::string& builtPath, const std::string& inBuildFolder) {
  std::error_code error;
  if (std::filesystem::exists(builtPath, error)) return builtPath;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return builtPath;
  return (self.parent_path().parent_path() / inBuildFolder).string();
}

inline std::string ombraPath() { return builtFile(OMBRA_PATH, "ombra"); }

// ombra with the arguments as written (shell words), input as its standard input, in
// workingDirectory (empty: this process's).
inline ProgramRun runOmbra(const std::string& arguments, const std::string& input = "",
                           const std::string& workingDirectory = "") {
  return runProgram(shellQuoted(ombraPath()) + " " + arguments, input, workingDirectory);
}

}  // namespace test_support
