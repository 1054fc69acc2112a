#pragma once
// The one writer of every output file of the programs (training data file, input card, swfgen's
// log, network file, lift chart, charts). A regular file, or a new name, is written to a
// temporary file beside it, flushed to disk and renamed over it only when complete, so a full
// disk, a size limit, a signal or any failure part-way never leaves a truncated file and never
// destroys the previous one. A FIFO or device is written in place, opened when the writer is
// made (a FIFO waits there for its reader, before the work, not after it), and a link to the
// program's own standard output or error (/dev/stdout redirected to a file) is written where
// that stream stands (>> appends). SIGTERM, SIGHUP and SIGINT remove the temporary file and
// then end the process (files/signal_cleanup.h).
//
// Refused before anything is created, every link along the path judged (files/paths.h): a
// symbolic link loop, a link planted in a sticky world-writable folder, a directory, a target
// the user could not write (rename would ignore its permissions; the shell's > refuses it), a
// folder that cannot hold the file, and an existing file of another kind than the writer's
// (files/file_kinds.h: a workload log, gzip data, a parameters file, the kernel source, ...).
// Each program words these in its own messages: the writer reports an OutputProblem, and the
// Wording given to it turns that into the text of the OutputFileError it throws.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

#include "files/file_kinds.h"
#include "files/signal_cleanup.h"

struct OutputProblem {
  enum Code {
    none,
    linkLoop,        // where: the last link followed
    plantedLink,     // where: the link refused
    unreadableLink,  // where: the link
    directory,       // the target is a folder (or its name ends with /)
    notWritable,     // an existing file the user may not write
    foreignKind,     // an existing file of kind `kind`, not of the writer's `own` kind
    cannotCreate,    // error: why the folder cannot hold the file (or the name is unusable)
    openFailed,      // error: creating the temporary file or opening in place failed
    writeFailed,     // error: a write, the flush or the rename failed
  } code = none;
  std::string name;   // the name given
  std::string where;  // the link or the resolved target, as the code says
  int error = 0;      // errno, where the code has one
  FileKind kind = FileKind::unknown;
  FileKind own = FileKind::unknown;

  // The system's text for error, starting in lower case ("no such file or directory").
  std::string reason() const;
};

using OutputWording = std::string (*)(const OutputProblem& problem);

class OutputFileError : public std::runtime_error {
 public:
  OutputFileError(const OutputProblem& problem, const std::string& message)
      : std::runtime_error(message), problem_(problem) {}
  const OutputProblem& problem() const { return problem_; }

 private:
  OutputProblem problem_;
};

// Where and how a name is written, once the checks passed.
struct OutputTarget {
  enum Kind { newName, regularFile, standardStream, inPlace } kind = newName;
  std::string path;  // links resolved (newName, regularFile); the name given otherwise
  mode_t mode = 0;   // regularFile: the mode the finished file keeps
  int stream = -1;   // standardStream: the descriptor written through
};

// Every check the writer makes before it writes, creating and changing nothing. Returns the
// problem, code none when path may be written. Fills target (when not null) once the name is
// resolved: also when the file found there is then refused (foreignKind, notWritable).
OutputProblem examineOutput(const std::string& path, FileKind own, OutputTarget* target = nullptr);

class OutputFile {
 public:
  // Throws OutputFileError (worded by wording) for a refused target, or when a stream, device
  // or FIFO cannot be opened. A regular file gets its temporary file at the first write.
  OutputFile(const std::string& path, FileKind own, OutputWording wording);
  // Removes the temporary file unless commit() succeeded.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary file now (at the latest the first write does): the work that fills
  // the file begins. Throws OutputFileError (openFailed).
  void start();
  // Throws OutputFileError (openFailed, writeFailed).
  void write(const char* data, size_t size);
  // Flushes to disk, closes and renames into place. Throws OutputFileError.
  void commit();

  const OutputTarget& target() const { return target_; }
  // A regular file or a new name: a file of its own, replaced by rename (not a stream).
  bool isRegularFile() const {
    return target_.kind == OutputTarget::newName || target_.kind == OutputTarget::regularFile;
  }
  // The zlib crc32 of every byte written from now on, and their count.
  void keepChecksum() { checksumKept_ = true; }
  uint64_t bytesWritten() const { return bytesWritten_; }
  uint32_t checksum() const { return checksum_; }

 private:
  [[noreturn]] void fail(OutputProblem::Code code, int error);
  void openTemporary();
  void openInPlace();

  std::string name_;
  FileKind own_;
  OutputWording wording_;
  OutputTarget target_;
  int fd_ = -1;
  std::string temporary_;  // empty until created, and when writing in place
  PendingCleanup cleanup_;
  bool committed_ = false;
  size_t flushedUpTo_ = 0;  // bytes whose disk writes have been started
  size_t unflushed_ = 0;    // bytes written since
  bool checksumKept_ = false;
  uint64_t bytesWritten_ = 0;
  uint32_t checksum_ = 0;
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
