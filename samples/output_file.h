#pragma once
// The training data file as it is being written: a temporary file beside the target, renamed
// over it by commit(), so a failed run never leaves a truncated file that looks complete and
// never destroys the previous one. A symbolic link is followed to the file it names; a FIFO
// or device (anything but a regular file or a new name) is written in place.

#include <cstddef>
#include <string>

class OutputFile {
 public:
  // Throws Exception "Error opening file".
  explicit OutputFile(const std::string& path);
  // Removes the temporary file unless commit() succeeded.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Throws Exception "Error writing file".
  void write(const char* data, size_t size);
  // Flushes to disk, closes and renames into place. Throws Exception "Error writing file".
  void commit();

 private:
  int fd_ = -1;
  std::string target_;     // the name the finished file gets
  std::string temporary_;  // empty when writing in place
  bool committed_ = false;
  size_t flushedUpTo_ = 0;  // bytes whose disk writes have been started
  size_t unflushed_ = 0;    // bytes written since
};
