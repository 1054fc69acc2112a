// Temporary file + rename, with the target's symbolic links resolved (and checked) first.

#include "samples/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>

#include "files/paths.h"
#include "samples/exception.h"

namespace {

const int kTerminationSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The temporary file being written, for the signal handler: changed only while the termination
// signals are blocked, so the handler never sees half a name.
char pendingTemporary[4096];

class TerminationSignalsBlocked {
 public:
  TerminationSignalsBlocked() {
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : kTerminationSignals) sigaddset(&signals, signal);
    sigprocmask(SIG_BLOCK, &signals, &previous_);
  }
  ~TerminationSignalsBlocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
};

extern "C" void removeTemporaryAndEnd(int signal) {
  if (pendingTemporary[0] != '\0') unlink(pendingTemporary);
  // SA_RESETHAND put the default action back: the signal ends the process with its status.
  raise(signal);
}

std::string quoted(const std::string& name) { return "'" + name + "'"; }

// Follows symbolic links (dangling ones included) to the name a rename must replace.
std::string resolveLinks(const std::string& path) {
  const LinkWalk walk = followLinks(path);
  switch (walk.end) {
    case LinkWalk::kResolved:
      break;
    case LinkWalk::kLoop:
      throw Exception("Refusing to write " + quoted(path) + ": a symbolic link loop");
    case LinkWalk::kPlanted:
      throw Exception("Refusing to follow the symbolic link " + quoted(walk.path) +
                      " in the shared folder " + quoted(directoryOf(walk.path)) +
                      ": it belongs to another user");
    case LinkWalk::kUnreadable:
      throw Exception("Error opening file");
  }
  return walk.path;
}

struct Target {
  enum Kind { kNew, kReplace, kInPlace, kStream } kind;
  std::string path;  // what is opened, or renamed over
  mode_t mode = 0;   // of the file replaced
  int stream = -1;   // kStream: the descriptor written through
};

Target findTarget(const std::string& path) {
  const std::string resolved = resolveLinks(path);
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ELOOP)
      throw Exception("Refusing to write " + quoted(path) + ": a symbolic link loop");
    return {Target::kNew, resolved};  // creating it reports what else is wrong
  }
  // A FIFO, a device or the like cannot be replaced, only written.
  if (!S_ISREG(info.st_mode)) return {Target::kInPlace, path};
  // /dev/stdout (a link) redirected to a file: renaming over that file would lose what the
  // redirection keeps there (>> appends). A plain name is replaced as usual.
  struct stat linkInfo;
  const int stream = standardStreamOf(info);
  if (stream >= 0 && lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
    return {Target::kStream, path, 0, stream};
  }
  // rename ignores the file's own permissions; the shell's > and cp do not.
  if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES) {
    throw Exception("Refusing to replace " + quoted(path) + ": the file is not writable");
  }
  return {Target::kReplace, resolved, static_cast<mode_t>(info.st_mode & 07777)};
}

}  // namespace

void checkOutputTarget(const std::string& path) { findTarget(path); }

void removeTemporaryFileOnTerminationSignals() {
  for (int signal : kTerminationSignals) {
    struct sigaction previous;
    if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = removeTemporaryAndEnd;
    sigemptyset(&action.sa_mask);
    for (int other : kTerminationSignals) sigaddset(&action.sa_mask, other);
    action.sa_flags = SA_RESETHAND;
    sigaction(signal, &action, nullptr);
  }
}

OutputFile::OutputFile(const std::string& path) {
  const Target target = findTarget(path);
  target_ = target.path;
  if (target.kind == Target::kStream) {
    std::cout.flush();
    std::cerr.flush();
    fd_ = target.stream;
    ownsDescriptor_ = false;
    return;
  }
  if (target.kind == Target::kInPlace) {
    fd_ = open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd_ < 0) throw Exception("Error opening file");
    return;
  }
  const std::string pattern = temporaryPatternFor(target_);
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  {
    TerminationSignalsBlocked blocked;
    fd_ = mkstemp(name.data());
    if (fd_ >= 0 && name.size() <= sizeof pendingTemporary) {
      std::memcpy(pendingTemporary, name.data(), name.size());
    }
  }
  if (fd_ < 0) throw Exception("Error opening file");
  temporary_ = name.data();
  // The finished file keeps the mode of the one it replaces, or gets the usual one.
  fchmod(fd_, target.kind == Target::kReplace ? target.mode : newFileMode());
}

OutputFile::~OutputFile() {
  if (fd_ >= 0 && ownsDescriptor_) close(fd_);
  if (committed_ || temporary_.empty()) return;
  TerminationSignalsBlocked blocked;
  unlink(temporary_.c_str());
  if (temporary_ == pendingTemporary) pendingTemporary[0] = '\0';
}

void OutputFile::write(const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd_, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      throw Exception("Error writing file");
    }
    data += written;
    size -= static_cast<size_t>(written);
    unflushed_ += static_cast<size_t>(written);
  }
  // Start the disk writes of every full 32 MiB now, so that they overlap the computing of the
  // next samples instead of all waiting for fsync at the end.
  const size_t kWriteBehind = size_t{32} << 20;
  if (!temporary_.empty() && unflushed_ >= kWriteBehind) {
    sync_file_range(fd_, static_cast<off64_t>(flushedUpTo_), static_cast<off64_t>(unflushed_),
                    SYNC_FILE_RANGE_WRITE);
    flushedUpTo_ += unflushed_;
    unflushed_ = 0;
  }
}

void OutputFile::commit() {
  if (!temporary_.empty() && fsync(fd_) != 0) throw Exception("Error writing file");
  int status = ownsDescriptor_ ? close(fd_) : 0;
  fd_ = -1;
  if (status != 0) throw Exception("Error writing file");
  if (!temporary_.empty()) {
    TerminationSignalsBlocked blocked;
    if (rename(temporary_.c_str(), target_.c_str()) != 0) throw Exception("Error writing file");
    if (temporary_ == pendingTemporary) pendingTemporary[0] = '\0';
  }
  committed_ = true;
}

OutputFileBuffer::OutputFileBuffer(OutputFile& file) : file_(file), buffer_(size_t{1} << 16) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
}

void OutputFileBuffer::finish() {
  if (!drain()) std::rethrow_exception(error_);
}

OutputFileBuffer::int_type OutputFileBuffer::overflow(int_type c) {
  if (!drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int OutputFileBuffer::sync() { return drain() ? 0 : -1; }

bool OutputFileBuffer::drain() {
  if (error_) return false;
  try {
    file_.write(pbase(), static_cast<size_t>(pptr() - pbase()));
  } catch (...) {
    error_ = std::current_exception();
    return false;
  }
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return true;
}
