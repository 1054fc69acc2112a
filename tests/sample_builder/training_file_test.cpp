// Training data file: sizes, bounds, layout, the two-pass writer against the direct one, and
// what happens to the target file when writing fails.

#include "sample_builder/training_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "sample_builder/exception.h"
#include "test_helpers.h"
#include "tests/reference/reference.h"
#include "tests/support/test_support.h"

namespace {

using test_support::ScratchFolder;

using tallis_test::job;
using test_support::readFile;
using test_support::ScratchFolder;

// A test-only attribute with two values, to drive the writer's generic path.
std::vector<double> halfAndSquare(const std::vector<JobData>& jobs, int i) {
  return {jobs[i].runTime * 0.5, jobs[i].submitTime * jobs[i].submitTime};
}

// A test-only attribute whose width grows with the job index: the writer must refuse it.
std::vector<double> growingValues(const std::vector<JobData>&, int i) {
  return std::vector<double>(i + 1, 1.0);
}

// An output attribute whose value is the job's run time, for hand-made positives.
std::vector<double> runTimeValue(const std::vector<JobData>& jobs, int i) {
  return {jobs[i].runTime};
}

const AttributeRow kHalfAndSquare = definitionOnly("half", halfAndSquare);
const AttributeRow kGrowingValues = definitionOnly("growing", growingValues);
const AttributeRow kRunTimeValue = definitionOnly("run", runTimeValue);
const AttributeRow* const kUser = findAttribute("uID");
const AttributeRow* const kSubmit = findAttribute("sT");
const AttributeRow* const kStatus = findAttribute("s");

void buildTable(const std::vector<JobData>& jobs) {
  test_support::captureStdout();
  createUserIdLookupTable(jobs);
  test_support::capturedStdout();
}

std::string writeWith(bool fast, const std::vector<JobData>& jobs, const AttributeList& inputs,
                      const AttributeList& outputs, const std::string& path, double training,
                      double validation, double test, std::string* printed,
                      DecisionTime when = DecisionTime::log) {
  test_support::captureStdout();
  if (fast) {
    createTrainingFile(jobs, inputs, outputs, path, training, validation, test, when);
  } else {
    reference::createTrainingFile(jobs, inputs, outputs, path, training, validation, test, when);
  }
  *printed = test_support::capturedStdout();
  return readFile(path);
}

TEST(WidenedBounds, AddOneEighthOfTheRangeOrAConstantMargin) {
  ColumnBounds constant = widenedBounds(3, 3);
  EXPECT_EQ(constant.lower, 2.875);
  EXPECT_EQ(constant.upper, 3.125);
  ColumnBounds range = widenedBounds(0, 8);
  EXPECT_EQ(range.lower, -1);
  EXPECT_EQ(range.upper, 9);
  ColumnBounds tiny = widenedBounds(1, 1 + 1e-210);
  EXPECT_EQ(tiny.lower, 0.875);
}

TEST(SampleSizes, CountTheValuesOfJobZero) {
  std::vector<JobData> jobs = {job(1, 4, 1), job(0, 9, 1)};
  buildTable(jobs);
  EXPECT_EQ(inputSize(jobs, {kUser, kSubmit, &kHalfAndSquare}), 5);
  EXPECT_EQ(outputSize(jobs, {kStatus}), 1);
  EXPECT_EQ(reference::createTrainingSample(jobs, 1, {kUser, kSubmit}, {kStatus}),
            (std::vector<double>{0, 1, 0, 1}));
}

TEST(CreateTrainingFile, WritesTheLayoutByteForByte) {
  ScratchFolder dir;
  // Inputs: lsu and requested processors; output: status. Values 0..1 and 2..40.
  std::vector<JobData> jobs;
  const int processors[] = {2, 40, 8, 8, 16};
  const int statuses[] = {1, 0, 1, 5, 1};
  for (int i = 0; i < 5; ++i) {
    jobs.push_back(job(statuses[i], 1, 1));
    jobs.back().requestedNumberOfProcessors = processors[i];
  }
  buildTable(jobs);
  std::string printed;
  std::string text = writeWith(true, jobs, tallis_test::rows("lsu,rCPU"), {kStatus},
                               dir.file("train.dat"), 3, 1, 1, &printed);
  EXPECT_EQ(printed, "positives = 2\tnegatives= 3\n");
  EXPECT_EQ(text,
            "3 1 1\n"
            "2 1\n"
            "-0.125 1.125\n"
            "-2.75 44.75\n"
            "-0.125 1.125\n"
            "0\t2\t0\t\n"
            "0\t40\t1\t\n"
            "1\t8\t0\t\n"
            "0\t8\t1\t\n"
            "1\t16\t0\t\n");
}

TEST(CreateTrainingFile, LastValueOfExactlyHalfIsNegative) {
  ScratchFolder dir;
  std::vector<JobData> jobs = {job(1, 1, 1, 0, 0.5), job(1, 1, 1, 0, 0.5000001),
                               job(1, 1, 1, 0, 0.4)};
  buildTable(jobs);
  for (bool fast : {true, false}) {
    std::string printed;
    writeWith(fast, jobs, {kSubmit}, {&kRunTimeValue}, dir.file("t.dat"), 1, 1, 1, &printed);
    EXPECT_EQ(printed, "positives = 1\tnegatives= 2\n") << fast;
  }
}

TEST(CreateTrainingFile, WarnsWhenTheBoundsOfAColumnRoundToOneNumber) {
  ScratchFolder dir;
  // Constant 259200: the 0.125 margin vanishes at six significant digits.
  std::vector<JobData> large = {job(1, 1, 1, 259200), job(0, 1, 1, 259200)};
  std::vector<JobData> small = {job(1, 1, 1, 3), job(0, 1, 1, 3)};
  buildTable(large);
  std::string printed;
  test_support::captureStderr();
  std::string file =
      writeWith(true, large, {kSubmit}, {kStatus}, dir.file("t.dat"), 1, 1, 0, &printed);
  EXPECT_EQ(test_support::capturedStderr(),
            "Warning: the bounds of value column 0 round to 259200 259200; a network cannot "
            "scale this column\n");
  EXPECT_NE(file.find("\n259200 259200\n"), std::string::npos);

  buildTable(small);
  test_support::captureStderr();
  writeWith(true, small, {kSubmit}, {kStatus}, dir.file("t.dat"), 1, 1, 0, &printed);
  EXPECT_EQ(test_support::capturedStderr(), "");
}

TEST(CreateTrainingFile, TwoPassWriterEqualsTheDirectWriter) {
  ScratchFolder dir;
  std::mt19937 random(5);
  // In log order, then at both decision times on the shorter logs (the reference's decision
  // time is a quadratic scan).
  const DecisionTime settings[] = {DecisionTime::log, DecisionTime::log,   DecisionTime::submit,
                                   DecisionTime::log, DecisionTime::start, DecisionTime::log};
  for (int round = 0; round < 6; ++round) {
    const DecisionTime when = settings[round];
    std::vector<JobData> jobs;
    int count = 50 + round * 400;
    for (int i = 0; i < count; ++i) {
      JobData j = job(random() % 4 == 0 ? (random() % 2 ? 0 : 5) : 1,
                      static_cast<int>(random() % (3 + round * 10)) - 1,
                      static_cast<int>(random() % (2 + round * 30)) - 1,
                      i * 97.25 + random() % 40000000, random() % 6 == 0 ? -1 : random() % 90000,
                      random() % 6 == 0 ? -1 : (random() % 100000) / 7.0);
      j.waitTime = (random() % 2000000) / 3.0 - 10;
      j.requestedNumberOfProcessors = random() % 3 == 0 ? -1 : random() % 4096;
      j.requestedTime = round == 2 ? 3600 : random() % 1000000;  // one constant column
      j.requestedMemory = -1.0 * (random() % 3) * 1e-7;
      jobs.push_back(j);
    }
    buildTable(jobs);
    AttributeList inputs;
    for (const AttributeRow& row : attributeTable()) {
      if (&row != kStatus && row.definition != nullptr) inputs.push_back(&row);
    }
    inputs.push_back(kUser);  // a key may appear twice
    inputs.push_back(&kHalfAndSquare);
    AttributeList outputs = tallis_test::rows("lsu,s");
    if (round == 3) outputs = {kStatus, kUser};  // last value from the one-hot block
    int training = count / 2, validation = count / 4;
    std::string fastPrinted, plainPrinted;
    std::string fast = writeWith(true, jobs, inputs, outputs, dir.file("fast.dat"), training,
                                 validation, count - training - validation, &fastPrinted, when);
    std::string plain = writeWith(false, jobs, inputs, outputs, dir.file("plain.dat"), training,
                                  validation, count - training - validation, &plainPrinted, when);
    ASSERT_EQ(fast.size(), plain.size()) << "round " << round;
    EXPECT_TRUE(fast == plain) << "round " << round;
    EXPECT_EQ(fastPrinted, plainPrinted);
  }
}

TEST(CreateTrainingFile, ThrowsWhenTheFileCannotBeCreated) {
  std::vector<JobData> jobs = {job(1, 1, 1)};
  buildTable(jobs);
  try {
    createTrainingFile(jobs, {kSubmit}, {kStatus}, "/nonexistent/dir/t.dat", 1, 0, 0);
    FAIL() << "no exception";
  } catch (const OutputFileError& error) {
    EXPECT_STREQ(error.what(),
                 "Error opening file: /nonexistent/dir/t.dat: no such file or directory");
  }
}

TEST(TrainingOutputFile, ReplacesAnExistingFileOnlyWhenWritingSucceeded) {
  ScratchFolder dir;
  std::string path = dir.file("train.dat");
  test_support::writeFile(path, "previous contents\n");
  chmod(path.c_str(), 0640);
  std::vector<JobData> jobs = {job(1, 1, 1, 5)};
  buildTable(jobs);
  // A generic attribute whose width changes fails in the middle of the write.
  std::vector<JobData> uneven = {job(1, 1, 1), job(1, 2, 1)};
  buildTable(uneven);
  test_support::captureStdout();
  EXPECT_THROW(createTrainingFile(uneven, {kUser, &kHalfAndSquare, &kGrowingValues}, {kStatus},
                                  path, 1, 1, 0),
               Exception);
  test_support::capturedStdout();
  EXPECT_EQ(readFile(path), "previous contents\n");
  std::string listing = test_support::runProgram("ls -A '" + dir.path() + "'").out;
  EXPECT_EQ(listing, "train.dat\n") << "no temporary file left behind";

  buildTable(jobs);
  std::string printed;
  writeWith(true, jobs, {kSubmit}, {kStatus}, path, 1, 0, 0, &printed);
  EXPECT_EQ(readFile(path), "1 0 0\n1 1\n4.875 5.125\n-0.125 0.125\n5\t0\t\n");
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u) << "the replaced file keeps its mode";
}

