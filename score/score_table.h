#pragma once
// ombra-score's output: CSV on standard output, one row per job line.
//
//   job,submit_time,user,application,status,score,output
//
// job, user, application and status as the log gives them; submit_time as well (a whole
// number as such, anything else in the shortest form that reads back as the same double);
// score: the calibrated share of such jobs that fail, in [0, 1]; output: the network's raw
// output, the shortest text that reads back as the same float ("nan" for a damaged network).

#include <cstddef>
#include <string>

#include "sample_builder/job_data.h"

extern const char kScoreHeader[];  // the header line, with its line feed

// The most characters one row takes.
constexpr size_t kMaxScoreRow = 160;

// Writes the row, its line feed included, at out; returns the end.
char* formatScoreRow(char* out, const JobData& job, double score, float output);

// Rows towards a file descriptor (standard output): collected into large writes, or, for a
// stream, written the moment each is complete. Throws std::runtime_error "Error writing
// standard output" when a write fails (a full disk, a closed pipe).
class ScoreTable {
 public:
  ScoreTable(int descriptor, bool eachRow);
  ~ScoreTable();  // writes what is left, ignoring errors (flush() reports them)
  ScoreTable(const ScoreTable&) = delete;
  ScoreTable& operator=(const ScoreTable&) = delete;

  void header();
  void row(const JobData& job, double score, float output);
  void flush();

 private:
  int descriptor_;
  bool eachRow_;
  std::string buffer_;
  size_t used_ = 0;
};
