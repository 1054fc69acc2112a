// Workload log reader: job lines into JobData records, partial jobs out, the user table.

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "sample_builder/exception.h"
#include "sample_builder/job_data.h"
#include "sample_builder/log_source.h"

std::map<int, int> userIdLookupTable;

namespace {

// The characters that formatted extraction skips in the "C" locale.
bool isStreamSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A token the fast path converts itself: [-]digits, at most 9 digits, so it fits an int.
bool readSimpleInt(const char* begin, const char* end, int& value) {
  const char* p = begin;
  bool negative = false;
  if (p != end && *p == '-') {
    negative = true;
    ++p;
  }
  if (p == end || end - p > 9) return false;
  int v = 0;
  for (; p != end; ++p) {
    if (!isDigit(*p)) return false;
    v = v * 10 + (*p - '0');
  }
  value = negative ? -v : v;
  return true;
}

// [-]digits[.digits]: from_chars rounds exactly as the stream's strtod does.
bool readSimpleDouble(const char* begin, const char* end, double& value) {
  const char* p = begin;
  if (p != end && *p == '-') ++p;
  const char* digits = p;
  while (p != end && isDigit(*p)) ++p;
  if (p == digits) return false;
  if (p != end) {
    if (*p != '.') return false;
    const char* fraction = ++p;
    while (p != end && isDigit(*p)) ++p;
    if (p == fraction || p != end) return false;
  }
  auto result = std::from_chars(begin, end, value);
  return result.ec == std::errc() && result.ptr == end;
}

// The field of every column, in column order: an int field or a double field.
struct Column {
  int JobData::*intField;
  double JobData::*doubleField;
};
const Column columns[18] = {
    {&JobData::jobNumber, nullptr},
    {nullptr, &JobData::submitTime},
    {nullptr, &JobData::waitTime},
    {nullptr, &JobData::runTime},
    {&JobData::allocatedProcessors, nullptr},
    {nullptr, &JobData::averageCPUTimeUsed},
    {nullptr, &JobData::usedMemory},
    {&JobData::requestedNumberOfProcessors, nullptr},
    {nullptr, &JobData::requestedTime},
    {nullptr, &JobData::requestedMemory},
    {&JobData::status, nullptr},
    {&JobData::userID, nullptr},
    {&JobData::groupID, nullptr},
    {&JobData::applicationNumber, nullptr},
    {&JobData::queueNumber, nullptr},
    {&JobData::partitionNumber, nullptr},
    {&JobData::precedingJobNumber, nullptr},
    {nullptr, &JobData::thinkTime},
};

// The whole line through formatted stream extraction, for the lines whose tokens the digit
// reader above does not take (exponents, a '+', 4.0 in an int column, a token glued to the
// next one): an int column is read as a double and must hold an integral value in int range,
// since extracting an int would stop inside "4.0" and shift every later column.
bool extractJobLine(const char* begin, const char* end, JobData& job) {
  std::istringstream in(std::string(begin, end));
  for (const Column& column : columns) {
    double value;
    if (!(in >> value)) return false;
    if (column.intField == nullptr) {
      job.*column.doubleField = value;
    } else if (value >= INT_MIN && value <= INT_MAX && value == std::trunc(value)) {
      job.*column.intField = static_cast<int>(value);
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

// Most lines of a real log are plain numbers, read here without a string stream; the first
// token that is not a plain decimal sends the whole line through stream extraction.
bool parseJobLine(const char* begin, const char* end, JobData& job) {
  const char* p = begin;
  for (int column = 0; column < 18; ++column) {
    while (p != end && isStreamSpace(*p)) ++p;
    if (p == end) return false;  // fewer than 18 plain tokens: extraction would fail too
    const char* tokenBegin = p;
    while (p != end && !isStreamSpace(*p)) ++p;
    const Column& field = columns[column];
    bool simple = field.intField != nullptr
                      ? readSimpleInt(tokenBegin, p, job.*field.intField)
                      : readSimpleDouble(tokenBegin, p, job.*field.doubleField);
    if (!simple) return extractJobLine(begin, end, job);
  }
  return true;
}

bool parseJobLine(std::string line, JobData& job) {
  return parseJobLine(line.data(), line.data() + line.size(), job);
}

namespace {
const size_t kMaxLineBytes = size_t{64} << 20;
}  // namespace

std::vector<JobData> parseFile(std::string path) {
  LogSource source(path);
  std::vector<JobData> jobs;
  JobData job;
  std::vector<char> buffer(1 << 20);
  size_t kept = 0;  // bytes of an unfinished line at the start of buffer
  for (;;) {
    if (kept == buffer.size()) {
      // A job line is 18 numbers: a line of 64 MiB is a damaged file (or a decompression
      // bomb), and holding it whole could take any amount of memory.
      if (buffer.size() >= kMaxLineBytes) {
        throw Exception("Error reading file: a line longer than " +
                        std::to_string(kMaxLineBytes >> 20) + " MiB");
      }
      buffer.resize(buffer.size() * 2);
    }
    size_t count = source.read(buffer.data() + kept, buffer.size() - kept);
    if (count == 0) break;
    const char* data = buffer.data();
    const char* end = data + kept + count;
    const char* lineBegin = data;
    for (const char* p = data + kept; p != end; ++p) {
      if (*p != '\n') continue;
      if (parseJobLine(lineBegin, p, job)) jobs.push_back(job);
      lineBegin = p + 1;
    }
    kept = static_cast<size_t>(end - lineBegin);
    std::memmove(buffer.data(), lineBegin, kept);
  }
  // A last line without a line feed is still a line.
  if (kept > 0 && parseJobLine(buffer.data(), buffer.data() + kept, job)) jobs.push_back(job);
  return jobs;
}

std::vector<JobData> filterOutPartialJobs(const std::vector<JobData>& jobs) {
  std::vector<JobData> finished;
  finished.reserve(jobs.size());
  for (const JobData& job : jobs) {
    if (job.status == 0 || job.status == 1 || job.status == 5) finished.push_back(job);
  }
  return finished;
}

void createUserIdLookupTable(const std::vector<JobData>& jobs) {
  userIdLookupTable.clear();
  int counter = 0;
  for (const JobData& job : jobs) {
    if (job.userID < 0) continue;
    if (userIdLookupTable.emplace(job.userID, counter).second) ++counter;
  }
  std::cout << "LUT size=" << userIdLookupTable.size() << std::endl;
}
