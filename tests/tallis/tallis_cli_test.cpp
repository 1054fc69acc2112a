// The tallis program through its executable: printed lines, messages and exit statuses.

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "sample_builder/attribute_table.h"
#include "tests/sample_builder/test_helpers.h"
#include "tests/support/test_support.h"

namespace {

using tallis_test::jobLine;
using test_support::readFile;
using test_support::runProgram;
using test_support::ScratchFolder;
using test_support::writeFile;

class TallisProgram : public testing::Test {
 protected:
  void SetUp() override {
    // 10 jobs, 2 of them partial (status 3 and -1); users 7, 3, 7, 12, -1; 3 failures.
    std::string text = "; a header line\n";
    const int statuses[] = {1, 0, 1, 3, 5, 1, 1, -1, 0, 1};
    const int users[] = {7, 3, 7, 12, -1, 3, 7, 12, 3, -1};
    for (int i = 0; i < 10; ++i) text += jobLine(i + 1, 100 * i, statuses[i], users[i], i % 2);
    writeFile(log(), text);
  }
  std::string log() const { return dir.file("log.swf"); }
  std::string out() const { return dir.file("train.dat"); }
  test_support::ProgramRun tallis(const std::string& arguments) {
    return runProgram(std::string(TALLIS_PATH) + " " + arguments);
  }
  ScratchFolder dir;
};

TEST_F(TallisProgram, RunsEndToEndPrintingEveryStep) {
  auto result = tallis("-iuID,lsu,ea -os -r60:20:20 -p0 " + log() + " " + out());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            "atrib[0]=uID\n"
            "atrib[1]=lsu\n"
            "atrib[2]=ea\n"
            "atrib[0]=s\n"
            "num jobs =10\n"
            "num jobs =8\n"
            "now = 7  final =7\n"
            "Negatives removed = 0\n"
            "LUT size=2\n"
            "input size=4    output size=1\n"
            "Writing file...\n"
            "positives = 3\tnegatives= 5\n"
            "File written\n"
            "and... done.\n");
  // After the filter: users 7, 3, 7, -1, 3, 7, 3, -1 (12 only had partial jobs), applications
  // 0, 1, 0, 0, 1, 0, 0, 1, submitted at 0, 100, 200, 400, 500, 600, 800, 900.
  EXPECT_EQ(readFile(out()),
            "5 2 1\n"
            "4 1\n"
            "-0.125 1.125\n-0.125 1.125\n-0.125 1.125\n"
            "-3.94178e+06 3.5478e+07\n-0.125 1.125\n"
            "1\t0\t0\t3.1536e+07\t0\t\n"
            "0\t1\t0\t3.1536e+07\t1\t\n"
            "1\t0\t0\t200\t0\t\n"
            "0\t0\t0\t3.1536e+07\t1\t\n"
            "0\t1\t1\t400\t0\t\n"
            "1\t0\t0\t400\t0\t\n"
            "0\t1\t0\t3.1536e+07\t1\t\n"
            "0\t0\t1\t3.1536e+07\t0\t\n");
}

