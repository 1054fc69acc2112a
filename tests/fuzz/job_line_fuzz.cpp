// The workload log reader on arbitrary bytes. Every line goes through the job line parser and
// its reference, stream extraction of the whole line, which must agree on acceptance and on every
// field; the file goes through parseFile, which must accept exactly those lines; then the partial
// jobs are filtered out and the user table is built, as tallis does next.

#include <cstdint>
#include <cstring>

#include "sample_builder/exception.h"
#include "sample_builder/job_data.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/reference/reference.h"

namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool sameJob(const JobData& a, const JobData& b) {
  return a.jobNumber == b.jobNumber && sameBits(a.submitTime, b.submitTime) &&
         sameBits(a.waitTime, b.waitTime) && sameBits(a.runTime, b.runTime) &&
         a.allocatedProcessors == b.allocatedProcessors &&
         sameBits(a.averageCPUTimeUsed, b.averageCPUTimeUsed) &&
         sameBits(a.usedMemory, b.usedMemory) &&
         a.requestedNumberOfProcessors == b.requestedNumberOfProcessors &&
         sameBits(a.requestedTime, b.requestedTime) &&
         sameBits(a.requestedMemory, b.requestedMemory) && a.status == b.status &&
         a.userID == b.userID && a.groupID == b.groupID &&
         a.applicationNumber == b.applicationNumber && a.queueNumber == b.queueNumber &&
         a.partitionNumber == b.partitionNumber && a.precedingJobNumber == b.precedingJobNumber &&
         sameBits(a.thinkTime, b.thinkTime);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::InputFile file("log.swf");
  const char* begin = reinterpret_cast<const char*>(data);
  const char* end = begin + size;

  std::vector<JobData> accepted;
  for (const char* line = begin; line < end;) {
    const char* lineEnd = static_cast<const char*>(std::memchr(line, '\n', end - line));
    if (lineEnd == nullptr) lineEnd = end;
    JobData slow, fast;
    const bool slowAccepts = reference::parseJobLine(std::string(line, lineEnd), slow);
    const bool fastAccepts = parseJobLine(line, lineEnd, fast);
    fuzz::require(slowAccepts == fastAccepts, "both job line parsers accept the same lines");
    if (slowAccepts) {
      fuzz::require(sameJob(slow, fast), "both job line parsers read the same fields");
      accepted.push_back(slow);
    }
    line = lineEnd + 1;
  }

  // A gzip stream is read through zlib: its lines are not the bytes above. Other compressed
  // forms, told by their first bytes, are refused by name.
  const bool compressed = size >= 2 && data[0] == 0x1f && data[1] == 0x8b;
  std::vector<JobData> jobs;
  try {
    jobs = parseFile(file.write(data, size));
  } catch (const Exception& error) {
    const bool foreign =
        std::strstr(error.what(), "tallis reads plain or gzip-compressed logs") != nullptr;
    fuzz::require(compressed || foreign,
                  "only a damaged gzip stream or another compression is a read error");
    return 0;
  }
  if (!compressed) {
    fuzz::require(jobs.size() == accepted.size(), "parseFile accepts every parsed line");
    for (size_t k = 0; k < jobs.size(); ++k) {
      fuzz::require(sameJob(jobs[k], accepted[k]), "parseFile keeps the lines in order");
    }
  }
  const std::vector<JobData> finished = filterOutPartialJobs(jobs);
  for (const JobData& job : finished) {
    fuzz::require(job.status == 0 || job.status == 1 || job.status == 5, "only finished jobs stay");
  }
  createUserIdLookupTable(finished);
  fuzz::require(userIdLookupTable.size() <= finished.size(), "one user per job at most");
  return 0;
}
