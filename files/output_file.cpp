// Temporary file + rename, with every check of the target first; see output_file.h.

#include "files/output_file.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <iostream>

#include "files/paths.h"

namespace {

bool mayWrite(const std::string& path, int mode) {
  return faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0;
}

// Why folder cannot hold a new file, or 0 when it can.
int folderProblem(const std::string& folder) {
  struct stat info;
  if (stat(folder.c_str(), &info) != 0) return errno;
  if (!S_ISDIR(info.st_mode)) return ENOTDIR;
  return mayWrite(folder, W_OK | X_OK) ? 0 : errno;
}

}  // namespace

std::string OutputProblem::reason() const {
  std::string text = std::strerror(error);
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

OutputProblem examineOutput(const std::string& path, FileKind own, OutputTarget* result) {
  OutputProblem problem;
  problem.name = path;
  problem.own = own;
  const auto refuse = [&problem](OutputProblem::Code code, const std::string& where, int error) {
    problem.code = code;
    problem.where = where;
    problem.error = error;
    return problem;
  };
  if (path.empty()) return refuse(OutputProblem::cannotCreate, path, ENOENT);
  const LinkWalk walk = followLinks(path);
  switch (walk.end) {
    case LinkWalk::kResolved:
      break;
    case LinkWalk::kLoop:
      return refuse(OutputProblem::linkLoop, walk.path, ELOOP);
    case LinkWalk::kPlanted:
      return refuse(OutputProblem::plantedLink, walk.path, EACCES);
    case LinkWalk::kUnreadable:
      return refuse(OutputProblem::unreadableLink, walk.path, errno != 0 ? errno : EINVAL);
  }
  OutputTarget target;
  target.path = walk.path;
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    const int error = errno;
    if (error == ELOOP) return refuse(OutputProblem::linkLoop, path, error);
    if (error != ENOENT) return refuse(OutputProblem::cannotCreate, directoryOf(walk.path), error);
    // "out.dat/" names a folder that does not exist: no file can be made of it.
    if (path.back() == '/') return refuse(OutputProblem::directory, path, EISDIR);
    const std::string folder = directoryOf(walk.path);
    if (const int why = folderProblem(folder)) {
      return refuse(OutputProblem::cannotCreate, folder, why);
    }
    target.kind = OutputTarget::newName;
  } else if (S_ISDIR(info.st_mode)) {
    return refuse(OutputProblem::directory, path, EISDIR);
  } else if (!S_ISREG(info.st_mode)) {
    // A FIFO, a device or the like cannot be replaced, only written.
    target.kind = OutputTarget::inPlace;
    target.path = path;
    if (!mayWrite(path, W_OK)) {
      const int error = errno;
      if (result != nullptr) *result = target;
      return refuse(OutputProblem::notWritable, path, error);
    }
  } else {
    struct stat linkInfo;
    target.stream = standardStreamOf(info);
    if (target.stream >= 0 && lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
      // /dev/stdout redirected to a file: renaming over that file would lose what the
      // redirection keeps there (>> appends). A plain name is replaced as usual.
      target.kind = OutputTarget::standardStream;
      target.path = path;
    } else {
      target.stream = -1;
      target.kind = OutputTarget::regularFile;
      target.mode = info.st_mode & 07777;
    }
  }
  if (result != nullptr) *result = target;
  if (target.kind != OutputTarget::regularFile) return problem;
  problem.kind = sniffFileKind(walk.path);
  if (problem.kind != FileKind::unknown && problem.kind != own) {
    return refuse(OutputProblem::foreignKind, walk.path, 0);
  }
  // rename ignores the file's own permissions; the shell's > and cp do not.
  if (!mayWrite(walk.path, W_OK) && errno == EACCES) {
    return refuse(OutputProblem::notWritable, walk.path, EACCES);
  }
  if (const int why = folderProblem(directoryOf(walk.path))) {
    return refuse(OutputProblem::cannotCreate, directoryOf(walk.path), why);
  }
  return problem;
}

OutputFile::OutputFile(const std::string& path, FileKind own, OutputWording wording)
    : name_(path), own_(own), wording_(wording) {
  const OutputProblem problem = examineOutput(path, own, &target_);
  if (problem.code != OutputProblem::none) throw OutputFileError(problem, wording_(problem));
  if (target_.kind == OutputTarget::standardStream) fd_ = target_.stream;
  if (target_.kind == OutputTarget::inPlace) openInPlace();
}

