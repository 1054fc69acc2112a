// Hostile and odd input to tallis: workload logs with NaN and infinite values, huge exponents,
// numbers followed by letters, NUL bytes, CR LF line ends, very long lines, no final newline
// or no content at all, data after a gzip log; odd command-line values and file names; values
// that ombra could not read back or samples it could not use; write failures, targets that must
// not be replaced, and signals during the write. Each case reads as specified or ends with a
// message and status 1 (or the signal), leaving every file as it was.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <csignal>
#include <string>
#include <utility>
#include <vector>

#include "sample_builder/attributes.h"
#include "sample_builder/exception.h"
#include "sample_builder/job_data.h"
#include "sample_builder/training_file.h"
#include "test_helpers.h"
#include "tests/support/test_support.h"

namespace {

using tallis_test::jobLine;
using test_support::readFile;
using test_support::runProgram;
using test_support::ScratchFolder;
using test_support::writeFile;

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
      {"int beyond 32 bits", line("0 5 100 4 90 1024 4 3600 -1 1 99999999999 1 0 1 1 -1 -1\n"), 0},
      {"letters after a number inside", line("0 5abc 100 4 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1\n"),
       0},
      {"letters after the 18th number", line(plainColumns) + "abc\n", 1},
      {"hex int", line("0 5 100 0x4 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1\n"), 0},
      {"integral real in an int column", line("0 5 100 4.0 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1\n"),
       1},
      {"fraction in an int column before a real column",
       line("0 5 100 4.5 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1\n"), 0},
      {"leading plus signs", line("+0 +5 100 4 90 1024 4 3600 -1 +1 +7 1 0 1 1 -1 -1\n"), 1},
      {"NUL inside a line",
       line("0 5 100 4 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1").replace(4, 1, 1, '\0') + "\n", 0},
      {"NUL after the 18th number", line(plainColumns) + std::string(3, '\0') + "\n", 1},
      {"CR LF line ends", good.substr(0, good.size() - 1) + "\r\n" + "; c\r\n" + good, 2},
      {"no final newline", good + good.substr(0, good.size() - 1), 2},
      {"one-megabyte comment line", ";" + megabyte + "\n" + good, 1},
      {"one-megabyte tail after the 18th number", line(plainColumns) + megabyte + "x\n" + good, 2},
      {"one megabyte of blanks inside a job line",
       "1 0 5" + megabyte + "100 4 90 1024 4 3600 -1 1 7 1 0 1 1 -1 -1\n", 1},
  };
  ScratchFolder dir;
  for (const LogCase& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(dir.file("log.swf"), c.text);
    EXPECT_EQ(parseFile(dir.file("log.swf")).size(), static_cast<size_t>(c.jobs));
  }
}

