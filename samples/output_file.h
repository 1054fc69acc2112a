#pragma once
// The training data file (and swfgen's log) as it is being written: a temporary file beside the
// target, renamed over it by commit(), so a failed run never leaves a truncated file that looks
// complete and never destroys the previous one. A symbolic link is followed to the file it
// names; a FIFO or device (anything but a regular file or a new name) is written in place; a
// link to the program's own standard output or error (/dev/stdout redirected to a file) is
// written where that stream stands.
//
// Refused, before anything is created (Exception, the message names the file): a target the
// user could not write itself (rename would ignore its permissions), a symbolic link loop, and
// a symbolic link in a sticky world-writable folder (/tmp) that belongs neither to the user nor
// to the folder's owner (the kernel's protected-symlinks rule, which never applies when the
// program follows the link itself).

#include <cstddef>
#include <exception>
#include <streambuf>
#include <string>
#include <vector>

// Throws the Exception that OutputFile(path) would throw for a target it refuses; creates
// nothing. A target that merely cannot be created is left to OutputFile ("Error opening file").
void checkOutputTarget(const std::string& path);

// Makes SIGTERM, SIGHUP and SIGINT remove the temporary file of the OutputFile being written
// before the process ends with the signal's usual status. A signal the program was started
// with ignored stays ignored.
void removeTemporaryFileOnTerminationSignals();

class OutputFile {
 public:
  // Throws Exception "Error opening file", or the refusals above.
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
  bool ownsDescriptor_ = true;  // false for a standard stream written through
  std::string target_;          // the name the finished file gets
  std::string temporary_;       // empty when writing in place
  bool committed_ = false;
  size_t flushedUpTo_ = 0;  // bytes whose disk writes have been started
  size_t unflushed_ = 0;    // bytes written since
};

// A stream buffer over an OutputFile, for writers that take an std::ostream. A write error
// makes the stream bad; finish() throws it.
class OutputFileBuffer : public std::streambuf {
 public:
  explicit OutputFileBuffer(OutputFile& file);
  // Writes what is buffered. Throws the first write error.
  void finish();

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  bool drain();
  OutputFile& file_;
  std::vector<char> buffer_;
  std::exception_ptr error_;
};
