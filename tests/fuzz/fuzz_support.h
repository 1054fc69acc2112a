#pragma once
// Shared by the fuzzing harnesses: the input as a file for readers that take a file name,
// and a check that stops the run (a finding) when a reader breaks one of its promises.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace fuzz {

using test_support::readFile;

// A file of this process, rewritten for every input; in memory where /dev/shm exists, so a
// run of millions of inputs does not wear the disk. Removed when the process ends normally.
class InputFile {
 public:
  explicit InputFile(const char* name) {
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    path_ = std::string(folder) + "/ombra-fuzz-" + std::to_string(getpid()) + "-" + name;
  }
  ~InputFile() { std::remove(path_.c_str()); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const std::string& write(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path_.c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size) ||
        std::fclose(file) != 0) {
      std::perror(path_.c_str());
      std::abort();
    }
    return path_;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A broken promise is a finding: say which, and abort so that libFuzzer keeps the input.
inline void require(bool condition, const char* promise) {
  if (condition) return;
  std::fprintf(stderr, "Broken promise: %s\n", promise);
  std::abort();
}

}  // namespace fuzz
