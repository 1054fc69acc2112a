#pragma once
// The job lines of a workload log as they arrive (plain or gzip, a file, a pipe or a FIFO): a
// line is handed on as soon as its line feed is read, so a live stream is scored line by line.
// Comment lines (";") and blank lines are skipped; any other line that is not a job line (18
// numbers, as tallis reads them) is reported on standard error with its line number and
// skipped, and the reading goes on.

#include <cstdint>
#include <string>
#include <vector>

#include "sample_builder/job_data.h"
#include "sample_builder/log_source.h"

class JobLineReader {
 public:
  // name: how messages call the log.
  JobLineReader(LogSource& source, std::string name);

  // The next job line and its line number (from 1); false at the end of the log. Throws
  // Exception for a read error or a line longer than 64 MiB.
  bool next(JobData& job, uint64_t& lineNumber);
  // Lines that were not job lines, reported or not.
  uint64_t skipped() const { return skipped_; }
  // Says, after the end, how many lines were skipped when more were than were reported.
  void reportTotal() const;

 private:
  bool take(const char* begin, const char* end, JobData& job);

  LogSource& source_;
  std::string name_;
  std::vector<char> buffer_;
  size_t start_ = 0;  // the unread bytes: buffer_[start_, end_)
  size_t end_ = 0;
  bool atEnd_ = false;
  uint64_t lineNumber_ = 0;
  uint64_t skipped_ = 0;
};
