#include "opencl/private_memory.h"

#include <pthread.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>

namespace {

const char kToken[] = "[PRIVATE_MEM_SIZE]";
const size_t kUnknownTypeBytes = 128;  // double16, the largest built-in type
// Kept free on a worker's stack for the runtime's own frames and the kernel's small locals.
const size_t kStackReserveBytes = 64 * 1024;

// source with every comment turned into blanks, so that a token in a comment does not count.
std::string withoutComments(const std::string& source) {
  std::string text = source;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '/' || (text[i + 1] != '/' && text[i + 1] != '*')) continue;
    const bool line = text[i + 1] == '/';
    const size_t end = line ? text.find('\n', i) : text.find("*/", i + 2);
    const size_t stop = end == std::string::npos ? text.size() : end + (line ? 0 : 2);
    std::fill(text.begin() + i, text.begin() + stop, ' ');
    i = stop - 1;
  }
  return text;
}

// Size of an OpenCL C type name: a scalar, or a vector (float8); 0 when unknown.
size_t typeBytes(const std::string& name) {
  const struct {
    const char* scalar;
    size_t bytes;
  } scalars[] = {{"char", 1},   {"uchar", 1}, {"bool", 1},  {"short", 2},
                 {"ushort", 2}, {"half", 2},  {"int", 4},   {"uint", 4},
                 {"float", 4},  {"long", 8},  {"ulong", 8}, {"double", 8}};
  size_t digits = name.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
  const std::string base = name.substr(0, digits);
  const int width = digits == name.size() ? 1 : std::atoi(name.c_str() + digits);
  if (width != 1 && width != 2 && width != 3 && width != 4 && width != 8 && width != 16) return 0;
  for (const auto& scalar : scalars) {
    // A 3-vector takes the room of a 4-vector.
    if (base == scalar.scalar) return scalar.bytes * (width == 3 ? 4 : width);
  }
  return 0;
}

// The element type of the declaration that holds position: the first word of its statement
// that is not a qualifier.
std::string declaredType(const std::string& text, size_t position) {
  const size_t start = text.find_last_of(";{}", position);
  size_t i = start == std::string::npos ? 0 : start + 1;
  for (;;) {
    while (i < position && !std::isalnum(static_cast<unsigned char>(text[i])) && text[i] != '_') {
      ++i;
    }
    size_t end = i;
    while (end < position &&
           (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) {
      ++end;
    }
    const std::string word = text.substr(i, end - i);
    if (word != "__private" && word != "private" && word != "const" && word != "volatile" &&
        word != "unsigned") {
      return word;
    }
    i = end;
  }
}

}  // namespace

size_t privateBytesPerLayerValue(const std::string& source) {
  const std::string text = withoutComments(source);
  size_t bytes = 0;
  for (size_t at = text.find(kToken); at != std::string::npos; at = text.find(kToken, at + 1)) {
    const size_t size = typeBytes(declaredType(text, at));
    bytes += size != 0 ? size : kUnknownTypeBytes;
  }
  return bytes;
}

size_t privateBytesPerWorkGroup(cl_device_type deviceType) {
  if ((deviceType & CL_DEVICE_TYPE_CPU) == 0) return SIZE_MAX;
  size_t stackBytes = 0;
  pthread_attr_t defaults;
  if (pthread_getattr_default_np(&defaults) == 0) {
    pthread_attr_getstacksize(&defaults, &stackBytes);
    pthread_attr_destroy(&defaults);
  }
  return stackBytes > kStackReserveBytes ? stackBytes - kStackReserveBytes : 0;
}

int privateMemoryFit(size_t bytesPerGroup, size_t bytesPerWorkItem) {
  if (bytesPerWorkItem == 0) return 1 << 30;
  return static_cast<int>(std::min<size_t>(bytesPerGroup / bytesPerWorkItem, 1 << 30));
}
