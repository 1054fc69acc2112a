// Hostile and odd input to tallis: workload logs with NaN and infinite values, huge exponents,
// numbers followed by letters, NUL bytes, CR LF line ends, very long lines, no final newline
// or no content at all; odd command-line values; values that ombra could not read back; and
// write failures. Each case reads as specified or ends with a message and status 1.

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "samples/attributes.h"
#include "samples/exception.h"
#include "samples/job_data.h"
#include "samples/training_file.h"
#include "test_helpers.h"

namespace {

using tallis_test::jobLine;
using tallis_test::readFile;
using tallis_test::runProgram;
using tallis_test::TempDir;
using tallis_test::writeFile;

// A job line with the given text for columns 2 to 18 after job number 1.
std::string line(const std::string& rest) { return "1 " + rest; }
const std::string plainColumns = "0 5 100 4 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1";

struct LogCase {
  const char* what;
  std::string text;
  int jobs;  // jobs read
};

TEST(HostileLog, EveryClassReadsAsSpecified) {
  const std::string good = line(plainColumns) + "\n";
  const std::string megabyte(1 << 20, ' ');
  const LogCase cases[] = {
      {"empty file", "", 0},
      {"nan in a real column", line("nan 5 100 4 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1") + "\n", 0},
      {"inf in a real column", line("0 inf 100 4 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1") + "\n", 0},
      {"nan in an int column", line("0 5 100 4 90 1024 4 3600 -1 nan 7 1 0 1 1 -1 -1") + "\n", 0},
      {"exponent beyond double", line("1e999 5 100 4 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1\n"), 0},
      {"int beyond 32 bits", line("0 5 100 4 90 1024 4 3600 -1 1 99999999999 1 0 1 1 -1 -1\n"),
       0},
      {"letters after a number inside", line("0 5abc 100 4 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1\n"),
       0},
      {"letters after the 18th number", line(plainColumns) + "abc\n", 1},
      {"hex int", line("0 5 100 0x4 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1\n"), 0},
      {"integral real in an int column", line("0 5 100 4.0 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1\n"),
       1},
      {"fraction in an int column before a real column",
       line("0 5 100 4.5 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1\n"), 0},
      {"leading plus signs", line("+0 +5 100 4 90 1024 4 3600 -1 +1 +7 1 0 1 1 -1 -1\n"), 1},
      {"NUL inside a line", line("0 5 100 4 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1").replace(4, 1, 1,
                                                                                          '\0') +
                                "\n",
       0},
      {"NUL after the 18th number", line(plainColumns) + std::string(3, '\0') + "\n", 1},
      {"CR LF line ends", good.substr(0, good.size() - 1) + "\r\n" + "; c\r\n" + good, 2},
      {"no final newline", good + good.substr(0, good.size() - 1), 2},
      {"one-megabyte comment line", ";" + megabyte + "\n" + good, 1},
      {"one-megabyte tail after the 18th number", line(plainColumns) + megabyte + "x\n" + good,
       2},
      {"one megabyte of blanks inside a job line",
       "1 0 5" + megabyte + "100 4 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1\n", 1},
  };
  TempDir dir;
  for (const LogCase& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(dir.file("log.swf"), c.text);
    EXPECT_EQ(parseFile(dir.file("log.swf")).size(), static_cast<size_t>(c.jobs));
  }
}

TEST(HostileLog, LineLongerThan64MiBIsRefused) {
  // A decompression bomb: 65 MiB of blanks without a line feed, a few kilobytes compressed.
  TempDir dir;
  const std::string name = dir.file("bomb.swf.gz");
  gzFile gz = gzopen(name.c_str(), "wb1");
  const std::string blanks(1 << 20, ' ');
  for (int k = 0; k < 65; ++k) gzwrite(gz, blanks.data(), static_cast<unsigned>(blanks.size()));
  gzclose(gz);
  try {
    parseFile(name);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& error) {
    EXPECT_STREQ(error.what(), "Error reading file: a line longer than 64 MiB");
  }
}

std::string gzipped(const TempDir& dir, const std::string& text) {
  const std::string name = dir.file("member.gz");
  gzFile gz = gzopen(name.c_str(), "wb");
  gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
  gzclose(gz);
  return readFile(name);
}

TEST(HostileLog, DataAfterACompressedLogIsRefused) {
  // zlib's own reader drops whatever follows the last gzip member in silence.
  TempDir dir;
  const std::string text = jobLine(1, 0, 1, 1, 1) + jobLine(2, 5, 0, 1, 1);
  const std::string member = gzipped(dir, text);
  const std::string trailing = "Error reading file: data after the end of the compressed log";
  struct Case {
    const char* what;
    std::string bytes;
    std::string message;  // empty: read, two jobs per member
  };
  const Case cases[] = {
      {"two members (cat a.gz b.gz)", member + member, ""},
      {"a plain log after the member", member + text, trailing},
      {"one line feed after the member", member + "\n", trailing},
      {"zero bytes after the member", member + std::string(512, '\0'), trailing},
      {"a truncated second member", member + member.substr(0, member.size() - 9),
       "Error reading file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(dir.file("log.swf.gz"), c.bytes);
    try {
      EXPECT_EQ(parseFile(dir.file("log.swf.gz")).size(), 4u);
      EXPECT_EQ(c.message, "");
    } catch (const Exception& error) {
      EXPECT_EQ(error.what(), c.message);
    }
  }
}

TEST(HostileLog, OneHotVectorsBeyondTheSampleLimitAreRefused) {
  // 1000 users and 16,778 "uID" keys ask for more than 2^24 values per sample.
  std::vector<JobData> jobs;
  for (int u = 0; u < 1000; ++u) jobs.push_back(tallis_test::job(1, u, 1, u));
  createUserIdLookupTable(jobs);
  const std::vector<AttributeFunction> keys(16778, userID);
  const std::string message = "Too many values per sample: more than 16777216";
  try {
    inputSize(jobs, keys);
    ADD_FAILURE() << "no exception from inputSize";
  } catch (const Exception& error) {
    EXPECT_EQ(error.what(), message);
  }
  TempDir dir;
  try {
    createTrainingFile(jobs, keys, {status}, dir.file("t.dat"), 1000, 0, 0);
    ADD_FAILURE() << "no exception from createTrainingFile";
  } catch (const Exception& error) {
    EXPECT_EQ(error.what(), message);
  }
  EXPECT_FALSE(tallis_test::haveFile(dir.file("t.dat")));
  // 16,777 keys are 16,777,000 values: within the limit.
  EXPECT_EQ(inputSize(jobs, std::vector<AttributeFunction>(16777, userID)), 16777000);
}

class HostileTallis : public testing::Test {
 protected:
  void SetUp() override {
    std::string text;
    for (int i = 0; i < 200; ++i) text += jobLine(i + 1, 100 * i, i % 3 == 0 ? 0 : 1, i % 7, i % 2);
    writeFile(log(), text);
  }
  std::string log() const { return dir.file("log.swf"); }
  std::string out() const { return dir.file("train.dat"); }
  tallis_test::ProgramResult tallis(const std::string& arguments,
                                    const std::string& shellSetup = "") {
    return runProgram(dir, shellSetup + std::string(TALLIS_PATH) + " " + arguments);
  }
  TempDir dir;
};

struct OptionCase {
  const char* what;
  std::string options;
  std::string message;  // standard error, empty: parser's own message (any text)
};

TEST_F(HostileTallis, OddCommandLineValuesEndWithStatusOne) {
  const OptionCase cases[] = {
      {"nan positives ratio", "-is -os -r1:1:1 -pnan", "Positives ratio must be between 0 and 1\n"},
      {"inf positives ratio", "-is -os -r1:1:1 -pinf", "Positives ratio must be between 0 and 1\n"},
      {"letters after the positives ratio", "-is -os -r1:1:1 -p0.5abc", ""},
      {"positives ratio beyond double", "-is -os -r1:1:1 -p1e999", ""},
      {"nan ratio", "-is -os -rnan:1:1 -p0.5", "Data set ratios must be non-negative numbers\n"},
      {"ratio beyond double", "-is -os -r1e999:1:1 -p0.5",
       "Data set ratios must be non-negative numbers\n"},
      {"two ratios", "-is -os -r1:1 -p0.5",
       "Data set ratios need three values: -r<training:validation:test>\n"},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.what);
    const auto result = tallis(c.options + " " + log() + " " + out());
    EXPECT_EQ(result.status, 1);
    if (c.message.empty()) {
      EXPECT_NE(result.err, "");
    } else {
      EXPECT_EQ(result.err, c.message);
    }
    EXPECT_FALSE(tallis_test::haveFile(out()));
  }
  // strtod reads what it can: 6abc is 6.
  const auto lenient = tallis("-is -os -r6abc:2:2 -p0 " + log() + " " + out());
  EXPECT_EQ(lenient.status, 0) << lenient.err;
  EXPECT_EQ(readFile(out()).substr(0, 11), "120 40 40\n1");
}

TEST_F(HostileTallis, ValuesOmbraCannotReadAreNotWritten) {
  // Requested memory of 1e40: beyond the float range ombra reads the file with.
  std::string text = readFile(log());
  text += "201 20000 5 100 4 90 1024 4 3600 1e40 1 3 1 1 1 1 -1 -1\n";
  writeFile(log(), text);
  const auto result = tallis("-irM -os -r1:1:1 -p0 " + log() + " " + out());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "The bounds -1.25e+39 1.125e+40 of value column 0 are beyond the float range of the "
            "training data file\n");
  EXPECT_EQ(result.out.find("File written"), std::string::npos);
  EXPECT_FALSE(tallis_test::haveFile(out()));
}