TEST(HostileLog, LineLongerThan64MiBIsRefused) {
  // A decompression bomb: 65 MiB of blanks without a line feed, a few kilobytes compressed.
  ScratchFolder dir;
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

std::string gzipped(const ScratchFolder& dir, const std::string& text) {
  const std::string name = dir.file("member.gz");
  gzFile gz = gzopen(name.c_str(), "wb");
  gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
  gzclose(gz);
  return readFile(name);
}

TEST(HostileLog, DataAfterACompressedLogIsRefused) {
  // zlib's own reader drops whatever follows the last gzip member in silence.
  ScratchFolder dir;
  const std::string text = jobLine(1, 0, 1, 1, 1) + jobLine(2, 5, 0, 1, 1);
  const std::string member = gzipped(dir, text);
  const std::string trailing = "Error reading file: " + dir.file("log.swf.gz") +
                               ": data after the end of the compressed log";
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
       "Error reading file: " + dir.file("log.swf.gz") +
           ": the gzip data ends early (a truncated download?)"},
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
  const AttributeList keys(16778, findAttribute("uID"));
  const std::string message = "Too many values per sample: more than 16777216 (at \"uID\")";
  try {
    inputSize(jobs, keys);
    ADD_FAILURE() << "no exception from inputSize";
  } catch (const Exception& error) {
    EXPECT_EQ(error.what(), message);
  }
  ScratchFolder dir;
  try {
    createTrainingFile(jobs, keys, tallis_test::rows("s"), dir.file("t.dat"), 1000, 0, 0);
    ADD_FAILURE() << "no exception from createTrainingFile";
  } catch (const Exception& error) {
    EXPECT_EQ(error.what(), message);
  }
  EXPECT_FALSE(tallis_test::haveFile(dir.file("t.dat")));
  // 16,777 keys are 16,777,000 values: within the limit.
  EXPECT_EQ(inputSize(jobs, AttributeList(16777, findAttribute("uID"))), 16777000);
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
  test_support::ProgramRun tallis(const std::string& arguments,
                                  const std::string& shellSetup = "") {
    return runProgram(shellSetup + std::string(TALLIS_PATH) + " " + arguments);
  }
  ScratchFolder dir;
  // Runs tallis as an ordinary user (nobody when the test runs as root) with readOnly, the
  // target or its card, read-only: refused, kept, nothing left behind.
  void expectReadOnlyRefused(const std::string& readOnly) {
    writeFile(readOnly, "read-only\n");
    chmod(readOnly.c_str(), 0444);
    const uid_t nobody = 65534;
    if (geteuid() == 0 && chown(readOnly.c_str(), nobody, nobody) != 0) GTEST_SKIP() << "chown";
    const std::string errors = dir.file("child-stderr.txt");
    pid_t child = fork();
    if (child == 0) {
      if (geteuid() == 0 &&
          (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0)) {
        _exit(77);
      }
      const int error = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
      dup2(error, STDERR_FILENO);
      execl(TALLIS_PATH, TALLIS_PATH, "-isT", "-os", "-r1:1:1", "-p0", log().c_str(), out().c_str(),
            nullptr);
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot become nobody";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(readFile(errors),
              "Refusing to replace '" + readOnly + "': the file is not writable\n");
    EXPECT_EQ(readFile(readOnly), "read-only\n");
    EXPECT_TRUE(tallis_test::hiddenFiles(dir.path()).empty());
  }
};

struct OptionCase {
  const char* what;
  std::string options;
  std::string message;  // standard error, empty: parser's own message (any text)
  int status;           // 1: a value tallis refuses, 2: one the option parser refuses
};

TEST_F(HostileTallis, OddCommandLineValuesEndWithAMessage) {
  const OptionCase cases[] = {
      {"nan positives ratio", "-is -os -r1:1:1 -pnan",
       "Positives ratio must be between 0 and 1 (-pnan)\n", 1},
      {"inf positives ratio", "-is -os -r1:1:1 -pinf",
       "Positives ratio must be between 0 and 1 (-pinf)\n", 1},
      {"letters after the positives ratio", "-is -os -r1:1:1 -p0.5abc", "", 2},
      {"positives ratio beyond double", "-is -os -r1:1:1 -p1e999", "", 2},
      {"nan ratio", "-is -os -rnan:1:1 -p0.5",
       "Data set ratios must be non-negative numbers (-rnan:1:1)\n", 1},
      {"ratio beyond double", "-is -os -r1e999:1:1 -p0.5",
       "Data set ratios must be non-negative numbers (-r1e999:1:1)\n", 1},
      {"two ratios", "-is -os -r1:1 -p0.5",
       "Data set ratios need three values: -r<training:validation:test> (-r1:1)\n", 1},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.what);
    const auto result = tallis(c.options + " " + log() + " " + out());
    EXPECT_EQ(result.status, c.status);
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
  EXPECT_EQ(full.err, "Error writing file: /dev/full: no space left on device\n");
  EXPECT_NE(full.out.find("Writing file...\n"), std::string::npos);
  EXPECT_EQ(full.out.find("File written"), std::string::npos);

  // Under a regular file, under a missing folder, a folder's name: fail for root as well,
  // before the log is read ("num jobs" is not printed), with the name and the reason.
  writeFile(dir.file("plain.txt"), "not a folder");
  for (const auto& [name, reason] :
       {std::make_pair(dir.file("plain.txt/t.dat"), "not a directory"),
        std::make_pair(dir.file("none/t.dat"), "no such file or directory"),
        std::make_pair(dir.file("out.dat/"), "is a directory")}) {
    SCOPED_TRACE(name);
    const auto result = tallis("-is -os -r1:1:1 -p0 " + log() + " " + name);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error opening file: " + name + ": " + reason + "\n");
    EXPECT_EQ(result.out.find("num jobs"), std::string::npos);
  }

  // A file size limit of 2 KiB: the 200-sample file fails part-way (EFBIG, not SIGXFSZ).
  writeFile(out(), "an earlier training file\n");
  const auto limited =
      tallis("-isT,wT,rCPU,rT -os -r1:1:1 -p0 " + log() + " " + out(), "ulimit -f 2 && ");
  EXPECT_EQ(limited.status, 1);
  EXPECT_EQ(limited.err, "Error writing file: " + out() + ": file too large\n");
  EXPECT_EQ(limited.out.find("File written"), std::string::npos);
  EXPECT_EQ(readFile(out()), "an earlier training file\n");
  EXPECT_EQ(runProgram("ls -A '" + dir.path() + "' | grep -c '^\\.train'").out, "0\n");
}

