#pragma once

#include <cstddef>
#include <memory>
#include <string>

// The whole content of a file, read in one go (regular files, pipes and devices alike).
struct FileContents {
  enum Status { ok, cannotOpen, readError };

  Status status = cannotOpen;
  std::unique_ptr<char[]> data;
  size_t size = 0;

  const char* begin() const { return data.get(); }
  const char* end() const { return data.get() + size; }
};

FileContents readFileContents(const std::string& fileName);
