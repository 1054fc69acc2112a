// ombra-score as an operator runs it: a network made by tallis --as-of and ombra, its card
// beside it, a finished log and a stream fed through a pipe line by line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/score/piped_program.h"
#include "tests/support/test_support.h"

namespace {

using test_support::lines;
using test_support::ProgramRun;
using test_support::readFile;
using test_support::runProgram;
using test_support::ScratchFolder;
using test_support::shellQuoted;
using test_support::writeFile;

const char kHeader[] = "job,submit_time,user,application,status,score,output";

std::string program(const char* path) { return shellQuoted(path); }

// One SWF job line: 4 processors requested for an hour, group = user, queue 1.
std::string jobLine(int job, double submit, double wait, double run, int status, int user,
                    int application) {
  char line[200];
  std::snprintf(line, sizeof line, "%d %.0f %.0f %.0f 4 -1 -1 4 3600 -1 %d %d %d %d 1 1 -1 -1", job,
                submit, wait, run, status, user, user, application);
  return line;
}

struct Row {
  std::string job, status, score, output;
};

Row rowOf(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream text(line);
  for (std::string field; std::getline(text, field, ',');) fields.push_back(field);
  if (fields.size() != 7) return {"<" + line + ">", "", "", ""};
  return {fields[0], fields[4], fields[5], fields[6]};
}

// The outputs of a run, in row order (the header left out).
std::vector<std::string> outputsOf(const std::string& csv) {
  std::vector<std::string> outputs;
  const std::vector<std::string> rows = lines(csv);
  for (size_t k = 1; k < rows.size(); ++k) outputs.push_back(rowOf(rows[k]).output);
  return outputs;
}

// tallis --as-of KEYS on the log, then a network trained for one epoch (its weights are
// random but fixed by the seed: equality tests need any network, not a good one), its card
// the training data file's.
void trainNetwork(const ScratchFolder& folder, const std::string& log, const std::string& keys,
                  const std::string& asOf) {
  const ProgramRun tallis =
      runProgram(program(TALLIS_PATH) + " -i" + keys + " -os -r60:20:20 -p0 -s1 " + asOf + " " +
                 shellQuoted(log) + " " + shellQuoted(folder.file("train.dat")));
  ASSERT_EQ(tallis.status, 0) << tallis.err;
  std::istringstream sizes(lines(readFile(folder.file("train.dat")))[1]);
  int inputs = 0;
  sizes >> inputs;
  folder.write("net.cfg", std::to_string(inputs) + " 8 1\n");
  folder.write("bp.txt", "Learning rate: 0.03\nIterations: 1\nShuffle: 1\nSeed: 1\n");
  const ProgramRun ombra =
      runProgram(program(OMBRA_PATH) + " BP net.cfg train.dat bp.txt net.bin", "", folder.path());
  ASSERT_EQ(ombra.status, 0) << ombra.err;
  writeFile(folder.file("net.bin.card"), readFile(folder.file("train.dat.columns")));
}

// The outputs ombra-evaluate gives the validation and the test samples (its --predictions),
// read from the training data file as ombra reads it.
std::vector<std::string> evaluatedOutputs(const ScratchFolder& folder) {
  std::vector<std::string> outputs;
  for (const char* set : {"validation", "test"}) {
    const ProgramRun run =
        runProgram(program(OMBRA_EVALUATE_PATH) + " --no-baselines " + "--no-importance --set " +
                       set + " --predictions predictions.csv net.bin train.dat",
                   "", folder.path());
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> rows = lines(readFile(folder.file("predictions.csv")));
    for (size_t k = 1; k < rows.size(); ++k) {
      outputs.push_back(rows[k].substr(rows[k].rfind(',') + 1));
    }
  }
  return outputs;
}

// The last rows of the score table, as many as there are validation and test samples.
std::vector<std::string> lastOutputs(const std::string& csv, size_t count) {
  const std::vector<std::string> all = outputsOf(csv);
  return std::vector<std::string>(all.end() - static_cast<long>(std::min(count, all.size())),
                                  all.end());
}

// A small synthetic log and a network at the submit time with a one-hot user table.
class ScoreProgram : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new ScratchFolder("ombra_score");
    log_ = folder_->file("cluster.swf");
    ASSERT_EQ(
        runProgram(program(SWFGEN_PATH) + " --jobs 400 --users 4 --seed 5 " + shellQuoted(log_))
            .status,
        0);
    trainNetwork(*folder_, log_, "logrCPU,logrT,lsu,lsua,fu,ru,logec,uID", "--as-of submit");
  }
  static void TearDownTestSuite() { delete folder_; }

  static std::string score(const std::string& arguments) {
    return program(OMBRA_SCORE_PATH) + " " + arguments + " " +
           shellQuoted(folder_->file("net.bin")) + " ";
  }

  static ScratchFolder* folder_;
  static std::string log_;
};
ScratchFolder* ScoreProgram::folder_ = nullptr;
std::string ScoreProgram::log_;