TEST_F(HostileTallis, ClosedProgressPipeStillWritesTheFile) {
  // The reader of standard output is gone before tallis starts: tallis neither dies of
  // SIGPIPE nor leaves the training file unwritten.
  const auto result = runProgram("bash -c \"(sleep 0.3; exec " + std::string(TALLIS_PATH) +
                                 " -isT -os -r1:1:1 -p0 " + log() + " " + out() +
                                 ") | true; exit \\${PIPESTATUS[0]}\"");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(readFile(out()).substr(0, 13), "67 67 66\n1 1\n");
}

struct RefusalCase {
  std::string what;
  std::string arguments;  // everything after the program name
  std::string message;    // standard error
};

// The files the refusals are tried on: links to the log, a link loop, a training data file
// and logs that give no usable split or no values.
void plantRefusalFiles(const ScratchFolder& dir, const std::string& log) {
  ASSERT_EQ(link(log.c_str(), dir.file("hard.swf").c_str()), 0);
  ASSERT_EQ(symlink("log.swf", dir.file("soft.swf").c_str()), 0);
  ASSERT_EQ(link(log.c_str(), dir.file("t.dat.columns").c_str()), 0);
  ASSERT_EQ(symlink("loop2", dir.file("loop1").c_str()), 0);
  ASSERT_EQ(symlink("loop1", dir.file("loop2").c_str()), 0);
  mkdir(dir.file("sub").c_str(), 0755);
  writeFile(dir.file("old.dat"), "120 40 40\n1 1\n-0.125 1.125\n-0.125 1.125\n0\t1\t\n");
  std::string completedFirst, noUsers;
  for (int i = 0; i < 6; ++i) {
    completedFirst += jobLine(i + 1, 10 * i, i < 4 ? 1 : 0, 1, 1);  // -r1:1:1: 4 leading jobs
    noUsers += jobLine(i + 1, 10 * i, i % 2, -1, 1);
  }
  writeFile(dir.file("completed.swf"), completedFirst);
  writeFile(dir.file("nousers.swf"), noUsers);
  writeFile(dir.file("one.swf"), jobLine(1, 0, 1, 1, 1));
}

// Files of other kinds that a glob or a mistyped name may offer as the training data file.
std::vector<std::pair<std::string, std::string>> foreignFiles(const std::string& log) {
  return {{"b.swf", readFile(log)},
          {"b.swf.gz", std::string("\x1f\x8b\x08\0\0\0\0\0", 8)},
          {"bp.txt", "Learning rate: 0.5\nIterations: 9\n"},
          {"NN_kernels.cl", "__kernel void f() {}\n"},
          {"net.bin", std::string("\2\0\0\0\1\0\0\0\1\0\0\0", 12) + std::string(24, '\0')}};
}

