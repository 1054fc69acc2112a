#include "files/paths.h"

#include <unistd.h>

#include <climits>
#include <vector>

namespace {

// As many links as the kernel follows in one path before it reports a loop.
const int kMaxLinkHops = 40;

}  // namespace

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isPlantedLink(const std::string& link, const struct stat& linkInfo) {
  struct stat folder;
  if (stat(directoryOf(link).c_str(), &folder) != 0) return false;
  const bool stickyWorldWritable = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  return stickyWorldWritable && linkInfo.st_uid != geteuid() && linkInfo.st_uid != folder.st_uid;
}

LinkWalk followLinks(const std::string& path) {
  std::string name = path;
  for (int hops = 0;; ++hops) {
    struct stat info;
    if (lstat(name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      return {LinkWalk::kResolved, name};
    }
    if (hops == kMaxLinkHops) return {LinkWalk::kLoop, name};
    if (isPlantedLink(name, info)) return {LinkWalk::kPlanted, name};
    std::vector<char> target(static_cast<size_t>(info.st_size > 0 ? info.st_size : PATH_MAX) + 1);
    const ssize_t length = readlink(name.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<size_t>(length) >= target.size()) {
      return {LinkWalk::kUnreadable, name};
    }
    const std::string link(target.data(), static_cast<size_t>(length));
    name = link[0] == '/' ? link : directoryOf(name) + "/" + link;
  }
}

int standardStreamOf(const struct stat& file) {
  for (int descriptor : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat info;
    if (fstat(descriptor, &info) == 0 && info.st_dev == file.st_dev && info.st_ino == file.st_ino) {
      return descriptor;
    }
  }
  return -1;
}

bool isSameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string temporaryPatternFor(const std::string& path) {
  return directoryOf(path) + "/." + baseNameOf(path) + ".XXXXXX";
}

mode_t newFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}
