#include "score/score_table.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>

const char kScoreHeader[] = "job,submit_time,user,application,status,score,output\n";

namespace {

constexpr size_t kBatchBytes = size_t{1} << 20;

char* integer(char* out, long long value) { return std::to_chars(out, out + 24, value).ptr; }

char* real(char* out, double value) {
  if (std::fabs(value) < 1e15 && value == std::floor(value)) {
    return integer(out, static_cast<long long>(value));
  }
  return std::to_chars(out, out + 32, value).ptr;
}

}  // namespace

char* formatScoreRow(char* out, const JobData& job, double score, float output) {
  out = integer(out, job.jobNumber);
  *out++ = ',';
  out = real(out, job.submitTime);
  *out++ = ',';
  out = integer(out, job.userID);
  *out++ = ',';
  out = integer(out, job.applicationNumber);
  *out++ = ',';
  out = integer(out, job.status);
  *out++ = ',';
  out = std::to_chars(out, out + 32, score).ptr;
  *out++ = ',';
  out = std::to_chars(out, out + 32, output).ptr;
  *out++ = '\n';
  return out;
}

ScoreTable::ScoreTable(int descriptor, bool eachRow)
    : descriptor_(descriptor), eachRow_(eachRow), buffer_(kBatchBytes + kMaxScoreRow, '\0') {}

ScoreTable::~ScoreTable() {
  try {
    flush();
  } catch (const std::runtime_error&) {
  }
}

void ScoreTable::header() {
  const size_t size = sizeof kScoreHeader - 1;
  std::memcpy(&buffer_[used_], kScoreHeader, size);
  used_ += size;
  if (eachRow_) flush();
}

void ScoreTable::row(const JobData& job, double score, float output) {
  used_ = static_cast<size_t>(formatScoreRow(&buffer_[used_], job, score, output) - &buffer_[0]);
  if (eachRow_ || used_ >= kBatchBytes) flush();
}

void ScoreTable::flush() {
  size_t written = 0;
  while (written < used_) {
    const ssize_t count = ::write(descriptor_, buffer_.data() + written, used_ - written);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) {
      used_ = 0;
      throw std::runtime_error("Error writing standard output");
    }
    written += static_cast<size_t>(count);
  }
  used_ = 0;
}