std::vector<RefusalCase> refusalCases(const ScratchFolder& dir, const std::string& log,
                                      const std::string& out) {
  const std::string options = "-isT -os -r1:1:1 -p0 ";
  const std::string sameAsLog = "': it is the input log '" + log + "'";
  return {
      {"the log as output", options + log + " " + log, "Refusing to write '" + log + sameAsLog},
      {"a hard link to the log", options + log + " " + dir.file("hard.swf"),
       "Refusing to write '" + dir.file("hard.swf") + sameAsLog},
      {"a symbolic link to the log", options + log + " " + dir.file("soft.swf"),
       "Refusing to write '" + dir.file("soft.swf") + sameAsLog},
      {"the log through ..", options + log + " " + dir.file("sub/../log.swf"),
       "Refusing to write '" + dir.file("sub/../log.swf") + sameAsLog},
      {"the log as the column names", options + log + " " + dir.file("t.dat"),
       "Refusing to write '" + dir.file("t.dat.columns") + "', the column names of '" +
           dir.file("t.dat") + sameAsLog},
      {"swapped names", options + dir.file("old.dat") + " " + log,
       "Refusing to read '" + dir.file("old.dat") +
           "' as a workload log: it is a training data file (are the file names swapped?)"},
      {"a shell glob", options + dir.file("a.swf") + " " + log + " " + out,
       "Too many file names: '" + dir.file("a.swf") + "' '" + log + "' '" + out +
           "' (tallis reads one log and writes one training data file)"},
      // A glob of two logs: the second is no training data file (it used to be replaced).
      {"a glob of two logs", options + log + " " + dir.file("b.swf"),
       "Refusing to replace '" + dir.file("b.swf") +
           "': it is a workload log, not a training data file"},
      {"gzip data", options + log + " " + dir.file("b.swf.gz"),
       "Refusing to replace '" + dir.file("b.swf.gz") +
           "': it is gzip-compressed data, not a training data file"},
      {"a parameters file", options + log + " " + dir.file("bp.txt"),
       "Refusing to replace '" + dir.file("bp.txt") +
           "': it is an algorithm parameters file, not a training data file"},
      {"the kernel source", options + log + " " + dir.file("NN_kernels.cl"),
       "Refusing to replace '" + dir.file("NN_kernels.cl") +
           "': it is the OpenCL kernel source, not a training data file"},
      {"a network file", options + log + " " + dir.file("net.bin"),
       "Refusing to replace '" + dir.file("net.bin") +
           "': it is a network file, not a training data file"},
      {"the log among the options", "-isT -os " + log + " -r1:1:1 -p0 " + out,
       "The input log and the output file must be the last two arguments (tallis -i... -o... "
       "-r... -p... log.swf train.dat)"},
      {"no file names", "-i sT -o s -r 1:1:1 -p0",
       "The input log and the output file must be the last two arguments (tallis -i... -o... "
       "-r... -p... log.swf train.dat)"},
      {"a symbolic link loop", options + log + " " + dir.file("loop1"),
       "Refusing to write '" + dir.file("loop1") + "': a symbolic link loop"},
      {"training ratio 0", "-isT -os -r0:1:1 -p0 " + log + " " + out,
       "Training ratio must not be 0 (-r0:1:1): ombra needs training samples"},
      {"a split without training samples", options + dir.file("one.swf") + " " + out,
       "Data set ratios give no training samples (jobs: 1)"},
      {"no failure among the training and validation jobs",
       "-isT -os -r1:1:1 -p0.5 " + dir.file("completed.swf") + " " + out,
       "No training samples left after the positives ratio step: no training or validation job "
       "failed or was cancelled"},
      {"uID inputs on a log without users",
       "-iuID -os -r1:1:1 -p0 " + dir.file("nousers.swf") + " " + out,
       "The input attributes give no values (\"uID\" gives none: the log has no user ids)"},
      {"uID outputs on a log without users",
       "-isT -ouID -r1:1:1 -p0 " + dir.file("nousers.swf") + " " + out,
       "The output attributes give no values (\"uID\" gives none: the log has no user ids)"},
  };
}

