#pragma once
// ombra's output files (the network file, the lift chart, the timing results) through the one
// writer of files/output_file.h, in ombra's words and with its status: "Error opening file: "
// + the name when the file cannot be created, "Error writing file: " + the name when a write,
// the flush or the rename fails, both -1. Refused the same way, with the reason after the
// name, before anything is written: a file the user could not write ("permission denied"), a
// symbolic link in a sticky world-writable folder that belongs to neither the user nor the
// folder's owner, anywhere along the path, and an existing file of another kind ("an
// algorithm parameters file, not a network file").

#include <cstddef>
#include <string>

#include "files/file_kinds.h"
#include "files/output_file.h"

// ombra's message for what the writer refuses or fails at.
std::string ombraOutputMessage(const OutputProblem& problem);

// A file opened for replacing before the work that fills it: the checks are made, and a FIFO
// or device opened, at construction; replaceWith writes it at the end. Fatal (-1) on any
// refusal or failure.
class ReplacedFile {
 public:
  ReplacedFile(const std::string& fileName, FileKind own);
  ~ReplacedFile();
  ReplacedFile(const ReplacedFile&) = delete;
  ReplacedFile& operator=(const ReplacedFile&) = delete;
  void replaceWith(const char* data, size_t size);

 private:
  OutputFile* file_ = nullptr;
};

// Writes size bytes as the whole content of fileName (a ReplacedFile made and written at once).
void replaceFile(const std::string& fileName, const char* data, size_t size,
                 FileKind own = FileKind::network);

// Every check replaceFile makes before it writes, with the same messages, creating and
// changing nothing: for a file that is written only at the end of a long run.
void checkReplaceable(const std::string& fileName, FileKind own = FileKind::network);
// The same checks, answered: true when checkReplaceable would let fileName pass. Otherwise
// reason (when given) holds what follows the name in the message, "" for none ("permission
// denied", "an algorithm parameters file, not a network file", ...).
bool isReplaceable(const std::string& fileName, FileKind own = FileKind::network,
                   std::string* reason = nullptr);

// True when both names exist and are the same regular file (same device and inode, so links
// and ".." paths count). A terminal or a pipe named twice is a stream, which no write destroys.
bool sameFile(const std::string& a, const std::string& b);
