// Plain bytes straight from the file; gzip members through inflate, member after member.

#include "sample_builder/log_source.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>

#include "sample_builder/exception.h"

namespace {

bool isGzipMagic(const unsigned char* bytes) { return bytes[0] == 0x1f && bytes[1] == 0x8b; }

// Compressed forms zlib cannot read, told by their first bytes; nullptr for anything else.
// Read as text they give no job line, which would say "No finished jobs in the log".
const char* foreignCompression(const unsigned char* bytes, size_t size) {
  struct Magic {
    const char* what;
    const char* bytes;
    size_t size;
  };
  static const Magic kinds[] = {
      {"bzip2-compressed data; tallis reads plain or gzip-compressed logs (bunzip2 -k it first)",
       "BZh", 3},
      {"xz-compressed data; tallis reads plain or gzip-compressed logs (unxz -k it first)",
       "\xfd"
       "7zXZ\0",
       6},
      {"zstd-compressed data; tallis reads plain or gzip-compressed logs (unzstd it first)",
       "\x28\xb5\x2f\xfd", 4},
      {"a zip archive; tallis reads plain or gzip-compressed logs (unzip it first)", "PK\x03\x04",
       4},
      {"a 7z archive; tallis reads plain or gzip-compressed logs (extract it first)",
       "7z\xbc\xaf\x27\x1c", 6},
  };
  for (const Magic& kind : kinds) {
    if (size >= kind.size && std::memcmp(bytes, kind.bytes, kind.size) == 0) return kind.what;
  }
  return nullptr;
}

// The system's text for an error, starting in lower case, as the other messages have it.
std::string reasonFor(int error) {
  std::string reason = std::strerror(error);
  reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
  return reason;
}

}  // namespace

void LogSource::fail(const std::string& why) const {
  throw Exception("Error reading file: " + path_ + ": " + why);
}

void LogSource::failInflate() const {
  fail(std::string("damaged or truncated gzip data") +
       (stream_.msg != nullptr ? std::string(" (") + stream_.msg + ")" : ""));
}

LogSource::LogSource(const std::string& path) : path_(path), input_(size_t{1} << 18) {
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) throw Exception("Error opening file: " + path + ": " + reasonFor(errno));
  detectCompression();
}

LogSource::LogSource(int descriptor)
    : path_("standard input"), fd_(descriptor), input_(size_t{1} << 18) {
  if (fd_ < 0) throw Exception("Error reading file");
  detectCompression();
}

void LogSource::detectCompression() {
  try {
    // The first bytes decide; a log of fewer than two bytes is plain text.
    while (end_ < 6 && fill()) {
    }
    compressed_ = end_ >= 2 && isGzipMagic(input_.data());
    if (const char* foreign = foreignCompression(input_.data(), end_)) {
      fail(foreign);
    }
    if (compressed_) {
      if (inflateInit2(&stream_, 15 + 16) != Z_OK) fail("zlib cannot start");
      inflating_ = true;
    }
  } catch (...) {
    close(fd_);
    throw;
  }
}

LogSource::~LogSource() {
  if (inflating_) inflateEnd(&stream_);
  close(fd_);
}

bool LogSource::fill() {
  if (start_ > 0) {
    std::memmove(input_.data(), input_.data() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  for (;;) {
    ssize_t count = ::read(fd_, input_.data() + end_, input_.size() - end_);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) fail(reasonFor(errno));
    end_ += static_cast<size_t>(count);
    return count > 0;
  }
}

size_t LogSource::read(char* out, size_t size) {
  if (compressed_) return readCompressed(out, size);
  if (start_ < end_) {
    size_t count = std::min(size, end_ - start_);
    std::memcpy(out, input_.data() + start_, count);
    start_ += count;
    return count;
  }
  for (;;) {
    ssize_t count = ::read(fd_, out, size);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) fail(reasonFor(errno));
    return static_cast<size_t>(count);
  }
}

size_t LogSource::readCompressed(char* out, size_t size) {
  const uInt room = static_cast<uInt>(std::min<size_t>(size, UINT_MAX));
  stream_.next_out = reinterpret_cast<Bytef*>(out);
  stream_.avail_out = room;
  while (stream_.avail_out == room) {
    if (atMemberEnd_) {
      // The end of the file, another member, or data that zlib's own reader would drop.
      while (end_ - start_ < 2 && fill()) {
      }
      if (start_ == end_) return 0;
      if (end_ - start_ < 2 || !isGzipMagic(input_.data() + start_)) {
        fail("data after the end of the compressed log");
      }
      inflateReset(&stream_);
      atMemberEnd_ = false;
    }
    // A member that ends with the file is a truncated download.
    if (start_ == end_ && !fill()) fail("the gzip data ends early (a truncated download?)");
    stream_.next_in = input_.data() + start_;
    stream_.avail_in = static_cast<uInt>(end_ - start_);
    const int status = inflate(&stream_, Z_NO_FLUSH);
    start_ = end_ - stream_.avail_in;
    if (status == Z_STREAM_END) {
      atMemberEnd_ = true;
    } else if (status != Z_OK && !(status == Z_BUF_ERROR && start_ == end_)) {
      failInflate();
    }
  }
  return room - stream_.avail_out;
}