TEST(TrainingOutputFile, FollowsASymbolicLinkAndWritesDevicesInPlace) {
  ScratchFolder dir;
  std::vector<JobData> jobs = {job(1, 1, 1, 5)};
  buildTable(jobs);
  mkdir(dir.file("data").c_str(), 0755);
  ASSERT_EQ(symlink("data/real.dat", dir.file("link.dat").c_str()), 0);
  std::string printed;
  writeWith(true, jobs, {kSubmit}, {kStatus}, dir.file("link.dat"), 1, 0, 0, &printed);
  struct stat info;
  ASSERT_EQ(lstat(dir.file("link.dat").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link itself stays a link";
  EXPECT_EQ(readFile(dir.file("data/real.dat")), "1 0 0\n1 1\n4.875 5.125\n-0.125 0.125\n5\t0\t\n");

  test_support::captureStdout();
  EXPECT_NO_THROW(createTrainingFile(jobs, {kSubmit}, {kStatus}, "/dev/null", 1, 0, 0));
  try {
    createTrainingFile(jobs, {kSubmit}, {kStatus}, "/dev/full", 1, 0, 0);
    ADD_FAILURE() << "no exception for a full device";
  } catch (const OutputFileError& error) {
    EXPECT_STREQ(error.what(), "Error writing file: /dev/full: no space left on device");
  }
  test_support::capturedStdout();
}

}  // namespace