TEST_F(TallisProgram, PositivesRatioErasesNegativesAndKeepsTheTestPart) {
  auto result = tallis("-iuID,lsu -os -r60:20:20 -p0.5 " + log() + " " + out());
  EXPECT_EQ(result.status, 0) << result.err;
  // 7 leading jobs with 3 failures: target 6, 1 erased; re-split 5:1, test keeps 1.
  EXPECT_NE(result.out.find("now = 7  final =6\nNegatives removed = 1\nLUT size=2\n"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(readFile(out()).substr(0, 10), "5 1 1\n3 1\n");
}

TEST_F(TallisProgram, SeedFixesTheErasedJobsAndTimeSeedingStaysWithoutIt) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += jobLine(i + 1, 60 * i, i % 7 == 0 ? 0 : 1, i % 5, i % 3);
  writeFile(log(), text);
  const std::string keys = "-ifua,logrT,lsua -os -r60:20:20 -p0.5 ";
  auto first = tallis(keys + "-s7 " + log() + " " + out());
  ASSERT_EQ(first.status, 0) << first.err;
  const std::string seven = readFile(out());
  auto again = tallis(keys + "-s 7 " + log() + " " + dir.file("again.dat"));
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(readFile(dir.file("again.dat")), seven);
  EXPECT_EQ(again.out, first.out);
  auto other = tallis(keys + "-s8 " + log() + " " + dir.file("other.dat"));
  ASSERT_EQ(other.status, 0) << other.err;
  EXPECT_NE(readFile(dir.file("other.dat")), seven);  // 189 of 197 completed jobs could go
  const std::string card = readFile(out() + ".columns");
  EXPECT_EQ(card.substr(card.find("\ninput fua")),
            "\ninput fua\ninput logrT\ninput lsua\noutput s\n");

  for (const char* bad : {"-s-1", "-s1.5", "-sx", "-s4294967296", "-s"}) {
    SCOPED_TRACE(bad);
    auto refused = tallis(keys + bad + " " + log() + " " + dir.file("bad.dat"));
    EXPECT_EQ(refused.status, 1);
    if (std::string(bad) != "-s") {
      EXPECT_EQ(refused.err,
                "Seed must be a whole number from 0 to 4294967295: " + std::string(bad) + "\n");
    }
    EXPECT_FALSE(tallis_test::haveFile(dir.file("bad.dat")));
  }
}

// A usage error is not a success: tallis ... && ombra ... must not go on with an old file.
TEST_F(TallisProgram, UsageAndMissingOptionsEndWithStatusTwo) {
  const std::string usageLine =
      "Usage: ./tallis -i<input_features> -o<ouput_features> -r<training:validation:test> "
      "-pr<positives_ratio> input_file output_file\n";
  auto usage = tallis("-iuID -os -r1:1:1 " + log() + " " + out());
  EXPECT_EQ(usage.status, 2);
  EXPECT_EQ(usage.out, usageLine);
  EXPECT_EQ(usage.err,
            "Too few arguments: 5 given, at least 6 needed: -i, -o, -r and -p with their values, "
            "the log and the training data file (tallis --help lists every option and key)\n");
  auto missing = tallis("-i uID,lsu -os -r1:1:1 " + log() + " " + out());
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err,
            "Error parsing options: missing -p (each option and its value as one argument, -p0.5, "
            "or as two, -p 0.5; tallis --help lists them)\n");
  EXPECT_EQ(tallis("-r1:1:1 -s1 -t log " + log() + " " + out())
                .err.rfind("Error parsing options: missing -i, -o, -p (", 0),
            0u);
  auto version = tallis("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("tallis ") + PROJECT_VERSION + "\n");
  EXPECT_FALSE(tallis_test::haveFile(out()));
}

// The help starts with the usage line and gives every key of the table a line of its own.
TEST_F(TallisProgram, HelpListsEveryOptionAndEveryKey) {
  for (const char* option : {"--help", "-h"}) {
    auto help = tallis(option);
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: ./tallis -i<input_features>", 0), 0u);
    for (const char* entry : {"\n  -i KEYS ", "\n  -o KEYS ", "\n  -r T:V:S ", "\n  -p RATIO ",
                              "\n  -s SEED ", "\n  -t, --as-of T ", "\n  --list-keys ",
                              "\nDirect (", "\nLook-back (", "\nHistory (", "\nEncodings "}) {
      EXPECT_NE(help.out.find(entry), std::string::npos) << entry;
    }
    for (const AttributeRow& row : attributeTable()) {
      std::string line = std::string("  ") + row.key;  // the key in a column of 9
      line.resize(std::max<size_t>(line.size() + 1, 11), ' ');
      const std::string meaning = row.meaning != nullptr ? row.meaning : "(no meaning)";
      EXPECT_NE(help.out.find("\n" + line + meaning + "\n"), std::string::npos) << row.key;
    }
  }
}

TEST_F(TallisProgram, UnknownAttributeKeyEndsWithStatusOne) {
  std::string keys;
  for (const AttributeRow& row : attributeTable()) keys += std::string(" ") + row.key;
  const std::string known = "; the keys:" + keys + " (tallis --help says what each one is)\n";
  auto result = tallis("-isT,,wT -os -r1:1:1 -p0.5 " + log() + " " + out());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "atrib[0]=sT\natrib[1]=\natrib[2]=wT\n");
  EXPECT_EQ(
      result.err,
      "Wrong attribute function: an empty key (two commas in a row, or one at an end)" + known);
  auto output = tallis("-isT -oS -r1:1:1 -p0.5 " + log() + " " + out());
  EXPECT_EQ(output.status, 1);
  EXPECT_EQ(output.out, "atrib[0]=sT\natrib[0]=S\n");
  EXPECT_EQ(output.err, "Wrong attribute function: 'S' is not a key (did you mean s?)" + known);
  auto misspelt = tallis("-ilogwt -os -r1:1:1 -p0 " + log() + " " + out());
  EXPECT_EQ(misspelt.err,
            "Wrong attribute function: 'logwt' is not a key (did you mean logwT?)" + known);
  auto unknown = tallis("-ilogxyz -os -r1:1:1 -p0 " + log() + " " + out());
  EXPECT_EQ(unknown.err, "Wrong attribute function: 'logxyz' is not a key" + known);
}