TEST_F(ScoreProgram, FinishedLogGivesTheNetworksAnswersOnTheTrainingRowsAndTheStreamAgrees) {
  const ProgramRun batch = runProgram(score("") + shellQuoted(log_));
  ASSERT_EQ(batch.status, 0) << batch.err;
  const std::vector<std::string> rows = lines(batch.out);
  ASSERT_EQ(rows.size(), 401u);
  EXPECT_EQ(rows[0], kHeader);
  // No calibration in this card: said once, and the score is the output clipped to [0, 1].
  EXPECT_NE(batch.err.find("holds no calibration"), std::string::npos);
  const std::vector<std::string> evaluated = evaluatedOutputs(*folder_);
  ASSERT_EQ(evaluated.size(), 160u);
  EXPECT_EQ(lastOutputs(batch.out, evaluated.size()), evaluated);
  // The same log through a pipe, as a stream: every row the same.
  const ProgramRun stream = runProgram("cat " + shellQuoted(log_) + " | " + score("") + "-");
  EXPECT_EQ(stream.out, batch.out);
  EXPECT_EQ(runProgram(score("--stream") + shellQuoted(log_)).out, batch.out);
  // --no-header drops the header line alone.
  const ProgramRun bare = runProgram(score("--no-header") + shellQuoted(log_));
  EXPECT_EQ(kHeader + ("\n" + bare.out), batch.out);
}

TEST_F(ScoreProgram, StreamPrintsEachScoreBeforeTheNextLineIsWritten) {
  PipedProgram stream(score("") + "-", folder_->file("stream.err"));
  ASSERT_TRUE(stream.started());
  ASSERT_EQ(stream.readLine(), kHeader);
  // Job 1000 of user 1 comes queued (status -1), is scored, and later ends failed.
  const double start = 20000;
  ASSERT_TRUE(stream.send(jobLine(1000, start, -1, -1, -1, 1, 4)));
  const Row queued = rowOf(stream.readLine());
  EXPECT_EQ(queued.job, "1000");
  EXPECT_EQ(queued.status, "-1");
  // A line that is not a job line is reported and skipped; the stream goes on.
  ASSERT_TRUE(stream.send("not a job line"));
  ASSERT_TRUE(stream.send(jobLine(1001, start + 10, 5, 60, 1, 2, 3)));
  EXPECT_EQ(rowOf(stream.readLine()).job, "1001");
  // The outcome: the row repeats the job's score, with its status.
  ASSERT_TRUE(stream.send(jobLine(1000, start, 20, 100, 0, 1, 4)));
  const Row ended = rowOf(stream.readLine());
  EXPECT_EQ(ended.job, "1000");
  EXPECT_EQ(ended.status, "0");
  EXPECT_EQ(ended.score, queued.score);
  EXPECT_EQ(ended.output, queued.output);
  // A job of the same user after that end sees the failure.
  ASSERT_TRUE(stream.send(jobLine(1002, start + 500, 0, 30, 1, 1, 4)));
  const Row after = rowOf(stream.readLine());
  EXPECT_EQ(after.job, "1002");
  EXPECT_EQ(stream.finish(), 0);
  const std::string errors = readFile(folder_->file("stream.err"));
  EXPECT_NE(errors.find("standard input: line 2 is not a job line (18 numbers), skipped: not a "
                        "job line"),
            std::string::npos)
      << errors;

  // Without the outcome, job 1002 knows nothing of it: its inputs, and so its output, differ.
  const std::string withoutOutcome = jobLine(1000, start, -1, -1, -1, 1, 4) + "\n" +
                                     jobLine(1001, start + 10, 5, 60, 1, 2, 3) + "\n" +
                                     jobLine(1002, start + 500, 0, 30, 1, 1, 4) + "\n";
  const std::vector<std::string> unknown =
      lines(runProgram(score("--no-header") + "-", withoutOutcome).out);
  ASSERT_EQ(unknown.size(), 3u);
  EXPECT_NE(rowOf(unknown[2]).output, after.output);
}

