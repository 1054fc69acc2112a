#include "nn/file_contents.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

FileContents::FileContents(const std::string& fileName) {
  const int descriptor = open(fileName.c_str(), O_RDONLY);
  if (descriptor < 0) return;
  struct stat info;
  const bool regular = fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode);
  if (regular && info.st_size == 0) {
    status_ = ok;
  } else {
    const bool done = (regular && map(descriptor, static_cast<size_t>(info.st_size))) ||
                      readAll(descriptor);
    status_ = done ? ok : readError;
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

bool FileContents::readAll(int descriptor) {
  size_t capacity = 1 << 16;
  size_t length = 0;
  std::unique_ptr<char[]> buffer(new char[capacity]);
  for (;;) {
    if (length == capacity) {
      std::unique_ptr<char[]> larger(new char[2 * capacity]);
      std::memcpy(larger.get(), buffer.get(), length);
      buffer = std::move(larger);
      capacity *= 2;
    }
    const ssize_t n = read(descriptor, buffer.get() + length, capacity - length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    length += static_cast<size_t>(n);
  }
  buffer_ = std::move(buffer);
  data_ = buffer_.get();
  size_ = length;
  return true;
}