OutputFile::~OutputFile() {
  if (fd_ >= 0 && target_.kind != OutputTarget::standardStream) close(fd_);
  if (!committed_ && !temporary_.empty()) {
    TerminationSignalsBlocked blocked;
    unlink(temporary_.c_str());
    cleanup_.release();
  }
}

void OutputFile::fail(OutputProblem::Code code, int error) {
  OutputProblem problem;
  problem.code = code;
  problem.name = name_;
  problem.where = target_.path;
  problem.error = error;
  problem.own = own_;
  throw OutputFileError(problem, wording_(problem));
}

// A FIFO is opened now, before the work that fills it: without a reader it waits here, where
// the user sees why, instead of after all the work.
void OutputFile::openInPlace() {
  struct stat info;
  if (stat(name_.c_str(), &info) == 0 && S_ISFIFO(info.st_mode)) {
    fd_ = open(name_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0 && errno == ENXIO) {
      std::cerr << "Waiting for a reader of the FIFO " << name_ << std::endl;
      do {
        fd_ = open(name_.c_str(), O_WRONLY | O_CLOEXEC);
      } while (fd_ < 0 && errno == EINTR);
    }
    if (fd_ >= 0) fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
  } else {
    fd_ = open(name_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  }
  if (fd_ < 0) fail(OutputProblem::openFailed, errno);
}

void OutputFile::openTemporary() {
  std::string name = temporaryPatternFor(target_.path);
  if (name.size() > PATH_MAX) fail(OutputProblem::openFailed, ENAMETOOLONG);
  {
    // No signal finds the file created but not yet known to the handler.
    TerminationSignalsBlocked blocked;
    fd_ = mkstemp(&name[0]);
    if (fd_ >= 0) cleanup_ = PendingCleanup(PendingCleanup::file, name);
  }
  if (fd_ < 0) fail(OutputProblem::openFailed, errno);
  temporary_ = name;
  // The finished file keeps the mode of the one it replaces, or gets the usual one.
  const mode_t mode = target_.kind == OutputTarget::regularFile ? target_.mode : newFileMode();
  if (fchmod(fd_, mode) != 0) fail(OutputProblem::openFailed, errno);
}

void OutputFile::start() {
  if (fd_ < 0) openTemporary();
}

void OutputFile::write(const char* data, size_t size) {
  if (fd_ < 0) openTemporary();
  if (target_.kind == OutputTarget::standardStream) {
    std::cout.flush();  // the program's own lines come first, as the stream has them
    std::cerr.flush();
  }
  if (checksumKept_)
    checksum_ =
        static_cast<uint32_t>(crc32_z(checksum_, reinterpret_cast<const Bytef*>(data), size));
  bytesWritten_ += size;
  while (size > 0) {
    const ssize_t written = ::write(fd_, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      fail(OutputProblem::writeFailed, errno);
    }
    if (written == 0) fail(OutputProblem::writeFailed, ENOSPC);
    data += written;
    size -= static_cast<size_t>(written);
    unflushed_ += static_cast<size_t>(written);
  }
  // Start the disk writes of every full 32 MiB now, so that they overlap the computing of the
  // next part instead of all waiting for fsync at the end.
  const size_t kWriteBehind = size_t{32} << 20;
  if (!temporary_.empty() && unflushed_ >= kWriteBehind) {
    sync_file_range(fd_, static_cast<off64_t>(flushedUpTo_), static_cast<off64_t>(unflushed_),
                    SYNC_FILE_RANGE_WRITE);
    flushedUpTo_ += unflushed_;
    unflushed_ = 0;
  }
}

void OutputFile::commit() {
  if (fd_ < 0) openTemporary();  // nothing was written: an empty file
  if (target_.kind == OutputTarget::standardStream) {
    committed_ = true;
    return;
  }
  if (!temporary_.empty() && fsync(fd_) != 0) fail(OutputProblem::writeFailed, errno);
  const int closed = close(fd_);
  const int closeError = errno;
  fd_ = -1;
  if (closed != 0) fail(OutputProblem::writeFailed, closeError);
  if (!temporary_.empty()) {
    TerminationSignalsBlocked blocked;
    if (rename(temporary_.c_str(), target_.path.c_str()) != 0) {
      fail(OutputProblem::writeFailed, errno);
    }
    cleanup_.release();
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
