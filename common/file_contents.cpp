#include "common/file_contents.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "common/memory_limit.h"

FileContents::FileContents(const std::string& fileName)
    : FileContents(fileName, static_cast<size_t>(physicalMemoryBytes())) {}

FileContents::FileContents(const std::string& fileName, size_t maxBytes) {
  const int descriptor = open(fileName.c_str(), O_RDONLY);
  if (descriptor < 0) {
    error_ = errno;
    return;
  }
  struct stat info;
  const bool regular = fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode);
  if (regular && info.st_size == 0) {
    status_ = ok;
  } else if (regular && static_cast<unsigned long long>(info.st_size) > maxBytes) {
    status_ = tooLarge;
  } else if (regular && map(descriptor, static_cast<size_t>(info.st_size))) {
    status_ = ok;
  } else {
    status_ = readAll(descriptor, maxBytes / 4) ? ok : status_;
  }
  close(descriptor);
}

FileContents::~FileContents() {
  if (mapping_ != nullptr) munmap(mapping_, size_);
}

bool FileContents::map(int descriptor, size_t length) {
  void* mapping = mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, descriptor, 0);
  if (mapping == MAP_FAILED) return false;
  madvise(mapping, length, MADV_SEQUENTIAL);
  mapping_ = mapping;
  data_ = static_cast<const char*>(mapping);
  size_ = length;
  return true;
}

// On failure sets status_ to readError or tooLarge.
bool FileContents::readAll(int descriptor, size_t maxBytes) {
  size_t capacity = 1 << 16;
  size_t length = 0;
  std::unique_ptr<char[]> buffer(new char[capacity]);
  for (;;) {
    if (length > maxBytes) {
      status_ = tooLarge;
      return false;
    }
    if (length == capacity) {
      // One byte past the limit is enough to tell that the content is too large.
      const size_t larger = std::min(2 * capacity, maxBytes + 1);
      std::unique_ptr<char[]> grown(new char[larger]);
      std::memcpy(grown.get(), buffer.get(), length);
      buffer = std::move(grown);
      capacity = larger;
    }
    const ssize_t n = read(descriptor, buffer.get() + length, capacity - length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      status_ = readError;
      error_ = errno;
      return false;
    }
    if (n == 0) break;
    length += static_cast<size_t>(n);
  }
  buffer_ = std::move(buffer);
  data_ = buffer_.get();
  size_ = length;
  return true;
}

std::string FileContents::reason() const { return systemReason(error_); }

std::string systemReason(int error) {
  if (error == 0) return "";
  std::string text = std::strerror(error);
  text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

bool isDirectory(const std::string& fileName) {
  struct stat info;
  return stat(fileName.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
