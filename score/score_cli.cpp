#include "score/score_cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <boost/program_options.hpp>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "common/command_line.h"
#include "files/file_kinds.h"
#include "sample_builder/exception.h"
#include "score/batch_scores.h"
#include "score/job_lines.h"
#include "score/network_card.h"
#include "score/score_table.h"
#include "score/stream_scores.h"
#include "version.h"

namespace po = boost::program_options;

namespace {

struct Described {
  po::options_description visible{"Options"};
  po::options_description all;
};

void describe(Described& d, ScoreOptions& o, bool& noHeader) {
  // clang-format off
  d.visible.add_options()
      ("card", po::value<std::string>(&o.cardFile)->value_name("FILE"),
       "the network's input card (default: NETWORK.card, written by scripts/train-recipe.sh)")
      ("history", po::value<std::string>(&o.historyFile)->value_name("LOG"),
       "a finished log of the same cluster replayed first: the jobs before LOG, history only, "
       "no rows")
      ("stream", po::bool_switch(&o.stream),
       "take LOG line by line as it comes even when it is a regular file (\"-\" and a FIFO "
       "always are)")
      ("open", po::bool_switch(&o.openOnly),
       "print only the jobs without an outcome yet (the queue)")
      ("no-header", po::bool_switch(&noHeader), "leave out the CSV header line")
      ("help,h", "print this help")
      ("version", "print the version");
  // clang-format on
  d.all.add(d.visible);
  d.all.add_options()("files", po::value<std::vector<std::string>>(), "");
}

bool isRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A network file and a log given the other way round would read as a damaged network.
void refuseSwappedFiles(const ScoreOptions& o) {
  const FileKind network = sniffFileKind(o.networkFile);
  if ((network == FileKind::workloadLog || network == FileKind::gzipData) &&
      sniffFileKind(o.logFile) == FileKind::network) {
    throw std::runtime_error("'" + o.networkFile + "' is " + describeKind(network) + " and '" +
                             o.logFile + "' a network file: NETWORK comes first");
  }
}

}  // namespace

std::string scoreHelp() {
  ScoreOptions options;
  bool noHeader = false;
  Described d;
  describe(d, options, noHeader);
  std::ostringstream text;
  text << "Usage: ombra-score [options] NETWORK LOG\n\n"
          "Scores every job line of a workload log (SWF, plain or gzip; - for standard input)\n"
          "with a network saved by ombra, each job at its decision time from what was known\n"
          "then, the inputs rebuilt as the network's input card says. Prints CSV:\n"
          "job,submit_time,user,application,status,score,output (score: calibrated, output:\n"
          "the network's raw output). A regular file is a finished log, replayed in time\n"
          "order; - or a FIFO is a live stream: every line is scored as it comes and its row\n"
          "written at once, and a later line with the same job number and an outcome is that\n"
          "job's outcome. Options may stand before or after the file names; -- ends them.\n\n"
       << d.visible;
  return text.str();
}

bool parseScoreOptions(int argc, const char* const* argv, ScoreOptions& o) {
  bool noHeader = false;
  Described d;
  describe(d, o, noHeader);
  po::variables_map values;
  if (!readExactOptions(argc, argv, d.all, values)) {
    o.version = values.count("help") == 0;
    return false;
  }
  const std::vector<std::string> files = fileNames(values);
  if (files.size() != 2) {
    throw std::runtime_error("expected NETWORK and LOG, got " + std::to_string(files.size()) +
                             " file name" + (files.size() == 1 ? "" : "s"));
  }
  o.networkFile = files[0];
  o.logFile = files[1];
  o.header = !noHeader;
  if (values.count("card") && o.cardFile.empty()) throw std::runtime_error("--card: needs a name");
  if (values.count("history") && o.historyFile.empty()) {
    throw std::runtime_error("--history: needs a name");
  }
  if (o.historyFile == "-" && o.logFile == "-") {
    throw std::runtime_error("--history and LOG cannot both be standard input");
  }
  refuseSwappedFiles(o);
  return true;
}