TEST_F(TallisProgram, RejectsRatiosThatCannotGiveASplit) {
  struct Case {
    const char* options;
    const char* message;
  };
  const Case cases[] = {
      {"-r60:20 -p0.5",
       "Data set ratios need three values: -r<training:validation:test> (-r60:20)\n"},
      {"-r60:-20:20 -p0.5", "Data set ratios must be non-negative numbers (-r60:-20:20)\n"},
      {"-r0:0:1 -p0.5", "Training and validation ratios must not both be 0 (-r0:0:1)\n"},
      {"-r1:1:1 -p1.5", "Positives ratio must be between 0 and 1 (-p1.5)\n"},
      {"-r1:1:1 -p-0.1", "Positives ratio must be between 0 and 1 (-p-0.1)\n"},
  };
  for (const Case& c : cases) {
    auto result = tallis(std::string("-is -os ") + c.options + " " + log() + " " + out());
    EXPECT_EQ(result.status, 1) << c.options;
    EXPECT_EQ(result.err, c.message) << c.options;
    EXPECT_FALSE(tallis_test::haveFile(out()));
  }
}

TEST_F(TallisProgram, AsOfSeesOnlyWhatIsKnownAndRefusesWhatIsNot) {
  // One user: 1 fails after 1000 s; 2, submitted at 10, fails and ends at 20 (wait 5, run 5)
  // when 3 is submitted.
  writeFile(log(),
            jobLine(1, 0, 0, 1, 1, 1000) + jobLine(2, 10, 0, 1, 1, 5) + jobLine(3, 20, 1, 1, 1, 5));
  const std::string expected = "1 1 1\n1 1\n-0.125 1.125\n-0.125 1.125\n";
  auto atSubmit = tallis("-ilsu -os -r1:1:1 -p0 -t submit " + log() + " " + out());
  ASSERT_EQ(atSubmit.status, 0) << atSubmit.err;
  EXPECT_EQ(readFile(out()), expected + "0\t1\t\n0\t1\t\n1\t0\t\n");
  // Log order, with or without saying so: every earlier job counts, ended or not.
  for (const char* setting : {"", "--as-of log "}) {
    auto logOrder = tallis(std::string("-ilsu -os -r1:1:1 -p0 ") + setting + log() + " " + out());
    ASSERT_EQ(logOrder.status, 0) << logOrder.err;
    EXPECT_EQ(logOrder.out, atSubmit.out);
    EXPECT_EQ(readFile(out()), expected + "0\t1\t\n1\t1\t\n1\t0\t\n");
  }
  EXPECT_EQ(tallis("-iwT,lsu -os -r1:1:1 -p0 --as-of=start " + log() + " " + out()).status, 0);

  struct Case {
    const char* options;
    const char* message;
  };
  const Case refused[] = {
      {"-iwT,lsu -os -tsubmit",
       "\"wT\" cannot be an input at --as-of submit: a job's wait is "
       "known only once it starts (--as-of start allows it)"},
      {"-ilogwT -os --as-of submit",
       "\"logwT\" cannot be an input at --as-of submit: a job's "
       "wait is known only once it starts (--as-of start allows it)"},
      {"-ilsu,s -os -tstart",
       "\"s\" cannot be an input at --as-of start: a job's status is known only once it has "
       "ended"},
      {"-ilsu -os -tnow", "The decision time (-t, --as-of) must be submit, start or log: now"},
  };
  for (const Case& c : refused) {
    std::remove(out().c_str());
    auto result = tallis(std::string(c.options) + " -r1:1:1 -p0 " + log() + " " + out());
    EXPECT_EQ(result.status, 1) << c.options;
    EXPECT_EQ(result.err, std::string(c.message) + "\n") << c.options;
    EXPECT_FALSE(tallis_test::haveFile(out())) << c.options;
  }
}

