// Writing a whole file so that a failure never costs the previous file: see replace_file.h.
#include "nn/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "nn/fatal.h"

namespace {

bool writeAll(int descriptor, const char* data, size_t size) {
  size_t written = 0;
  while (written < size) {
    const ssize_t n = write(descriptor, data + written, size - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Follows symbolic links to the name that is finally written (it may not exist yet).
std::string resolveLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::vector<char> target(static_cast<size_t>(info.st_size > 0 ? info.st_size : PATH_MAX) + 1);
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size()) return path;
    const std::string link(target.data(), static_cast<size_t>(length));
    path = (link[0] == '/') ? link : directoryOf(path) + "/" + link;
  }
  return path;
}

// A device or FIFO is written where it is (it cannot be replaced by a rename).
void writeInPlace(const std::string& path, const std::string& fileName, const char* data,
                  size_t size) {
  const int descriptor = open(path.c_str(), O_WRONLY | O_TRUNC);
  if (descriptor < 0) fatal("Error opening file: " + fileName, -1);
  const bool written = writeAll(descriptor, data, size);
  if (close(descriptor) != 0 || !written) fatal("Error writing file: " + fileName, -1);
}

// A regular file, or a new name, is written to a temporary file beside it and renamed over
// it, so a failure part-way never destroys the previous file.
void writeByRename(const std::string& path, const std::string& fileName, const char* data,
                   size_t size, const struct stat* previous) {
  std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  std::string temporary = directoryOf(path) + "/." + base + ".XXXXXX";
  const int descriptor = mkstemp(&temporary[0]);
  if (descriptor < 0) fatal("Error opening file: " + fileName, -1);
  // Keep the permissions of the file replaced; a new file gets the usual 0666 less umask.
  mode_t mode;
  if (previous != nullptr) {
    mode = previous->st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  const bool written =
      fchmod(descriptor, mode) == 0 && writeAll(descriptor, data, size) && fsync(descriptor) == 0;
  const bool closed = close(descriptor) == 0;
  if (!written || !closed || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    fatal("Error writing file: " + fileName, -1);
  }
}

// The descriptor of standard output or error when file is that same file, else -1.
int standardStreamOf(const struct stat& file) {
  for (int descriptor : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat info;
    if (fstat(descriptor, &info) == 0 && info.st_dev == file.st_dev && info.st_ino == file.st_ino) {
      return descriptor;
    }
  }
  return -1;
}

}  // namespace

void replaceFile(const std::string& fileName, const char* data, size_t size) {
  std::cout.flush();  // the file may be standard output itself
  std::cerr.flush();
  struct stat info;
  if (stat(fileName.c_str(), &info) != 0) {
    if (errno != ENOENT) fatal("Error opening file: " + fileName, -1);
    writeByRename(resolveLinks(fileName), fileName, data, size, nullptr);  // a new name
  } else if (S_ISDIR(info.st_mode)) {
    fatal("Error opening file: " + fileName, -1);
  } else if (!S_ISREG(info.st_mode)) {
    writeInPlace(fileName, fileName, data, size);
  } else if (const int stream = standardStreamOf(info); stream >= 0) {
    // /dev/stdout redirected to a file: renaming over it would cut the program's own
    // output off, so the bytes go where that output stands.
    if (!writeAll(stream, data, size)) fatal("Error writing file: " + fileName, -1);
  } else {
    writeByRename(resolveLinks(fileName), fileName, data, size, &info);
  }
}
