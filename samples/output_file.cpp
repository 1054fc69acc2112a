// Temporary file + rename, with the target's symbolic links resolved first.

#include "samples/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "samples/exception.h"

namespace {

std::string directoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows symbolic links (dangling ones included) to the name a rename must replace.
std::string resolveLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::vector<char> target(info.st_size > 0 ? info.st_size + 1 : 4096);
    ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size()) return path;
    std::string link(target.data(), static_cast<size_t>(length));
    path = link[0] == '/' ? link : directoryOf(path) + "/" + link;
  }
  return path;
}

mode_t newFileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

OutputFile::OutputFile(const std::string& path) {
  struct stat info;
  bool exists = stat(path.c_str(), &info) == 0;
  if (exists && !S_ISREG(info.st_mode)) {
    // A FIFO, a device or the like: it cannot be replaced, only written.
    target_ = path;
    fd_ = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd_ < 0) throw Exception("Error opening file");
    return;
  }
  target_ = resolveLinks(path);
  std::string pattern = directoryOf(target_) + "/." + baseNameOf(target_) + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = mkstemp(name.data());
  if (fd_ < 0) throw Exception("Error opening file");
  temporary_ = name.data();
  // The finished file keeps the mode of the one it replaces, or gets the usual one.
  fchmod(fd_, exists ? (info.st_mode & 07777) : newFileMode());
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) close(fd_);
  if (!committed_ && !temporary_.empty()) unlink(temporary_.c_str());
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
  int status = close(fd_);
  fd_ = -1;
  if (status != 0) throw Exception("Error writing file");
  if (!temporary_.empty() && rename(temporary_.c_str(), target_.c_str()) != 0) {
    throw Exception("Error writing file");
  }
  committed_ = true;
}