// Every refusal names its reason, ends with status 1 and leaves the log and the target as they
// were: the same file under another name, swapped names, a shell glob, a misplaced name, a
// symbolic link loop or a planted link, and splits or sizes that ombra could not use.
TEST_F(HostileTallis, RefusalsLeaveEveryFileAlone) {
  const std::string original = readFile(log());
  ASSERT_NO_FATAL_FAILURE(plantRefusalFiles(dir, log()));
  for (const auto& [name, content] : foreignFiles(log())) writeFile(dir.file(name), content);
  std::vector<RefusalCase> cases = refusalCases(dir, log(), out());
  // A link that another user planted in a sticky world-writable folder (needs root to plant).
  const std::string shared = dir.file("shared");
  mkdir(shared.c_str(), 0755);
  chmod(shared.c_str(), 01777);
  ASSERT_EQ(symlink("../old.dat", (shared + "/train.dat").c_str()), 0);
  if (lchown((shared + "/train.dat").c_str(), 65534, 65534) == 0) {
    cases.push_back({"a planted link in a shared folder",
                     "-isT -os -r1:1:1 -p0 " + log() + " " + shared + "/train.dat",
                     "Refusing to follow the symbolic link '" + shared +
                         "/train.dat' in the shared folder '" + shared +
                         "': it belongs to another user"});
  }
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    const auto result = tallis(c.arguments);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, c.message + "\n");
    EXPECT_EQ(readFile(log()), original);
    EXPECT_FALSE(tallis_test::haveFile(out()));
    EXPECT_EQ(readFile(dir.file("old.dat")).substr(0, 10), "120 40 40\n");
  }
  EXPECT_TRUE(tallis_test::hiddenFiles(dir.path()).empty());
  EXPECT_TRUE(tallis_test::hiddenFiles(shared).empty());
  for (const auto& [name, content] : foreignFiles(log())) {
    EXPECT_EQ(readFile(dir.file(name)), content) << name;
    EXPECT_FALSE(tallis_test::haveFile(dir.file(name + ".columns"))) << name;
  }
}

TEST_F(HostileTallis, UnknownSubmitTimesAndMissingApplicationsAreReported) {
  // Two jobs with an unknown submit time, no application numbers at all.
  std::string text;
  for (int i = 0; i < 10; ++i) {
    text += jobLine(i + 1, i == 3 || i == 6 ? -1 : 100 * i, i % 3 == 0 ? 0 : 1, i % 2, -1);
  }
  writeFile(log(), text);
  const auto result = tallis("-iea,ec -os -r1:1:1 -p0 " + log() + " " + out());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err,
            "Warning: 2 of 10 jobs have an unknown submit time (-1); \"ea\" and \"ec\" give "
            "31536000 wherever one is needed\n"
            "Warning: no job has an application number (all -1); \"lsua\", \"lc\", \"lrt\", "
            "\"lCPUt\" and \"ea\" describe the user's previous job, \"lsa\" the previous job of "
            "the log\n");
  // No elapsed time is negative or taken from -1: job 5 follows job 3 of its user (unknown).
  const std::string file = readFile(out());
  EXPECT_EQ(file.find("\t-"), std::string::npos) << file;
  EXPECT_NE(file.find("\n200\t200\t"), std::string::npos) << file;
  EXPECT_NE(file.find("\n3.1536e+07\t3.1536e+07\t1\t\n"), std::string::npos) << file;
}

