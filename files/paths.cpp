#include "files/paths.h"

#include <unistd.h>

#include <climits>
#include <vector>

namespace {

// As many links as the kernel follows in one path before it reports a loop.
const int kMaxLinkHops = 40;

// The parts of a path, in order; empty parts (a//b, a trailing /) dropped.
std::vector<std::string> partsOf(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t slash = path.find('/', start);
    const size_t end = slash == std::string::npos ? path.size() : slash;
    if (end > start) parts.push_back(path.substr(start, end - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return parts;
}

// A resolved prefix ("" is the working directory) and one more part.
std::string joined(const std::string& prefix, const std::string& part) {
  if (prefix.empty()) return part;
  return prefix == "/" ? "/" + part : prefix + "/" + part;
}

// The parent of a resolved prefix. The prefix holds no links, so its text parent is the
// folder's real parent; a relative prefix climbs with "..".
std::string parentOf(const std::string& prefix) {
  if (prefix == "/") return prefix;
  if (prefix.empty() || prefix == ".." ||
      (prefix.size() >= 3 && prefix.compare(prefix.size() - 3, 3, "/..") == 0)) {
    return joined(prefix, "..");
  }
  const size_t slash = prefix.rfind('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : prefix.substr(0, slash);
}

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

// Part by part, as the kernel walks a path: each link is judged where it stands, then its
// target takes the place of the link in what is still to walk. Parts that do not exist are
// kept as written; creating the file reports them.
LinkWalk followLinks(const std::string& path) {
  std::string resolved = !path.empty() && path[0] == '/' ? "/" : "";
  std::vector<std::string> rest = partsOf(path);
  std::vector<std::string> toWalk(rest.rbegin(), rest.rend());  // next part at the back
  int hops = 0;
  while (!toWalk.empty()) {
    const std::string part = toWalk.back();
    toWalk.pop_back();
    if (part == ".") continue;
    if (part == "..") {
      resolved = parentOf(resolved);
      continue;
    }
    const std::string candidate = joined(resolved, part);
    struct stat info;
    if (lstat(candidate.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      resolved = candidate;
      continue;
    }
    if (++hops > kMaxLinkHops) return {LinkWalk::kLoop, candidate};
    if (isPlantedLink(candidate, info)) return {LinkWalk::kPlanted, candidate};
    std::vector<char> target(static_cast<size_t>(info.st_size > 0 ? info.st_size : PATH_MAX) + 1);
    const ssize_t length = readlink(candidate.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<size_t>(length) >= target.size()) {
      return {LinkWalk::kUnreadable, candidate};
    }
    const std::string link(target.data(), static_cast<size_t>(length));
    if (link[0] == '/') resolved = "/";
    const std::vector<std::string> linkParts = partsOf(link);
    toWalk.insert(toWalk.end(), linkParts.rbegin(), linkParts.rend());
  }
  return {LinkWalk::kResolved, resolved.empty() ? "." : resolved};
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
  const std::string suffix = ".XXXXXX";
  std::string name = baseNameOf(path);
  // "." + name + suffix must stay a valid name: a 250-byte name is a valid target.
  if (1 + name.size() + suffix.size() > kMaxFileNameBytes) {
    name.resize(kMaxFileNameBytes - 1 - suffix.size());
  }
  return directoryOf(path) + "/." + name + suffix;
}

mode_t newFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}
