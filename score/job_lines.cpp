#include "score/job_lines.h"

#include <cstring>
#include <iostream>

#include "sample_builder/exception.h"

namespace {

// A flood of damaged lines is reported line by line this far, then counted.
constexpr uint64_t kReportedLines = 100;
constexpr size_t kMaxLineBytes = size_t{64} << 20;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// The start of a line for a message: printable, at most 60 characters.
std::string excerpt(const char* begin, const char* end) {
  std::string text;
  for (const char* p = begin; p != end && text.size() < 60; ++p) {
    text += (*p >= ' ' && *p < 127) ? *p : '?';
  }
  if (end - begin > 60) text += "...";
  return text;
}

}  // namespace

JobLineReader::JobLineReader(LogSource& source, std::string name)
    : source_(source), name_(std::move(name)), buffer_(size_t{1} << 16) {}

bool JobLineReader::take(const char* begin, const char* end, JobData& job) {
  ++lineNumber_;
  const char* p = begin;
  while (p != end && isBlank(*p)) ++p;
  if (p == end || *p == ';') return false;
  if (parseJobLine(begin, end, job)) return true;
  if (++skipped_ <= kReportedLines) {
    std::cerr << "ombra-score: " << name_ << ": line " << lineNumber_
              << " is not a job line (18 numbers), skipped: " << excerpt(begin, end) << std::endl;
    if (skipped_ == kReportedLines) {
      std::cerr << "ombra-score: " << name_
                << ": further lines that are not job lines are skipped without a message"
                << std::endl;
    }
  }
  return false;
}

void JobLineReader::reportTotal() const {
  if (skipped_ > kReportedLines) {
    std::cerr << "ombra-score: " << name_ << ": " << skipped_
              << " lines were not job lines and were skipped" << std::endl;
  }
}

bool JobLineReader::next(JobData& job, uint64_t& lineNumber) {
  for (;;) {
    // Every complete line in the buffer first: a stream's line is scored before more is read.
    while (start_ < end_) {
      char* begin = buffer_.data() + start_;
      char* feed = static_cast<char*>(std::memchr(begin, '\n', end_ - start_));
      if (feed == nullptr) break;
      start_ = static_cast<size_t>(feed + 1 - buffer_.data());
      if (take(begin, feed, job)) {
        lineNumber = lineNumber_;
        return true;
      }
    }
    if (atEnd_) {
      // A last line without a line feed is still a line.
      if (start_ == end_) return false;
      const char* begin = buffer_.data() + start_;
      start_ = end_;
      if (!take(begin, buffer_.data() + end_, job)) return false;
      lineNumber = lineNumber_;
      return true;
    }
    if (start_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
      end_ -= start_;
      start_ = 0;
    }
    if (end_ == buffer_.size()) {
      if (buffer_.size() >= kMaxLineBytes) {
        throw Exception("Error reading file: " + name_ + ": a line longer than " +
                        std::to_string(kMaxLineBytes >> 20) + " MiB");
      }
      buffer_.resize(buffer_.size() * 2);
    }
    const size_t count = source_.read(buffer_.data() + end_, buffer_.size() - end_);
    if (count == 0) atEnd_ = true;
    end_ += count;
  }
}