TEST_F(HostileTallis, StandardOutputAsTargetIsWrittenThrough) {
  // /dev/stdout appended to a file: renaming over that file would lose its earlier lines.
  writeFile(dir.file("keep.txt"), "keep me\n");
  const auto result = runProgram("sh -c '" + std::string(TALLIS_PATH) + " -isT -os -r1:1:1 -p0 " +
                                 log() + " /dev/stdout >> " + dir.file("keep.txt") + "'");
  EXPECT_EQ(result.status, 0) << result.err;
  // Only the training data follows the earlier lines: the progress lines, which would have run
  // into it, go to standard error.
  const std::string kept = readFile(dir.file("keep.txt"));
  EXPECT_EQ(kept.rfind("keep me\n67 67 66\n1 1\n", 0), 0u) << kept;
  EXPECT_EQ(kept.find("atrib"), std::string::npos) << kept;
  EXPECT_EQ(result.err.rfind("atrib[0]=sT\n", 0), 0u) << result.err;
  EXPECT_EQ(result.err.substr(result.err.size() - 26), "File written\nand... done.\n");
  EXPECT_TRUE(tallis_test::hiddenFiles(dir.path()).empty());
  // The target's plain name is replaced as usual, even when standard output goes there too.
  const auto plain = runProgram("sh -c '" + std::string(TALLIS_PATH) + " -isT -os -r1:1:1 " +
                                "-p0 " + log() + " " + out() + " >> " + out() + "'");
  EXPECT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(readFile(out()).substr(0, 13), "67 67 66\n1 1\n");
}

// rename ignores the target's own permissions. Root may write any file, so the check runs in a
// child that becomes an ordinary user (nobody) when started as root. The training data file
// and its input card alike: a read-only card is refused before any work, and kept (it used to
// be refused after all the work, then deleted).
TEST_F(HostileTallis, ReadOnlyTargetIsRefusedForAnOrdinaryUser) {
  chmod(dir.path().c_str(), 0777);
  for (const std::string& readOnly : {out(), out() + ".columns"}) {
    SCOPED_TRACE(readOnly);
    unlink(out().c_str());
    unlink((out() + ".columns").c_str());
    expectReadOnlyRefused(readOnly);
    if (HasFatalFailure() || IsSkipped()) return;
  }
}

// A FIFO without a reader is opened before the log is read: tallis says it waits, instead of
// hanging after all the work. With a reader it is written in place, and gets no card.
TEST_F(HostileTallis, FifoTargetIsOpenedBeforeTheWork) {
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string out = dir.file("stdout.txt"), err = dir.file("stderr.txt");
  const pid_t child = fork();
  if (child == 0) {
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
    execl(TALLIS_PATH, TALLIS_PATH, "-isT", "-os", "-r1:1:1", "-p0", log().c_str(), fifo.c_str(),
          nullptr);
    _exit(127);
  }
  for (int wait = 0; wait < 1000 && readFile(err).empty(); ++wait) usleep(10000);
  EXPECT_EQ(readFile(err), "Waiting for a reader of the FIFO " + fifo + "\n");
  EXPECT_EQ(readFile(out).find("num jobs"), std::string::npos) << "the log was read first";
  const std::string written = readFile(fifo);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(written.substr(0, 13), "67 67 66\n1 1\n");
  EXPECT_FALSE(tallis_test::haveFile(fifo + ".columns"));
}

// Valid names up to 255 bytes: the temporary names beside them (eight bytes more) are
// shortened; a card name that cannot exist leaves the data without names, with a warning.
TEST_F(HostileTallis, LongestNamesAreWritten) {
  for (size_t length : {240, 250}) {
    SCOPED_TRACE(length);
    const std::string base = std::string(length - 4, 't') + ".dat";
    const auto result = tallis("-isT -os -r1:1:1 -p0 " + log() + " " + dir.file(base));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readFile(dir.file(base)).substr(0, 13), "67 67 66\n1 1\n");
    EXPECT_EQ(tallis_test::haveFile(dir.file(base + ".columns")), length == 240);
    EXPECT_EQ(result.err, length == 240
                              ? ""
                              : "Warning: no column names for " + dir.file(base) + ": " + base +
                                    ".columns would be longer "
                                    "than 255 bytes\n");
  }
}

