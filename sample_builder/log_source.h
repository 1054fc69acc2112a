#pragma once
// The bytes of a workload log, plain or gzip-compressed (one gzip member or several, as `cat`
// of compressed logs gives). Anything after the last member that is not another member (a plain
// log appended to a compressed one) makes the log unreadable instead of being dropped in
// silence.

#include <zlib.h>

#include <cstddef>
#include <string>
#include <vector>

class LogSource {
 public:
  // Throws Exception "Error opening file: <path>: <reason>", or "Error reading file: <path>:
  // ..." for a log compressed in a form other than gzip (bzip2, xz, zstd, zip, 7z).
  explicit LogSource(const std::string& path);
  // Reads an open descriptor (standard input, given as dup(0)) and closes it at the end.
  // Throws Exception "Error reading file".
  explicit LogSource(int descriptor);
  ~LogSource();
  LogSource(const LogSource&) = delete;
  LogSource& operator=(const LogSource&) = delete;

  // Up to size bytes of the log into out; 0 at its end. Throws Exception "Error reading file:
  // <path>: <why>" for a read error or damaged, truncated or trailing compressed data.
  size_t read(char* out, size_t size);

 private:
  // Reads more raw bytes after the unused ones; false at the end of the file.
  bool fill();
  // Tells a gzip log, and a log compressed in a form it cannot read, from its first bytes;
  // closes the descriptor on failure.
  void detectCompression();
  [[noreturn]] void fail(const std::string& why) const;
  [[noreturn]] void failInflate() const;
  size_t readCompressed(char* out, size_t size);

  std::string path_;
  int fd_ = -1;
  bool compressed_ = false;
  bool inflating_ = false;  // the z_stream is initialised
  bool atMemberEnd_ = false;
  z_stream stream_{};
  std::vector<unsigned char> input_;
  size_t start_ = 0;  // unused raw bytes: input_[start_, end_)
  size_t end_ = 0;
};