TEST_F(ScoreProgram, JobNumbersThatComeAgain) {
  // 7 ends, then comes again finished: a new job (ended jobs are not remembered), scored as
  // the same line under another number is. 9 comes queued, then running: scored twice.
  const std::string first = jobLine(7, 30000, 0, 50, 0, 2, 3) + "\n";
  const std::string again = jobLine(7, 30100, 0, 50, 1, 2, 3) + "\n";
  const std::string renamed = jobLine(8, 30100, 0, 50, 1, 2, 3) + "\n";
  const std::string queued = jobLine(9, 30200, -1, -1, -1, 3, 1) + "\n";
  const std::string running = jobLine(9, 30200, 40, -1, -1, 3, 1) + "\n";
  const std::vector<std::string> twice =
      outputsOf(runProgram(score("") + "-", first + again + queued + running).out);
  const std::vector<std::string> distinct =
      outputsOf(runProgram(score("") + "-", first + renamed + queued + running).out);
  ASSERT_EQ(twice.size(), 4u);
  EXPECT_EQ(twice, distinct);
  // --open: the queue alone.
  const std::vector<std::string> open =
      lines(runProgram(score("--open --no-header") + "-", first + again + queued + running).out);
  ASSERT_EQ(open.size(), 2u);
  EXPECT_EQ(rowOf(open[0]).job, "9");
  EXPECT_EQ(rowOf(open[1]).status, "-1");
}

TEST_F(ScoreProgram, RefusesACardThatDoesNotServeTheNetwork) {
  const std::string card = readFile(folder_->file("net.bin.card"));
  const std::string other = folder_->file("other.card");
  const auto refusal = [&](const std::string& text) {
    writeFile(other, text);
    const ProgramRun run = runProgram(score("--card " + shellQuoted(other)) + shellQuoted(log_));
    EXPECT_EQ(run.status, 107) << text;
    EXPECT_EQ(run.out, "");
    return run.err;
  };
  // One input column less: the card of another network.
  size_t inputs = 0;
  for (const std::string& line : lines(card)) inputs += line.rfind("input ", 0) == 0;
  --inputs;  // the first line, "input card 1"
  std::string shorter = card;
  shorter.erase(shorter.find("input lsu\n"), 10);
  EXPECT_NE(refusal(shorter).find("has " + std::to_string(inputs - 1) +
                                  " inputs and 1 output, the network " + folder_->file("net.bin") +
                                  " " + std::to_string(inputs) +
                                  " inputs and 1 output: it belongs to another network"),
            std::string::npos);
  std::string unknownKey = card;
  unknownKey.replace(unknownKey.find("input lsu\n"), 9, "input lsx");
  EXPECT_NE(refusal(unknownKey).find("unknown attribute 'lsx'"), std::string::npos);
  EXPECT_NE(refusal(card.substr(card.find("\ninput ") + 1)).find("an older column names file"),
            std::string::npos);
  std::string wrongCalibration = card + "calibration 1 platt 1 0 2 1\n";
  EXPECT_NE(refusal(wrongCalibration).find("LO < HI"), std::string::npos);
  // No card at all.
  const ProgramRun none =
      runProgram(score("--card " + shellQuoted(folder_->file("none.card"))) + shellQuoted(log_));
  EXPECT_EQ(none.status, 107);
  EXPECT_NE(none.err.find("No input card for the network"), std::string::npos);
  // The network and the log the other way round.
  const ProgramRun swapped = runProgram(program(OMBRA_SCORE_PATH) + " " + shellQuoted(log_) + " " +
                                        shellQuoted(folder_->file("net.bin")));
  EXPECT_EQ(swapped.status, 2);
  EXPECT_NE(swapped.err.find("NETWORK comes first"), std::string::npos);
}

