#pragma once

#include <cstddef>
#include <memory>
#include <string>

// The whole content of a file, read in one go. A regular file is mapped into memory (no
// copy); pipes and devices are read into a buffer that grows as they deliver. A regular file
// above maxBytes (by default the machine's physical memory), or a pipe or device that
// delivers more than a quarter of it (the buffer is memory of its own), is refused with
// tooLarge, so an endless device such as /dev/zero cannot take all memory.
class FileContents {
 public:
  enum Status { ok, cannotOpen, readError, tooLarge };

  explicit FileContents(const std::string& fileName);
  FileContents(const std::string& fileName, size_t maxBytes);
  ~FileContents();
  FileContents(const FileContents&) = delete;
  FileContents& operator=(const FileContents&) = delete;

  Status status() const { return status_; }
  // Why the file could not be opened or read ("no such file or directory"); "" otherwise.
  std::string reason() const;
  size_t size() const { return size_; }
  const char* begin() const { return data_; }
  const char* end() const { return data_ + size_; }

 private:
  bool map(int descriptor, size_t length);
  bool readAll(int descriptor, size_t maxBytes);

  Status status_ = cannotOpen;
  int error_ = 0;  // errno of cannotOpen and readError
  const char* data_ = "";
  size_t size_ = 0;
  void* mapping_ = nullptr;
  std::unique_ptr<char[]> buffer_;
};

// The system's text for errno value error, in lower case as the messages have it ("" for 0).
std::string systemReason(int error);

// True when fileName names a directory (links followed). A directory opens for reading and
// reads as an empty file, which would pass for a file without content.
bool isDirectory(const std::string& fileName);
