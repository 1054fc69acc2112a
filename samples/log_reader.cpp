// Workload log reader: job lines into JobData records, partial jobs out, the user table.

#include <zlib.h>

#include <charconv>
#include <cstring>
#include <iostream>
#include <sstream>

#include "samples/exception.h"
#include "samples/job_data.h"

std::map<int, int> userIdLookupTable;

bool parseJobLine(std::string line, JobData& job) {
  std::istringstream in(line);
  return static_cast<bool>(in >> job.jobNumber) && static_cast<bool>(in >> job.submitTime) &&
         static_cast<bool>(in >> job.waitTime) && static_cast<bool>(in >> job.runTime) &&
         static_cast<bool>(in >> job.allocatedProcessors) &&
         static_cast<bool>(in >> job.averageCPUTimeUsed) &&
         static_cast<bool>(in >> job.usedMemory) &&
         static_cast<bool>(in >> job.requestedNumberOfProcessors) &&
         static_cast<bool>(in >> job.requestedTime) &&
         static_cast<bool>(in >> job.requestedMemory) && static_cast<bool>(in >> job.status) &&
         static_cast<bool>(in >> job.userID) && static_cast<bool>(in >> job.groupID) &&
         static_cast<bool>(in >> job.applicationNumber) &&
         static_cast<bool>(in >> job.queueNumber) &&
         static_cast<bool>(in >> job.partitionNumber) &&
         static_cast<bool>(in >> job.precedingJobNumber) &&
         static_cast<bool>(in >> job.thinkTime);
}

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

}  // namespace

bool parseJobLineFast(const char* begin, const char* end, JobData& job) {
  // Column kinds in order: true for an int column.
  static const bool isIntColumn[18] = {true,  false, false, false, true, false,
                                       false, true,  false, false, true, true,
                                       true,  true,  true,  true,  true, false};
  int* intFields[18] = {&job.jobNumber, nullptr, nullptr, nullptr, &job.allocatedProcessors,
                        nullptr, nullptr, &job.requestedNumberOfProcessors, nullptr, nullptr,
                        &job.status, &job.userID, &job.groupID, &job.applicationNumber,
                        &job.queueNumber, &job.partitionNumber, &job.precedingJobNumber,
                        nullptr};
  double* doubleFields[18] = {nullptr, &job.submitTime, &job.waitTime, &job.runTime, nullptr,
                              &job.averageCPUTimeUsed, &job.usedMemory, nullptr,
                              &job.requestedTime, &job.requestedMemory, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr, &job.thinkTime};
  const char* p = begin;
  for (int column = 0; column < 18; ++column) {
    while (p != end && isStreamSpace(*p)) ++p;
    if (p == end) return false;  // fewer than 18 plain tokens: extraction would fail too
    const char* tokenBegin = p;
    while (p != end && !isStreamSpace(*p)) ++p;
    bool simple = isIntColumn[column] ? readSimpleInt(tokenBegin, p, *intFields[column])
                                      : readSimpleDouble(tokenBegin, p, *doubleFields[column]);
    if (!simple) return parseJobLine(std::string(begin, end), job);
  }
  return true;
}

std::vector<JobData> parseFile(std::string path) {
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) throw Exception("Error opening file");
  gzbuffer(file, 1 << 18);

  std::vector<JobData> jobs;
  JobData job;
  std::vector<char> buffer(1 << 20);
  size_t kept = 0;  // bytes of an unfinished line at the start of buffer
  bool failed = false;
  for (;;) {
    if (kept == buffer.size()) buffer.resize(buffer.size() * 2);  // a very long line
    int count = gzread(file, buffer.data() + kept, static_cast<unsigned>(buffer.size() - kept));
    if (count < 0) {
      failed = true;
      break;
    }
    if (count == 0) break;
    const char* data = buffer.data();
    const char* end = data + kept + count;
    const char* lineBegin = data;
    for (const char* p = data + kept; p != end; ++p) {
      if (*p != '\n') continue;
      if (parseJobLineFast(lineBegin, p, job)) jobs.push_back(job);
      lineBegin = p + 1;
    }
    kept = static_cast<size_t>(end - lineBegin);
    std::memmove(buffer.data(), lineBegin, kept);
  }
  // gzclose reports a gzip stream that ended early (a truncated download).
  if (gzclose(file) != Z_OK || failed) throw Exception("Error reading file");
  // A last line without a line feed is still a line.
  if (kept > 0 && parseJobLineFast(buffer.data(), buffer.data() + kept, job)) jobs.push_back(job);
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
