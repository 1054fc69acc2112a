// The network file: L, the L layer sizes, the weights, the input ranges and the output
// ranges, as little-endian 32-bit ints and IEEE floats, with no header.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "nn/fatal.h"
#include "nn/file_contents.h"
#include "nn/memory_limit.h"
#include "nn/reloaded_network.h"

namespace {

void appendWord(std::vector<unsigned char>& bytes, uint32_t word) {
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back((word >> shift) & 0xff);
}

void appendFloats(std::vector<unsigned char>& bytes, const float* values, size_t count) {
  for (size_t k = 0; k < count; ++k) {
    uint32_t word;
    std::memcpy(&word, &values[k], sizeof word);
    appendWord(bytes, word);
  }
}

uint32_t wordAt(const char* bytes) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

bool writeAll(int descriptor, const std::vector<unsigned char>& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(descriptor, bytes.data() + written, bytes.size() - written);
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
void writeInPlace(const std::string& path, const std::string& fileName,
                  const std::vector<unsigned char>& bytes) {
  const int descriptor = open(path.c_str(), O_WRONLY | O_TRUNC);
  if (descriptor < 0) fatal("Error opening file: " + fileName, -1);
  const bool written = writeAll(descriptor, bytes);
  if (close(descriptor) != 0 || !written) fatal("Error writing file: " + fileName, -1);
}

// A regular file, or a new name, is written to a temporary file beside it and renamed over
// it, so a failure part-way never destroys the previous file.
void writeByRename(const std::string& path, const std::string& fileName,
                   const std::vector<unsigned char>& bytes, const struct stat* previous) {
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
  const bool written = fchmod(descriptor, mode) == 0 && writeAll(descriptor, bytes) &&
                       fsync(descriptor) == 0;
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
    if (fstat(descriptor, &info) == 0 && info.st_dev == file.st_dev &&
        info.st_ino == file.st_ino) {
      return descriptor;
    }
  }
  return -1;
}

}  // namespace

void NN::save(const std::string& fileName) const {
  if (weights.size() < static_cast<size_t>(numberOfWeights())) {
    fatal("Network has no weights to save to " + fileName, -1);  // never trained
  }
  std::vector<unsigned char> bytes;
  appendWord(bytes, static_cast<uint32_t>(numberOfLayers()));
  for (int size : layers) appendWord(bytes, static_cast<uint32_t>(size));
  appendFloats(bytes, weights.data(), static_cast<size_t>(numberOfWeights()));
  appendFloats(bytes, inputRanges.data(), 2 * static_cast<size_t>(inputSize()));
  appendFloats(bytes, outputRanges.data(), 2 * static_cast<size_t>(outputSize()));

  std::cout.flush();  // the file may be standard output itself
  std::cerr.flush();
  struct stat info;
  if (stat(fileName.c_str(), &info) != 0) {
    if (errno != ENOENT) fatal("Error opening file: " + fileName, -1);
    writeByRename(resolveLinks(fileName), fileName, bytes, nullptr);  // a new name
  } else if (S_ISDIR(info.st_mode)) {
    fatal("Error opening file: " + fileName, -1);
  } else if (!S_ISREG(info.st_mode)) {
    writeInPlace(fileName, fileName, bytes);
  } else if (const int stream = standardStreamOf(info); stream >= 0) {
    // /dev/stdout redirected to a file: renaming over it would cut the program's own
    // output off, so the bytes go where that output stands.
    if (!writeAll(stream, bytes)) fatal("Error writing file: " + fileName, -1);
  } else {
    writeByRename(resolveLinks(fileName), fileName, bytes, &info);
  }
}

// The whole file is read first, so every size is checked against the bytes that are really
// there before anything is sized from it: a damaged count cannot make the reader allocate.
NN_reloaded::NN_reloaded(const std::string& fileName) {
  const FileContents contents(fileName);
  if (contents.status() == FileContents::tooLarge) {
    fatal("Corrupt network file: " + fileName + ": too large for the " +
              mebibytes(physicalMemoryBytes()) + " of memory of this machine",
          -1);
  }
  if (contents.status() != FileContents::ok) fatal("Error opening file: " + fileName, -1);
  const auto corrupt = [&fileName](const std::string& reason) {
    fatal("Corrupt network file: " + fileName + ": " + reason, -1);
  };
  const size_t fileSize = contents.size();
  const char* bytes = contents.begin();
  if (fileSize < 4) corrupt("no layer count");
  const int32_t layerCount = static_cast<int32_t>(wordAt(bytes));
  if (layerCount < 2) corrupt("layer count " + std::to_string(layerCount) + " is below 2");
  if (static_cast<uint64_t>(layerCount) > (fileSize - 4) / 4) corrupt("file too short");

  // Sizes are checked against the bytes really there as they are read; weight counts stay
  // within int, so no sum below can overflow.
  uint64_t weightCount = 0;
  std::vector<int> sizes(static_cast<size_t>(layerCount));
  for (int l = 0; l < layerCount; ++l) {
    sizes[l] = static_cast<int32_t>(wordAt(bytes + 4 + 4 * l));
    if (sizes[l] < 1) {
      corrupt("layer " + std::to_string(l) + " has size " + std::to_string(sizes[l]));
    }
    if (l > 0) weightCount += (static_cast<uint64_t>(sizes[l - 1]) + 1) * sizes[l];
    if (weightCount > INT_MAX) corrupt("too many weights");
  }
  const uint64_t expected = 4 + 4 * static_cast<uint64_t>(layerCount) + 4 * weightCount +
                            8 * static_cast<uint64_t>(sizes.front()) +
                            8 * static_cast<uint64_t>(sizes.back());
  if (expected > fileSize) corrupt("file too short for its layer sizes");
  if (expected < fileSize) corrupt("file longer than its layer sizes imply");

  layers = sizes;
  const auto readFloats = [](std::vector<float>& values, size_t count, const char*& cursor) {
    values.resize(count);
    for (size_t k = 0; k < count; ++k, cursor += 4) {
      const uint32_t word = wordAt(cursor);
      std::memcpy(&values[k], &word, sizeof word);
    }
  };
  const char* cursor = bytes + 4 + 4 * static_cast<size_t>(layerCount);
  readFloats(weights, static_cast<size_t>(numberOfWeights()), cursor);
  readFloats(inputRanges, 2 * static_cast<size_t>(inputSize()), cursor);
  readFloats(outputRanges, 2 * static_cast<size_t>(outputSize()), cursor);
  allocateBuffers();
}

double NN_reloaded::train() { fatal("Training not allowed", -1); }

void NN_reloaded::printInfo() {
  printInfoTitle();
  printTopologyInfo();
}