TEST_F(TallisProgram, ParserErrorsAndMissingFilesEndWithAMessage) {
  auto wrongValue = tallis("-is -os -r1:1:1 -pr0.5 " + log() + " " + out());
  EXPECT_EQ(wrongValue.status, 2);
  const std::string hint =
      " (the positives ratio is -p0.5 or -p 0.5: the usage line's -pr<positives_ratio> means "
      "-p)\n";
  EXPECT_NE(wrongValue.err.find("r0.5"), std::string::npos) << wrongValue.err;
  EXPECT_EQ(wrongValue.err.substr(wrongValue.err.size() - hint.size()), hint);
  auto unknown = tallis("-is -os -r1:1:1 -p0.5 -x3 " + log() + " " + out());
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err, "unrecognised option '-x3' (tallis --help lists the options)\n");
  // An argument that holds the parser's own placeholders is quoted as given, not expanded.
  auto placeholder = tallis("-is -os -r1:1:1 -p%value% --%option% " + log() + " " + out());
  EXPECT_EQ(placeholder.status, 2);
  EXPECT_EQ(placeholder.err,
            "unrecognised option '--%option%' (tallis --help lists the options)\n");
  auto noLog = tallis("-is -os -r1:1:1 -p0.5 " + dir.file("none.swf") + " " + out());
  EXPECT_EQ(noLog.status, 1);
  EXPECT_EQ(noLog.err,
            "Error opening file: " + dir.file("none.swf") + ": no such file or directory\n");
  auto noDirectory = tallis("-is -os -r1:1:1 -p0.5 " + log() + " " + dir.file("no/t.dat"));
  EXPECT_EQ(noDirectory.status, 1);
  EXPECT_EQ(noDirectory.err,
            "Error opening file: " + dir.file("no/t.dat") + ": no such file or directory\n");
  auto full = tallis("-is -os -r1:1:1 -p0.5 " + log() + " /dev/full");
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "Error writing file: /dev/full: no space left on device\n");
}

