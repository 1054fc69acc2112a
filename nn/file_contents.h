#pragma once

#include <cstddef>
#include <memory>
#include <string>

// The whole content of a file, read in one go. A regular file is mapped into memory (no
// copy); pipes and devices are read into a buffer that grows as they deliver.
class FileContents {
 public:
  enum Status { ok, cannotOpen, readError };

  explicit FileContents(const std::string& fileName);
  ~FileContents();
  FileContents(const FileContents&) = delete;
  FileContents& operator=(const FileContents&) = delete;

  Status status() const { return status_; }
  size_t size() const { return size_; }
  const char* begin() const { return data_; }
  const char* end() const { return data_ + size_; }

 private:
  bool map(int descriptor, size_t length);
  bool readAll(int descriptor);

  Status status_ = cannotOpen;
  const char* data_ = "";
  size_t size_ = 0;
  void* mapping_ = nullptr;
  std::unique_ptr<char[]> buffer_;
};