namespace {

// What readOptions answers when the options ask for the scores: not an exit status.
constexpr int kOptionsAskForWork = -1;

int readOptions(int argc, const char* const* argv, ScoreOptions& options) {
  try {
    if (parseScoreOptions(argc, argv, options)) return kOptionsAskForWork;
  } catch (const std::runtime_error& error) {
    std::cerr << "ombra-score: " << error.what() << "\nTry 'ombra-score --help'." << std::endl;
    return kScoreUsageStatus;
  }
  if (options.version) {
    std::cout << "ombra-score " << kVersion << std::endl;
  } else {
    std::cout << scoreHelp() << std::flush;
  }
  return std::cout.flush() ? kScoreDoneStatus : kScoreFailureStatus;
}

std::unique_ptr<LogSource> openLog(const std::string& name) {
  if (name == "-") return std::make_unique<LogSource>(dup(STDIN_FILENO));
  return std::make_unique<LogSource>(name);
}

std::string logName(const std::string& name) { return name == "-" ? "standard input" : name; }

// The reader names a log it cannot open, not one whose reading fails: the name is added.
template <class Reading>
void reading(const std::string& name, Reading read) {
  try {
    read();
  } catch (const Exception& error) {
    const std::string message = error.what();
    if (message.find(logName(name)) != std::string::npos) throw;
    throw Exception(message + ": " + logName(name));
  }
}

// Every job line of a finished log, in log order.
void readAllJobs(const std::string& name, std::vector<JobData>& jobs) {
  // A job line of a real log takes 60 to 120 bytes: room for them all at once, not by
  // doubling, for a plain file.
  struct stat info;
  if (name != "-" && stat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
    jobs.reserve(jobs.size() + static_cast<size_t>(info.st_size) / 64);
  }
  std::unique_ptr<LogSource> source = openLog(name);
  JobLineReader lines(*source, logName(name));
  JobData job;
  uint64_t number = 0;
  while (lines.next(job, number)) jobs.push_back(job);
  lines.reportTotal();
}

void scoreFinishedLog(const ScoreOptions& options, const NetworkCard& card,
                      const InputEncoder& encoder, ScoringNetwork& network, ScoreTable& table) {
  std::vector<JobData> jobs;
  if (!options.historyFile.empty()) {
    reading(options.historyFile, [&] { readAllJobs(options.historyFile, jobs); });
  }
  const size_t historyOnly = jobs.size();
  reading(options.logFile, [&] { readAllJobs(options.logFile, jobs); });
  const std::vector<float> outputs = batchOutputs(jobs, historyOnly, card.when, encoder, network);
  for (size_t k = 0; k < outputs.size(); ++k) {
    const JobData& job = jobs[historyOnly + k];
    if (options.openOnly && hasOutcome(job)) continue;
    table.row(job, card.calibration.apply(outputs[k]), outputs[k]);
  }
}

// Lines of one log through the scorer, as they come.
void streamLog(const std::string& name, StreamScorer& scorer, ScoreTable* table, bool openOnly) {
  std::unique_ptr<LogSource> source = openLog(name);
  JobLineReader lines(*source, logName(name));
  JobData job;
  uint64_t number = 0;
  bool lateSaid = false;
  while (lines.next(job, number)) {
    const StreamScore score = scorer.take(job, table == nullptr);
    if (!lateSaid && scorer.lateLines() > 0) {
      lateSaid = true;
      std::cerr << "ombra-score: " << logName(name) << ": line " << number
                << ": its decision time is earlier than that of a line before: lines out of "
                   "time order are scored with the history as it stands"
                << std::endl;
    }
    if (table == nullptr || (openOnly && hasOutcome(job))) continue;
    table->row(job, score.score, score.output);
  }
  lines.reportTotal();
}

void say(const NetworkCard& card) {
  if (card.when == DecisionTime::log) {
    std::cerr << "ombra-score: warning: the card " << card.path
              << " says 'as-of log': the network was trained on attributes that read the "
                 "outcomes of jobs not ended at the decision time; these scores follow its "
                 "training rows, which no one can have when deciding (tallis --as-of submit "
                 "makes a network for this)"
              << std::endl;
  }
  if (!card.calibration.exists()) {
    std::cerr << "ombra-score: the card " << card.path
              << " holds no calibration: the score is the raw output clipped to [0, 1]"
              << std::endl;
  }
}

}  // namespace

int runScore(int argc, const char* const* argv) {
  ScoreOptions options;
  const int optionsStatus = readOptions(argc, argv, options);
  if (optionsStatus != kOptionsAskForWork) return optionsStatus;

  ScoringNetwork network(options.networkFile);
  NetworkCard card;
  try {
    const std::string cardFile =
        options.cardFile.empty() ? networkCardFileOf(options.networkFile) : options.cardFile;
    card =
        readNetworkCard(cardFile, options.networkFile, network.inputSize(), network.outputSize());
  } catch (const CardError& error) {
    std::cerr << "ombra-score: " << error.what() << std::endl;
    return kScoreCardStatus;
  }
  say(card);
  const InputEncoder encoder(card.inputs, network.inputRangeList());
  const bool stream = options.stream || !isRegularFile(options.logFile);
  try {
    ScoreTable table(STDOUT_FILENO, stream);
    if (options.header) table.header();
    if (stream) {
      StreamScorer scorer(network, encoder, card.calibration, card.when);
      if (!options.historyFile.empty()) {
        reading(options.historyFile,
                [&] { streamLog(options.historyFile, scorer, nullptr, false); });
      }
      reading(options.logFile,
              [&] { streamLog(options.logFile, scorer, &table, options.openOnly); });
    } else {
      scoreFinishedLog(options, card, encoder, network, table);
    }
    table.flush();
  } catch (const Exception& error) {
    std::cerr << "ombra-score: " << error.what() << std::endl;
    return kScoreFailureStatus;
  } catch (const std::runtime_error& error) {
    std::cerr << "ombra-score: " << error.what() << std::endl;
    return kScoreFailureStatus;
  }
  return kScoreDoneStatus;
}
