#include "files/file_kinds.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <vector>

#include "card/input_card.h"
#include "common/text_lines.h"
#include "files/paths.h"

namespace {

const size_t kHeadBytes = 64 * 1024;

bool blank(const std::string& line) {
  return line.find_first_not_of(" \t\r\f\v") == std::string::npos;
}

bool allIntegers(const std::vector<std::string>& lines, int& count) {
  count = 0;
  for (const std::string& line : lines) {
    std::istringstream in(line);
    for (std::string word; in >> word;) {
      if (word.find_first_not_of("0123456789") != std::string::npos) return false;
      ++count;
    }
  }
  return true;
}

uint32_t wordAt(const std::string& bytes, size_t offset) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes.data() + offset);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

// L, L positive sizes, then weights and ranges, exactly as long as the sizes imply.
bool isNetworkFile(const std::string& head, unsigned long long fileSize) {
  if (head.size() < 4 || fileSize < 12) return false;
  const uint32_t layers = wordAt(head, 0);
  if (layers < 2 || 4 + 4ull * layers > head.size()) return false;
  unsigned long long weights = 0, previous = 0, first = 0, last = 0;
  for (uint32_t l = 0; l < layers; ++l) {
    const uint32_t size = wordAt(head, 4 + 4 * l);
    if (size < 1 || size > (1u << 30)) return false;
    if (l == 0) first = size;
    if (l > 0) weights += (previous + 1) * size;
    if (weights > (1ull << 40)) return false;
    previous = last = size;
  }
  return 4 + 4ull * layers + 4 * weights + 8 * first + 8 * last == fileSize;
}

// "Key: number", the key in letters and blanks: the shape of every line of a parameters file.
bool isParameterLine(const std::string& line) {
  const size_t colon = line.find(':');
  if (colon == std::string::npos || colon == 0 || line.size() > 99) return false;
  bool letter = false;
  for (size_t k = 0; k < colon; ++k) {
    const unsigned char c = static_cast<unsigned char>(line[k]);
    if (std::isalpha(c)) {
      letter = true;
    } else if (c != ' ' && c != '\t') {
      return false;
    }
  }
  std::istringstream rest(line.substr(colon + 1));
  double number;
  return letter && static_cast<bool>(rest >> number);
}

FileKind kindOfText(const std::vector<std::string>& lines, const std::string& text,
                    const std::string& name) {
  if (name == "NN_kernels.cl" || text.find("__kernel") != std::string::npos ||
      text.rfind("#pragma OPENCL", 0) == 0) {
    return FileKind::kernelSource;
  }
  std::vector<std::string> filled;
  for (const std::string& line : lines) {
    if (!blank(line)) filled.push_back(line);
  }
  if (filled.empty()) return FileKind::unknown;
  const std::string& first = filled.front();
  if (first.rfind("input card ", 0) == 0) return FileKind::columnNames;
  if (first == "is Positive;output") return FileKind::liftChart;
  if (first.rfind("row,set,target,output", 0) == 0) return FileKind::predictions;
  if (first.find(';') != std::string::npos && first.find("time (s)") != std::string::npos) {
    return FileKind::timingResult;
  }
  if (lines.size() >= 2 && numbersOnLine(lines[0]) == 3 && numbersOnLine(lines[1]) == 2) {
    return FileKind::trainingData;
  }
  if (first[first.find_first_not_of(" \t")] == ';' || numbersOnLine(first) >= 18) {
    return FileKind::workloadLog;
  }
  bool columns = true;
  for (const std::string& line : filled) columns = columns && isColumnLine(line);
  if (columns) return FileKind::columnNames;
  for (const std::string& line : filled) {
    if (isParameterLine(line)) return FileKind::parameters;
  }
  int integers = 0;
  if (allIntegers(filled, integers) && integers >= 2) return FileKind::configuration;
  return FileKind::unknown;
}

}  // namespace

const char* describeKind(FileKind kind) {
  switch (kind) {
    case FileKind::workloadLog:
      return "a workload log";
    case FileKind::gzipData:
      return "gzip-compressed data";
    case FileKind::trainingData:
      return "a training data file";
    case FileKind::network:
      return "a network file";
    case FileKind::parameters:
      return "an algorithm parameters file";
    case FileKind::configuration:
      return "a network configuration file";
    case FileKind::kernelSource:
      return "the OpenCL kernel source";
    case FileKind::columnNames:
      return "a column names file";
    case FileKind::png:
      return "a PNG image";
    case FileKind::liftChart:
      return "a lift-chart file";
    case FileKind::timingResult:
      return "a timing result file";
    case FileKind::predictions:
      return "a predictions file";
    case FileKind::unknown:
      break;
  }
  return "a file";
}

FileKind kindOfContent(const std::string& head, unsigned long long fileSize,
                       const std::string& name) {
  if (head.empty()) return name == "NN_kernels.cl" ? FileKind::kernelSource : FileKind::unknown;
  if (head.size() >= 2 && static_cast<unsigned char>(head[0]) == 0x1f &&
      static_cast<unsigned char>(head[1]) == 0x8b) {
    return FileKind::gzipData;
  }
  if (head.rfind("\x89PNG\r\n\x1a\n", 0) == 0) return FileKind::png;
  if (head.find('\0') != std::string::npos) {
    return isNetworkFile(head, fileSize) ? FileKind::network : FileKind::unknown;
  }
  return kindOfText(linesOf(head), head, name);
}

FileKind sniffFileKind(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return FileKind::unknown;
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) return FileKind::unknown;
  std::string head(kHeadBytes, '\0');
  size_t got = 0;
  while (got < head.size()) {
    const ssize_t n = read(descriptor, &head[got], head.size() - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(descriptor);
  head.resize(got);
  return kindOfContent(head, static_cast<unsigned long long>(info.st_size), baseNameOf(path));
}