TEST_F(HostileTallis, TerminationSignalsRemoveTheTemporaryFile) {
  const std::vector<std::string> arguments = {TALLIS_PATH, "-isT", "-os", "-r1:1:1",
                                              "-p0",       log(),  out()};
  // The lines printed before the training file is opened, from a run to completion.
  const auto complete = tallis("-isT -os -r1:1:1 -p0 " + log() + " " + out());
  const std::string marker = "Writing file...\n";
  ASSERT_NE(complete.out.find(marker), std::string::npos);
  const std::string before = complete.out.substr(0, complete.out.find(marker) + marker.size());
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(signal);
    writeFile(out(), "an earlier training file\n");
    // A pipe with room for exactly those lines: the next line blocks tallis while its
    // temporary file exists, so the signal always arrives in the middle of the write.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const int capacity = fcntl(ends[1], F_GETPIPE_SZ);
    ASSERT_GT(capacity, static_cast<int>(before.size()));
    const std::string filler(capacity - before.size(), 'x');
    ASSERT_EQ(write(ends[1], filler.data(), filler.size()), static_cast<ssize_t>(filler.size()));
    const int status = tallis_test::signalWhenTemporaryFileAppears(arguments, dir, signal, ends[1]);
    close(ends[0]);
    close(ends[1]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    EXPECT_EQ(readFile(out()), "an earlier training file\n");
    EXPECT_TRUE(tallis_test::hiddenFiles(dir.path()).empty());
  }
}

// A link to a folder that another user planted in a sticky world-writable folder (/tmp/x/evil
// -> the victim's home) is judged like a link at the end of the path: no program writes
// through it. Giving the link and the folder other owners needs root.
TEST(PlantedFolderLink, NoProgramWritesThroughIt) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give the link and its folder other owners";
  ScratchFolder dir;
  const std::string sticky = dir.file("tmp");
  ASSERT_EQ(mkdir(sticky.c_str(), 0777), 0);
  ASSERT_EQ(chmod(sticky.c_str(), 01777), 0);
  ASSERT_EQ(chown(sticky.c_str(), 65533, 0), 0);
  ASSERT_EQ(mkdir(dir.file("victim").c_str(), 0755), 0);
  const std::string evil = sticky + "/evil";
  ASSERT_EQ(symlink(dir.file("victim").c_str(), evil.c_str()), 0);
  ASSERT_EQ(lchown(evil.c_str(), 65534, 0), 0);
  std::string log;
  for (int i = 0; i < 30; ++i) log += jobLine(i + 1, 10 * i, i % 3 == 0 ? 0 : 1, i % 4, 1);
  writeFile(dir.file("log.swf"), log);
  writeFile(dir.file("net.cfg"), "1 2 1\n");
  writeFile(dir.file("bp.txt"), "Iterations: 1\n");
  const std::string in = "cd '" + dir.path() + "' && ";
  const std::string tallis = std::string(TALLIS_PATH) + " -isT -os -r1:1:1 -p0 log.swf ";
  const std::string ombra = std::string(OMBRA_PATH) + " BP net.cfg train.dat bp.txt ";
  ASSERT_EQ(runProgram(in + tallis + "train.dat").status, 0);
  ASSERT_EQ(runProgram(in + ombra + "net.bin </dev/null").status, 0);
  const std::string refusedTallis = "Refusing to follow the symbolic link '" + evil +
                                    "' in the shared folder '" + sticky +
                                    "': it belongs to another user\n";
  const struct {
    std::string command;
    std::string message;  // standard error
  } cases[] = {
      {tallis + evil + "/train.dat", refusedTallis},
      {std::string(SWFGEN_PATH) + " --jobs 10 " + evil + "/log.swf", refusedTallis},
      {ombra + evil + "/net.bin </dev/null",
       "Error opening file: " + evil +
           "/net.bin: a symbolic link in a sticky world-writable folder, owned by another user\n"},
      {std::string(OMBRA_EVALUATE_PATH) + " net.bin train.dat --charts " + evil + "/run",
       "ombra-evaluate: --charts: refusing to follow the symbolic link " + evil +
           " in the shared folder " + sticky +
           ": it belongs to another user\n"
           "Try 'ombra-evaluate --help'.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const auto result = runProgram(in + c.command);
    EXPECT_NE(result.status, 0);
    EXPECT_EQ(result.err, c.message);
    EXPECT_EQ(runProgram("ls -A '" + dir.file("victim") + "'").out, "");
  }
}

}  // namespace
