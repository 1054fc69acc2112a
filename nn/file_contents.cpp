#include "nn/file_contents.h"

#include <cstdio>
#include <cstring>
#include <sys/stat.h>

FileContents readFileContents(const std::string& fileName) {
  FileContents contents;
  std::FILE* file = std::fopen(fileName.c_str(), "rb");
  if (file == nullptr) return contents;

  // A regular file is read into a buffer of its size; anything else grows as it comes.
  struct stat info;
  size_t capacity = 1 << 16;
  if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode)) {
    capacity = static_cast<size_t>(info.st_size) + 1;
  }
  contents.data.reset(new char[capacity]);
  for (;;) {
    contents.size += std::fread(contents.data.get() + contents.size, 1,
                                capacity - contents.size, file);
    if (contents.size < capacity) break;
    const size_t grown = capacity * 2;
    std::unique_ptr<char[]> larger(new char[grown]);
    std::memcpy(larger.get(), contents.data.get(), contents.size);
    contents.data = std::move(larger);
    capacity = grown;
  }
  contents.status = std::ferror(file) ? FileContents::readError : FileContents::ok;
  std::fclose(file);
  return contents;
}