TEST_F(ScoreProgram, CalibratedScoresFromTheCardTheRecipeWrites) {
  const ProgramRun fit = runProgram(
      program(OMBRA_EVALUATE_PATH) + " --no-baselines --no-importance --write-card fitted.card " +
          "--predictions test.csv net.bin train.dat",
      "", folder_->path());
  ASSERT_EQ(fit.status, 0) << fit.err;
  EXPECT_NE(fit.out.find("\nnetwork, calibrated "), std::string::npos);
  const std::string card = readFile(folder_->file("fitted.card"));
  // The method of the lower cross-fitted validation log loss, said in the report.
  const size_t line = card.find("\ncalibration 1 ");
  ASSERT_NE(line, std::string::npos) << card;
  const std::string method = card.substr(line + 15, card.find(' ', line + 15) - line - 15);
  EXPECT_NE(fit.out.find("calibration " + method + " (the lower cross-fitted validation log loss"),
            std::string::npos)
      << fit.out;
  const std::vector<std::string> test = lines(readFile(folder_->file("test.csv")));
  ASSERT_EQ(test.size(), 81u);
  EXPECT_EQ(test[0], "row,set,target,output,score");
  EXPECT_EQ(test[1].substr(0, 9), "321,test,");
  const ProgramRun scored =
      runProgram(score("--card " + shellQuoted(folder_->file("fitted.card"))) + shellQuoted(log_));
  ASSERT_EQ(scored.status, 0) << scored.err;
  EXPECT_EQ(scored.err, "");
  // The last 80 rows are the test samples: the same output and calibrated score.
  const std::vector<std::string> rows = lines(scored.out);
  for (size_t k = 1; k < test.size(); ++k) {
    const Row row = rowOf(rows[rows.size() - test.size() + k]);
    EXPECT_EQ(test[k].substr(test[k].find(',', test[k].find(",test,") + 6) + 1),
              row.output + "," + row.score)
        << k;
  }
}

// The issue's own check on a real log: at the submit time with a one-hot user table, and in
// log order (with a warning), every job's raw output equals the network's answer for its row.
TEST(ScoreRealLog, EqualsTheNetworksAnswersOnTallisRows) {
  const std::string log = std::string(SWF_DATA_DIR) + "/KTH-SP2-1996-2.1-cln.swf";
  struct stat info;
  if (stat(log.c_str(), &info) != 0) GTEST_SKIP() << "no " << log;
  const std::string history =
      "lsu,lsa,lsua,lc,loglrt,logea,logec,fu,fa,fua,lognu,logna,lognua,ru,ra,rua,hourSin,"
      "hourCos,runu,runua,lsu2,lsua2";
  for (const char* asOf : {"--as-of submit", ""}) {
    SCOPED_TRACE(asOf);
    const ScratchFolder folder("ombra_score_kth");
    const std::string keys =
        std::string(*asOf ? "logrCPU,logrT,logrM,uID," : "logwT,logrCPU,logrT,") + history;
    trainNetwork(folder, log, keys, asOf);
    const ProgramRun scored =
        runProgram(program(OMBRA_SCORE_PATH) + " " + shellQuoted(folder.file("net.bin")) + " " +
                   shellQuoted(log));
    ASSERT_EQ(scored.status, 0) << scored.err;
    // A log-order card is said once; a card of the submit time not at all.
    const size_t warning = scored.err.find("says 'as-of log'");
    EXPECT_EQ(warning == std::string::npos, *asOf != '\0') << scored.err;
    EXPECT_EQ(warning, scored.err.rfind("says 'as-of log'"));
    // Bit for bit on the validation and test rows...
    const std::vector<std::string> evaluated = evaluatedOutputs(folder);
    ASSERT_GT(evaluated.size(), 10000u);
    EXPECT_EQ(lastOutputs(scored.out, evaluated.size()), evaluated);
    // ...and what ombra's query loop answers for every row (six digits).
    std::string queries;
    const std::vector<std::string> data = lines(readFile(folder.file("train.dat")));
    std::istringstream sizes(data[1]);
    size_t inputs = 0;
    sizes >> inputs;
    for (size_t k = 2 + inputs + 1; k < data.size(); ++k) {
      queries += data[k].substr(0, data[k].rfind('\t', data[k].size() - 2)) + "\n";
    }
    const ProgramRun answered =
        runProgram(program(OMBRA_PATH) + " " + shellQuoted(folder.file("net.bin")), queries);
    std::vector<std::string> answers;
    for (size_t at = answered.out.find("Output: "); at != std::string::npos;
         at = answered.out.find("Output: ", at + 1)) {
      answers.push_back(answered.out.substr(at + 8, answered.out.find(' ', at + 8) - at - 8));
    }
    const std::vector<std::string> outputs = outputsOf(scored.out);
    ASSERT_EQ(answers.size(), outputs.size());
    size_t different = 0;
    for (size_t k = 0; k < outputs.size(); ++k) {
      std::ostringstream shown;
      shown << static_cast<double>(std::stof(outputs[k]));
      different += shown.str() != answers[k];
    }
    EXPECT_EQ(different, 0u);
  }
}

}  // namespace
