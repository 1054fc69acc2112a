// Log reader: job lines, whole files (plain, gzip, CRLF), the partial-job filter, the user table.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <random>

#include "sample_builder/exception.h"
#include "sample_builder/job_data.h"
#include "test_helpers.h"
#include "tests/reference/reference.h"
#include "tests/support/test_support.h"

namespace {

using test_support::ScratchFolder;

using tallis_test::jobLine;
using test_support::ScratchFolder;
using test_support::writeFile;

// Field by field: the padding between an int and a double need not match.
bool sameJob(const JobData& a, const JobData& b) {
  const auto same = [](double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; };
  return a.jobNumber == b.jobNumber && same(a.submitTime, b.submitTime) &&
         same(a.waitTime, b.waitTime) && same(a.runTime, b.runTime) &&
         a.allocatedProcessors == b.allocatedProcessors &&
         same(a.averageCPUTimeUsed, b.averageCPUTimeUsed) && same(a.usedMemory, b.usedMemory) &&
         a.requestedNumberOfProcessors == b.requestedNumberOfProcessors &&
         same(a.requestedTime, b.requestedTime) && same(a.requestedMemory, b.requestedMemory) &&
         a.status == b.status && a.userID == b.userID && a.groupID == b.groupID &&
         a.applicationNumber == b.applicationNumber && a.queueNumber == b.queueNumber &&
         a.partitionNumber == b.partitionNumber && a.precedingJobNumber == b.precedingJobNumber &&
         same(a.thinkTime, b.thinkTime);
}

TEST(ParseJobLine, ReadsEveryColumnIntoItsField) {
  JobData job;
  ASSERT_TRUE(
      parseJobLine("  12 100.5 3 400 8 489.00 2048 16 3600 512 5 77 9 42 2 1 11 7.25", job));
  EXPECT_EQ(job.jobNumber, 12);
  EXPECT_EQ(job.submitTime, 100.5);
  EXPECT_EQ(job.waitTime, 3);
  EXPECT_EQ(job.runTime, 400);
  EXPECT_EQ(job.allocatedProcessors, 8);
  EXPECT_EQ(job.averageCPUTimeUsed, 489);
  EXPECT_EQ(job.usedMemory, 2048);
  EXPECT_EQ(job.requestedNumberOfProcessors, 16);
  EXPECT_EQ(job.requestedTime, 3600);
  EXPECT_EQ(job.requestedMemory, 512);
  EXPECT_EQ(job.status, 5);
  EXPECT_EQ(job.userID, 77);
  EXPECT_EQ(job.groupID, 9);
  EXPECT_EQ(job.applicationNumber, 42);
  EXPECT_EQ(job.queueNumber, 2);
  EXPECT_EQ(job.partitionNumber, 1);
  EXPECT_EQ(job.precedingJobNumber, 11);
  EXPECT_EQ(job.thinkTime, 7.25);
}

TEST(ParseJobLine, RejectsCommentsBlankLinesAndShortLinesAcceptsLongOnes) {
  JobData job;
  EXPECT_FALSE(parseJobLine("; Version: 2.2", job));
  EXPECT_FALSE(parseJobLine("", job));
  EXPECT_FALSE(parseJobLine("   \t ", job));
  EXPECT_FALSE(parseJobLine("1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17", job));
  EXPECT_TRUE(parseJobLine("1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19", job));
  EXPECT_EQ(job.thinkTime, 18);
  EXPECT_TRUE(parseJobLine("1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18\r", job));
  // A fraction in an int column fails the line rather than leaving ".5" to the next column.
  EXPECT_FALSE(parseJobLine("1 2 3 4 5 6 7 8 9 10 1.5 12 13 14 15 16 17 18", job));
  EXPECT_FALSE(parseJobLine("1 2 3 4 5 6 7 4.5 9 10 1 12 13 14 15 16 17 18", job));
  EXPECT_FALSE(parseJobLine("1 2 3 4 5 6 7 3e9 9 10 1 12 13 14 15 16 17 18", job));
}

TEST(ParseJobLine, ReadsAnIntegralRealInAnIntColumnAsThatInt) {
  // "4.0" as requested processors: every later column keeps its own value.
  JobData job;
  ASSERT_TRUE(parseJobLine("1 2 3 4 5 6 7 4.0 9 10 1 12 13 14 15 16 17 18", job));
  EXPECT_EQ(job.requestedNumberOfProcessors, 4);
  EXPECT_EQ(job.requestedTime, 9);
  EXPECT_EQ(job.requestedMemory, 10);
  EXPECT_EQ(job.status, 1);
  EXPECT_EQ(job.userID, 12);
  EXPECT_EQ(job.thinkTime, 18);
  ASSERT_TRUE(parseJobLine("1e3 2 3 4 -1.00 6 7 8 9 10 5. 12 13 14 15 16 17 18", job));
  EXPECT_EQ(job.jobNumber, 1000);
  EXPECT_EQ(job.allocatedProcessors, -1);
  EXPECT_EQ(job.status, 5);
  EXPECT_EQ(job.userID, 12);
}

// Lines built from tokens that the fast path takes and tokens it must hand to the stream.
std::string randomLine(std::mt19937& random) {
  static const char* tokens[] = {
      "0",          "-1",          "17",          "489.00",
      "0.03",       "1e5",         "+3",          "-0",
      ".5",         "5.",          "12abc",       ";",
      "-",          "1-2",         "99999999999", "2147483647",
      "2147483648", "-2147483648", "007",         "1.5e-3",
      "nan",        "inf",         "0x1A",        "3.25",
      "\t",         "1e999",       "-.5",         "1234567890123456789012",
      "4."};
  std::string line;
  int count = 15 + static_cast<int>(random() % 6);
  for (int n = 0; n < count; ++n) {
    line += random() % 4 == 0 ? tokens[random() % (sizeof tokens / sizeof *tokens)]
                              : std::to_string(static_cast<int>(random() % 2000) - 1);
    line += random() % 5 == 0 ? "\t " : " ";
  }
  if (random() % 3 == 0) line += "\r";
  return line;
}

TEST(ParseJobLine, AgreesWithStreamExtractionOnOddTokens) {
  std::mt19937 random(2024);
  int accepted = 0;
  for (int n = 0; n < 20000; ++n) {
    std::string line = randomLine(random);
    JobData slow, fast;
    bool slowResult = reference::parseJobLine(line, slow);
    bool fastResult = parseJobLine(line.data(), line.data() + line.size(), fast);
    ASSERT_EQ(fastResult, slowResult) << line;
    if (slowResult) {
      ++accepted;
      ASSERT_TRUE(sameJob(fast, slow)) << line;
    }
  }
  EXPECT_GT(accepted, 1000);  // the comparison covered accepted lines, not only rejections
}

TEST(ParseFile, KeepsJobLinesInFileOrderAndSkipsTheRest) {
  ScratchFolder dir;
  std::string path = dir.file("log.swf");
  writeFile(path, "; header\n\n" + jobLine(1, 10, 1, 7, 3) + ";\tcomment\n" +
                      "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17\n" +
                      "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19\n" +
                      jobLine(3, 30, 0, 8, 4) + "   \n" + jobLine(4, 40, 5, 9, 5).substr(0, 40));
  std::vector<JobData> jobs = parseFile(path);
  ASSERT_EQ(jobs.size(), 3u);
  EXPECT_EQ(jobs[0].jobNumber, 1);
  EXPECT_EQ(jobs[1].jobNumber, 1);
  EXPECT_EQ(jobs[1].thinkTime, 18);
  EXPECT_EQ(jobs[2].jobNumber, 3);
}

TEST(ParseFile, HeaderAndBlankLinesAloneGiveNoJobs) {
  ScratchFolder dir;
  writeFile(dir.file("log.swf"), "; Version: 2.2\n;\n\n\n; MaxJobs: 0\n");
  EXPECT_TRUE(parseFile(dir.file("log.swf")).empty());
}

TEST(ParseFile, ReadsALastLineWithoutLineFeed) {
  ScratchFolder dir;
  std::string line = jobLine(5, 50, 1, 1, 1);
  writeFile(dir.file("log.swf"), line.substr(0, line.size() - 1));
  ASSERT_EQ(parseFile(dir.file("log.swf")).size(), 1u);
}

TEST(ParseFile, CrlfAndGzipLogsReadLikeThePlainLog) {
  ScratchFolder dir;
  std::string text = "; header\n";
  for (int n = 0; n < 500; ++n) text += jobLine(n, n * 10.5, n % 3 == 0 ? 0 : 1, n % 7, n % 5);
  writeFile(dir.file("plain.swf"), text);
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  writeFile(dir.file("crlf.swf"), crlf);
  gzFile gz = gzopen(dir.file("log.swf.gz").c_str(), "wb");
  gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
  gzclose(gz);

  std::vector<JobData> plain = parseFile(dir.file("plain.swf"));
  ASSERT_EQ(plain.size(), 500u);
  for (const std::string name : {"crlf.swf", "log.swf.gz"}) {
    std::vector<JobData> other = parseFile(dir.file(name));
    ASSERT_EQ(other.size(), plain.size()) << name;
    for (size_t i = 0; i < plain.size(); ++i) ASSERT_TRUE(sameJob(other[i], plain[i])) << name;
  }
}

TEST(ParseFile, ThrowsWhenTheFileCannotBeOpened) {
  try {
    parseFile("/nonexistent/log.swf");
    FAIL() << "no exception";
  } catch (const Exception& error) {
    EXPECT_STREQ(error.what(),
                 "Error opening file: /nonexistent/log.swf: no such file or directory");
  }
}

TEST(ParseFile, ThrowsOnATruncatedGzipLog) {
  ScratchFolder dir;
  std::string text;
  for (int n = 0; n < 20000; ++n) text += jobLine(n, n, 1, n % 13, n % 11);
  gzFile gz = gzopen(dir.file("log.swf.gz").c_str(), "wb");
  gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
  gzclose(gz);
  std::string compressed = test_support::readFile(dir.file("log.swf.gz"));
  writeFile(dir.file("cut.swf.gz"), compressed.substr(0, compressed.size() / 2));
  EXPECT_THROW(parseFile(dir.file("cut.swf.gz")), Exception);
}

TEST(FilterOutPartialJobs, KeepsFinishedJobsInOrder) {
  std::vector<JobData> jobs;
  for (int status : {2, 1, 3, 0, 4, -1, 5, 1, 7}) jobs.push_back(tallis_test::job(status, 1, 1));
  std::vector<JobData> kept = filterOutPartialJobs(jobs);
  std::vector<int> statuses;
  for (const JobData& job : kept) statuses.push_back(job.status);
  EXPECT_EQ(statuses, (std::vector<int>{1, 0, 5, 1}));
}

TEST(UserIdLookupTable, NumbersUsersInOrderOfFirstAppearance) {
  std::vector<JobData> jobs;
  for (int user : {7, 3, 7, -1, 12}) jobs.push_back(tallis_test::job(1, user, 1));
  test_support::captureStdout();
  createUserIdLookupTable(jobs);
  EXPECT_EQ(test_support::capturedStdout(), "LUT size=3\n");
  EXPECT_EQ(userIdLookupTable, (std::map<int, int>{{7, 0}, {3, 1}, {12, 2}}));
}

TEST(UserIdLookupTable, OnlyNegativeUsersGiveAnEmptyTable) {
  std::vector<JobData> jobs = {tallis_test::job(1, -1, 1), tallis_test::job(1, -5, 1)};
  test_support::captureStdout();
  createUserIdLookupTable(jobs);
  EXPECT_EQ(test_support::capturedStdout(), "LUT size=0\n");
  EXPECT_TRUE(userIdLookupTable.empty());
}

// The fast line reader against stream extraction on every line of the real logs.
TEST(ParseFile, RealLogsReadAsStreamExtractionReadsThem) {
  const char* logs[] = {"KTH-SP2-1996-2.1-cln.swf", "NASA-iPSC-1993-3.1-cln.swf",
                        "LANL-CM5-1994-4.1-cln.swf", "nonstandard/wagap-2013.swf",
                        "nonstandard/test.swf"};
  int checked = 0;
  for (const char* name : logs) {
    std::string path = tallis_test::swfPath(name);
    if (!tallis_test::haveFile(path)) continue;
    std::ifstream in(path);
    std::vector<JobData> expected;
    std::string line;
    JobData job;
    while (std::getline(in, line)) {
      if (reference::parseJobLine(line, job)) expected.push_back(job);
    }
    std::vector<JobData> jobs = parseFile(path);
    ASSERT_EQ(jobs.size(), expected.size()) << name;
    for (size_t i = 0; i < jobs.size(); ++i) ASSERT_TRUE(sameJob(jobs[i], expected[i])) << name;
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "no workload logs in " << SWF_DATA_DIR;
}

}  // namespace
