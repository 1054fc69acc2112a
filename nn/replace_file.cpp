// Writing a whole file so that a failure never costs the previous file: see replace_file.h.
#include "nn/replace_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "files/paths.h"
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

bool mayWrite(const std::string& path) {
  return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// Where and how fileName is written, after every check that needs no writing.
struct Target {
  enum Kind { newName, regularFile, standardStream, inPlace } kind;
  std::string path;  // links resolved, for newName and regularFile
  struct stat info;  // of the existing file
  int stream;        // for standardStream
};

// Fills target; returns "" when fileName may be written, else the message that refuses it.
std::string examine(const std::string& fileName, Target& target) {
  const std::string cannotOpen = "Error opening file: " + fileName;
  // A loop or an unreadable link is left to stat, which reports it.
  const LinkWalk walk = followLinks(fileName);
  target = Target{Target::newName, walk.path, {}, -1};
  if (walk.end == LinkWalk::kPlanted) {
    return cannotOpen +
           ": a symbolic link in a sticky world-writable folder, owned by another "
           "user";
  }
  if (stat(fileName.c_str(), &target.info) != 0) {
    if (errno != ENOENT) return cannotOpen;  // a loop, a folder without access...
    // A new name: the temporary file must be possible in the folder that will hold it.
    struct stat folder;
    const std::string where = directoryOf(target.path);
    if (stat(where.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode) ||
        faccessat(AT_FDCWD, where.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
      return cannotOpen;
    }
    return "";
  }
  if (S_ISDIR(target.info.st_mode)) return cannotOpen;
  if (!S_ISREG(target.info.st_mode)) {
    target.kind = Target::inPlace;
    return mayWrite(fileName) ? "" : cannotOpen + ": permission denied";
  }
  target.stream = standardStreamOf(target.info);
  if (target.stream >= 0) {
    target.kind = Target::standardStream;
    return "";
  }
  // rename would replace a file the user may not write; the shell's > and cp refuse it.
  target.kind = Target::regularFile;
  if (!mayWrite(target.path)) return cannotOpen + ": permission denied";
  if (faccessat(AT_FDCWD, directoryOf(target.path).c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    return cannotOpen;
  }
  return "";
}

// A device or FIFO is written where it is (it cannot be replaced by a rename).
void writeInPlace(const std::string& fileName, const char* data, size_t size) {
  const int descriptor = open(fileName.c_str(), O_WRONLY | O_TRUNC);
  if (descriptor < 0) fatal("Error opening file: " + fileName, -1);
  const bool written = writeAll(descriptor, data, size);
  if (close(descriptor) != 0 || !written) fatal("Error writing file: " + fileName, -1);
}

// The temporary file of the write in progress, for the signal handler: a fixed buffer, as
// the handler may only make async-signal-safe calls.
char temporaryName[PATH_MAX + 1];
const int kCleanupSignals[] = {SIGTERM, SIGHUP, SIGINT};
struct sigaction previousActions[3];

void removeTemporaryAndDie(int number) {
  unlink(temporaryName);
  // Ends the process as the signal would have: it is blocked while this handler runs, so it
  // is delivered, with the default action, when the handler returns.
  std::signal(number, SIG_DFL);
  raise(number);
}

sigset_t cleanupSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int number : kCleanupSignals) sigaddset(&set, number);
  return set;
}

// Creates the temporary file for path with the three signals held back, so that no signal
// finds the file created but not yet known to the handler. Returns its descriptor or -1.
int createTemporary(const std::string& path) {
  std::string temporary = temporaryPatternFor(path);
  if (temporary.size() > PATH_MAX) return -1;
  const sigset_t set = cleanupSignalSet();
  sigset_t previousMask;
  sigprocmask(SIG_BLOCK, &set, &previousMask);
  const int descriptor = mkstemp(&temporary[0]);
  if (descriptor >= 0) {
    std::memcpy(temporaryName, temporary.c_str(), temporary.size() + 1);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = removeTemporaryAndDie;
    action.sa_mask = set;
    for (int k = 0; k < 3; ++k) {
      sigaction(kCleanupSignals[k], nullptr, &previousActions[k]);
      // A signal that is ignored (nohup) or handled already keeps its disposition.
      if (previousActions[k].sa_handler == SIG_DFL) sigaction(kCleanupSignals[k], &action, nullptr);
    }
  }
  sigprocmask(SIG_SETMASK, &previousMask, nullptr);
  return descriptor;
}

// The temporary file is gone (renamed or removed): the signals act as before.
void forgetTemporary() {
  const sigset_t set = cleanupSignalSet();
  sigset_t previousMask;
  sigprocmask(SIG_BLOCK, &set, &previousMask);
  for (int k = 0; k < 3; ++k) sigaction(kCleanupSignals[k], &previousActions[k], nullptr);
  temporaryName[0] = '\0';
  sigprocmask(SIG_SETMASK, &previousMask, nullptr);
}

// A regular file, or a new name, is written to a temporary file beside it and renamed over
// it, so a failure part-way never destroys the previous file.
void writeByRename(const Target& target, const std::string& fileName, const char* data,
                   size_t size) {
  const int descriptor = createTemporary(target.path);
  if (descriptor < 0) fatal("Error opening file: " + fileName, -1);
  // Keep the permissions of the file replaced; a new file gets the usual 0666 less umask.
  const mode_t mode =
      target.kind == Target::regularFile ? (target.info.st_mode & 07777) : newFileMode();
  const bool written =
      fchmod(descriptor, mode) == 0 && writeAll(descriptor, data, size) && fsync(descriptor) == 0;
  const bool closed = close(descriptor) == 0;
  const std::string temporary = temporaryName;
  const bool renamed = written && closed && rename(temporary.c_str(), target.path.c_str()) == 0;
  if (!renamed) unlink(temporary.c_str());
  forgetTemporary();
  if (!renamed) fatal("Error writing file: " + fileName, -1);
}

}  // namespace

void checkReplaceable(const std::string& fileName) {
  Target target;
  const std::string problem = examine(fileName, target);
  if (!problem.empty()) fatal(problem, -1);
}

bool isReplaceable(const std::string& fileName) {
  Target target;
  return examine(fileName, target).empty();
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat first;
  return stat(a.c_str(), &first) == 0 && S_ISREG(first.st_mode) && isSameFile(a, b);
}

void replaceFile(const std::string& fileName, const char* data, size_t size) {
  std::cout.flush();  // the file may be standard output itself
  std::cerr.flush();
  Target target;
  const std::string problem = examine(fileName, target);
  if (!problem.empty()) fatal(problem, -1);
  switch (target.kind) {
    case Target::inPlace:
      writeInPlace(fileName, data, size);
      break;
    case Target::standardStream:
      // /dev/stdout redirected to a file: renaming over it would cut the program's own
      // output off, so the bytes go where that output stands.
      if (!writeAll(target.stream, data, size)) fatal("Error writing file: " + fileName, -1);
      break;
    case Target::newName:
    case Target::regularFile:
      writeByRename(target, fileName, data, size);
      break;
  }
}