TEST_F(TallisProgram, RejectsLogsThatGiveNoSamples) {
  writeFile(dir.file("partial.swf"), jobLine(1, 0, 2, 1, 1) + jobLine(2, 5, -1, 1, 1));
  auto partial = tallis("-is -os -r1:1:1 -p0.5 " + dir.file("partial.swf") + " " + out());
  EXPECT_EQ(partial.status, 1);
  EXPECT_EQ(partial.err, "No finished jobs in the log: " + dir.file("partial.swf") +
                             " holds 2 job lines, none with status 1 (completed), 0 (failed) or 5 "
                             "(cancelled)\n");
  EXPECT_NE(partial.out.find("num jobs =2\nnum jobs =0\n"), std::string::npos);
  // Read as text, a log compressed in another form has no job line: it is named instead.
  const std::pair<const char*, std::string> compressed[] = {
      {"bzip2-compressed data; tallis reads plain or gzip-compressed logs (bunzip2 -k it first)",
       "BZh91AY&SY"},
      {"xz-compressed data; tallis reads plain or gzip-compressed logs (unxz -k it first)",
       std::string("\xfd"
                   "7zXZ\0\0",
                   7)},
      {"zstd-compressed data; tallis reads plain or gzip-compressed logs (unzstd it first)",
       "\x28\xb5\x2f\xfd\x24"},
      {"a zip archive; tallis reads plain or gzip-compressed logs (unzip it first)",
       "PK\x03\x04\x14"}};
  for (const auto& [what, bytes] : compressed) {
    writeFile(dir.file("packed.swf"), bytes + "\n" + readFile(log()));
    auto packed = tallis("-is -os -r1:1:1 -p0 " + dir.file("packed.swf") + " " + out());
    EXPECT_EQ(packed.status, 1);
    EXPECT_EQ(packed.err, "Error reading file: " + dir.file("packed.swf") + ": " + what + "\n");
  }

  writeFile(dir.file("three.swf"),
            jobLine(1, 0, 1, 1, 1) + jobLine(2, 5, 0, 1, 1) + jobLine(3, 9, 1, 1, 1));
  auto tooFew = tallis("-is -os -r1:1:0 -p0.5 " + dir.file("three.swf") + " " + out());
  EXPECT_EQ(tooFew.status, 1);
  EXPECT_EQ(tooFew.err,
            "Data set ratios give more training and validation samples than jobs: 2 and 2 of 3 "
            "finished jobs\n");

  writeFile(dir.file("completed.swf"), jobLine(1, 0, 1, 1, 1) + jobLine(2, 5, 1, 1, 1));
  auto allErased = tallis("-is -os -r1:0:0 -p0.5 " + dir.file("completed.swf") + " " + out());
  EXPECT_EQ(allErased.status, 1);
  EXPECT_EQ(allErased.err,
            "No jobs left after the positives ratio step: none of the 2 training and validation "
            "jobs failed or was cancelled, and the test part is empty\n");
  // With every job kept, the file is written, with a word that no training job failed.
  auto noFailure = tallis("-is -os -r1:0:0 -p0 " + dir.file("completed.swf") + " " + out());
  EXPECT_EQ(noFailure.status, 0);
  EXPECT_EQ(noFailure.err,
            "Warning: no job of the 2 training samples failed or was cancelled: a network trained "
            "on this file cannot learn to find them\n");
  std::remove(out().c_str());
  EXPECT_FALSE(tallis_test::haveFile(out()));
}

TEST_F(TallisProgram, AFailedRunLeavesTheExistingFileAlone) {
  writeFile(out(), "an earlier training file\n");
  auto result = tallis("-is -os -r1:1:1 -p0.5 " + dir.file("none.swf") + " " + out());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(readFile(out()), "an earlier training file\n");
}

TEST_F(TallisProgram, GzipLogGivesTheSameFileAsThePlainLog) {
  std::string text = readFile(log());
  gzFile gz = gzopen(dir.file("log.swf.gz").c_str(), "wb");
  gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
  gzclose(gz);
  std::string keys = "-isT,wT,rCPU,rT,rM,uID,lsu,lsa,lsua,lc,lrt,lCPUt,ea,ec -os -r60:20:20 -p0 ";
  auto plain = tallis(keys + log() + " " + out());
  ASSERT_EQ(plain.status, 0) << plain.err;
  std::string plainFile = readFile(out());
  auto compressed = tallis(keys + dir.file("log.swf.gz") + " " + dir.file("gz.dat"));
  ASSERT_EQ(compressed.status, 0) << compressed.err;
  EXPECT_EQ(compressed.out, plain.out);
  EXPECT_EQ(readFile(dir.file("gz.dat")), plainFile);
  EXPECT_GT(plainFile.size(), 100u);
  // A log from a pipe is read once, from its first byte; - names standard input.
  for (const char* input : {"/dev/stdin ", "- "}) {
    auto piped = runProgram("cat " + log() + " | " + TALLIS_PATH + " " + keys + input +
                            dir.file("pipe.dat"));
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(readFile(dir.file("pipe.dat")), plainFile);
  }
  // - names standard output: the file goes there, the progress lines to standard error, and no
  // column names are written beside a stream.
  auto toPipe = runProgram("cd '" + dir.path() + "' && " + TALLIS_PATH + " " + keys + log() +
                           " - | cat > " + dir.file("piped.dat"));
  ASSERT_EQ(toPipe.status, 0) << toPipe.err;
  EXPECT_EQ(readFile(dir.file("piped.dat")), plainFile);
  EXPECT_EQ(toPipe.err, plain.out);
  EXPECT_FALSE(tallis_test::haveFile(dir.file("-")));
  EXPECT_FALSE(tallis_test::haveFile(dir.file("piped.dat.columns")));
}

}  // namespace