TEST_F(HostileTallis, WriteFailuresAreReportedAndKeepThePreviousFile) {
  const auto full = tallis("-is -os -r1:1:1 -p0 " + log() + " /dev/full");
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "Error writing file\n");
  EXPECT_NE(full.out.find("Writing file...\n"), std::string::npos);
  EXPECT_EQ(full.out.find("File written"), std::string::npos);

  // Under a regular file and under a missing folder: fails for root as well.
  writeFile(dir.file("plain.txt"), "not a folder");
  for (const std::string& name : {dir.file("plain.txt/t.dat"), dir.file("none/t.dat")}) {
    SCOPED_TRACE(name);
    const auto result = tallis("-is -os -r1:1:1 -p0 " + log() + " " + name);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error opening file\n");
    EXPECT_EQ(result.out.find("File written"), std::string::npos);
  }

  // A file size limit of 2 KiB: the 200-sample file fails part-way (EFBIG, not SIGXFSZ).
  writeFile(out(), "an earlier training file\n");
  const auto limited = tallis("-isT,wT,rCPU,rT -os -r1:1:1 -p0 " + log() + " " + out(),
                              "ulimit -f 2 && ");
  EXPECT_EQ(limited.status, 1);
  EXPECT_EQ(limited.err, "Error writing file\n");
  EXPECT_EQ(limited.out.find("File written"), std::string::npos);
  EXPECT_EQ(readFile(out()), "an earlier training file\n");
  EXPECT_EQ(runProgram(dir, "ls -A '" + dir.path() + "' | grep -c '^\\.train'").out, "0\n");
}

TEST_F(HostileTallis, ClosedProgressPipeStillWritesTheFile) {
  // The reader of standard output is gone before tallis starts: tallis neither dies of
  // SIGPIPE nor leaves the training file unwritten.
  const auto result = runProgram(
      dir, "bash -c \"(sleep 0.3; exec " + std::string(TALLIS_PATH) + " -isT -os -r1:1:1 -p0 " +
               log() + " " + out() + ") | true; exit \\${PIPESTATUS[0]}\"");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(readFile(out()).substr(0, 13), "67 67 66\n1 1\n");
}

}  // namespace
