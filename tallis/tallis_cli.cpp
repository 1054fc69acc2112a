// Options, key lists and the fixed sequence of steps from workload log to training file.

#include "tallis/tallis_cli.h"

#include <sys/stat.h>

#include <algorithm>
#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/program_options.hpp>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "common/command_line.h"
#include "common/text_lines.h"
#include "files/output_file.h"
#include "files/paths.h"
#include "sample_builder/column_names.h"
#include "sample_builder/exception.h"
#include "sample_builder/input_card_file.h"
#include "sample_builder/log_source.h"
#include "sample_builder/sample_selection.h"
#include "sample_builder/tallis_output.h"
#include "sample_builder/training_file.h"
#include "tallis/exit_status.h"
#include "tallis/tallis_exit.h"
#include "version.h"

namespace po = boost::program_options;

std::string describeUnknownKey(const std::string& key) {
  std::string text = key.empty() ? "an empty key (two commas in a row, or one at an end)"
                                 : "'" + key + "' is not a key";
  // Keys match case-sensitively: logwt for logwT is the likeliest slip.
  for (const AttributeRow& row : attributeTable()) {
    const std::string candidate = row.key;
    if (candidate.size() == key.size() &&
        std::equal(key.begin(), key.end(), candidate.begin(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) ==
                 std::tolower(static_cast<unsigned char>(b));
        })) {
      text += " (did you mean " + candidate + "?)";
    }
  }
  text += "; the keys:";
  for (const AttributeRow& row : attributeTable()) text += std::string(" ") + row.key;
  return text + " (tallis --help says what each one is)";
}

AttributeList createAttributesVector(std::string keys) {
  std::vector<std::string> fields;
  boost::split(fields, keys, boost::is_any_of(","));
  for (size_t i = 0; i < fields.size(); ++i) {
    std::cout << "atrib[" << i << "]=" << fields[i] << std::endl;
  }
  AttributeList rows;
  for (const std::string& field : fields) {
    const AttributeRow* row = findAttribute(field);
    if (row == nullptr) {
      std::cerr << "Wrong attribute function: " << describeUnknownKey(field) << std::endl;
      endTallis(tallis_status::kFailure);
    }
    rows.push_back(row);
  }
  return rows;
}

namespace {

bool isNonNegativeNumber(double value) { return std::isfinite(value) && value >= 0; }

std::string quoted(const std::string& name) { return "'" + name + "'"; }

// The log and the training data file are the last two arguments. The option parser passes any
// other argument that is not an option through as well: a shell glob (a.swf b.swf c.swf) or a
// name among the options would otherwise be ignored while another file is overwritten.
void checkFileArguments(const po::parsed_options& parsed) {
  std::vector<std::string> names;
  for (const po::option& option : parsed.options) {
    if (option.position_key < 0) continue;
    names.insert(names.end(), option.value.begin(), option.value.end());
  }
  if (names.size() > 2) {
    std::string list;
    for (const std::string& name : names) list += " " + quoted(name);
    throw Exception("Too many file names:" + list +
                    " (tallis reads one log and writes one training data file)");
  }
  const size_t count = parsed.options.size();
  if (names.size() < 2 || parsed.options[count - 2].position_key < 0 ||
      parsed.options[count - 1].position_key < 0) {
    throw Exception(
        "The input log and the output file must be the last two arguments (tallis -i... -o... "
        "-r... -p... log.swf train.dat)");
  }
}

// A training data file begins with the three split counts and then the input and output sizes;
// no workload log does. Its sample lines would read as job lines, so swapped file names would
// replace the log with training data.
bool isTrainingDataFile(const std::string& path) {
  // Only a regular file can be looked at twice: a pipe would lose what this reads.
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  std::string head;
  try {
    LogSource source(path);
    char chunk[4096];
    while (head.size() < sizeof chunk && std::count(head.begin(), head.end(), '\n') < 2) {
      const size_t count = source.read(chunk, sizeof chunk);
      if (count == 0) break;
      head.append(chunk, count);
    }
  } catch (const Exception&) {
    return false;  // reading the log reports it
  }
  std::istringstream lines(head);
  std::string first, second;
  return std::getline(lines, first) && std::getline(lines, second) && numbersOnLine(first) == 3 &&
         numbersOnLine(second) == 2;
}

// Values the log does not know change what some attributes mean: said once, on standard error.
void reportUnknownValues(const std::vector<JobData>& jobs) {
  size_t unknownSubmitTimes = 0;
  bool anyApplication = false;
  for (const JobData& job : jobs) {
    if (job.submitTime == kUnknownTime) ++unknownSubmitTimes;
    if (job.applicationNumber != -1) anyApplication = true;
  }
  if (unknownSubmitTimes > 0) {
    std::cerr << "Warning: " << unknownSubmitTimes << " of " << jobs.size()
              << " jobs have an unknown submit time (-1); \"ea\" and \"ec\" give "
              << static_cast<long>(kOneYear) << " wherever one is needed" << std::endl;
  }
  if (!anyApplication) {
    std::cerr << "Warning: no job has an application number (all -1); \"lsua\", \"lc\", "
                 "\"lrt\", \"lCPUt\" and \"ea\" describe the user's previous job, \"lsa\" "
                 "the previous job of the log"
              << std::endl;
  }
}

// A seed for srand: decimal digits only (no sign, no fraction), at most 4294967295.
TallisSeed parseSeed(const std::string& text) {
  TallisSeed seed;
  const bool digits = !text.empty() && text.size() <= 10 &&
                      text.find_first_not_of("0123456789") == std::string::npos;
  const unsigned long long value = digits ? std::stoull(text) : 0;
  if (!digits || value > 4294967295ull) {
    throw Exception("Seed must be a whole number from 0 to 4294967295: -s" + text);
  }
  seed.given = true;
  seed.value = static_cast<unsigned>(value);
  return seed;
}

DecisionTime parseDecisionTime(const std::string& text) {
  if (text == "submit") return DecisionTime::submit;
  if (text == "start") return DecisionTime::start;
  if (text == "log") return DecisionTime::log;
  throw Exception("The decision time (-t, --as-of) must be submit, start or log: " + text);
}

}  // namespace

void checkDecisionTime(const AttributeList& inputs, const AttributeList& outputs,
                       DecisionTime when) {
  for (const AttributeList* list : {&inputs, &outputs}) {
    for (const AttributeRow* row : *list) {
      if (when == DecisionTime::log && row->definition == nullptr && row->asOf != nullptr) {
        throw Exception(std::string("\"") + row->key +
                        "\" needs --as-of submit or start: it describes the moment of decision");
      }
    }
  }
  if (when == DecisionTime::log) return;
  // Outputs are what the network predicts: any of them may lie after the decision.
  for (const AttributeRow* row : inputs) {
    if (row->direct == nullptr || row->known == KnownFrom::submit) continue;
    if (row->known == KnownFrom::start && when == DecisionTime::start) continue;
    throw Exception(std::string("\"") + row->key + "\" cannot be an input at --as-of " +
                    decisionTimeName(when) +
                    (row->known == KnownFrom::start
                         ? ": a job's wait is known only once it starts (--as-of start allows it)"
                         : ": a job's status is known only once it has ended"));
  }
}

void parseOptions(int argc, char** argv, AttributeList& inputs, AttributeList& outputs,
                  double& trainingRatio, double& validationRatio, double& testRatio,
                  double& positivesRatio, TallisSeed* seed, DecisionTime* asOf) {
  po::options_description description("Allowed options");
  // clang-format off
  description.add_options()
      ("-i", po::value<std::string>(), "all input attributes, comma delimited")
      ("-o", po::value<std::string>(), "all output attributes, comma delimited")
      ("-r", po::value<std::string>(), "data set ratios (training:validation:test)")
      ("-p", po::value<double>(), "positives ratio in all samples - [0,1]")
      ("-s", po::value<std::string>(), "seed of the positives-ratio step's draws (optional)")
      ("as-of,t", po::value<std::string>(), "decision time: log, submit or start (optional)");
  // clang-format on
  po::variables_map options;
  po::parsed_options parsed(&description);
  try {
    parsed = po::parse_command_line(argc, argv, description);
    po::store(parsed, options);
    po::notify(options);
  } catch (po::error& error) {
    // The parser's own words first; the commonest slip is the usage line's -pr0.5.
    std::string hint = " (tallis --help lists the options)";
    for (int k = 1; k < argc; ++k) {
      if (std::string(argv[k]).rfind("-pr", 0) == 0) {
        hint =
            " (the positives ratio is -p0.5 or -p 0.5: the usage line's -pr<positives_ratio> "
            "means -p)";
      }
    }
    std::cerr << optionErrorText(error) << hint << std::endl;
    endTallis(tallis_status::kUsage);
  }
  std::string missing;
  for (const char* option : {"-i", "-o", "-r", "-p"}) {
    if (!options.count(option)) missing += std::string(missing.empty() ? "" : ", ") + option;
  }
  if (!missing.empty()) {
    std::cerr << "Error parsing options: missing " << missing
              << " (each option and its value as one argument, -p0.5, or as two, -p 0.5; "
                 "tallis --help lists them)"
              << std::endl;
    endTallis(tallis_status::kUsage);
  }
  checkFileArguments(parsed);
  inputs = createAttributesVector(options["-i"].as<std::string>());
  outputs = createAttributesVector(options["-o"].as<std::string>());
  const DecisionTime when = options.count("as-of")
                                ? parseDecisionTime(options["as-of"].as<std::string>())
                                : DecisionTime::log;
  checkDecisionTime(inputs, outputs, when);
  if (asOf != nullptr) *asOf = when;

  std::vector<std::string> ratios;
  std::string ratioText = options["-r"].as<std::string>();
  boost::split(ratios, ratioText, boost::is_any_of(":"));
  const std::string given = " (-r" + ratioText + ")";
  if (ratios.size() < 3) {
    throw Exception("Data set ratios need three values: -r<training:validation:test>" + given);
  }
  trainingRatio = std::strtod(ratios[0].c_str(), nullptr);
  validationRatio = std::strtod(ratios[1].c_str(), nullptr);
  testRatio = std::strtod(ratios[2].c_str(), nullptr);
  if (!isNonNegativeNumber(trainingRatio) || !isNonNegativeNumber(validationRatio) ||
      !isNonNegativeNumber(testRatio)) {
    throw Exception("Data set ratios must be non-negative numbers" + given);
  }
  if (trainingRatio + validationRatio == 0) {
    throw Exception("Training and validation ratios must not both be 0" + given);
  }
  // ombra cannot train on a file without training samples.
  if (trainingRatio == 0) {
    throw Exception("Training ratio must not be 0" + given + ": ombra needs training samples");
  }
  positivesRatio = options["-p"].as<double>();
  if (!(positivesRatio >= 0 && positivesRatio <= 1)) {
    std::ostringstream value;
    value << positivesRatio;
    throw Exception("Positives ratio must be between 0 and 1 (-p" + value.str() + ")");
  }
  if (options.count("-s")) {
    const TallisSeed seedOption = parseSeed(options["-s"].as<std::string>());
    if (seed != nullptr) *seed = seedOption;
  }
}

namespace {

// Before any work: swapped names, or a link to the log, would replace the log.
void refuseUnsafeFiles(const std::string& inputFile, const std::string& outputFile) {
  if (isSameFile(inputFile, outputFile)) {
    throw Exception("Refusing to write " + quoted(outputFile) + ": it is the input log " +
                    quoted(inputFile));
  }
  // The names go beside the training data file: they must not land on the log either.
  const std::string cardFile = cardFileOf(outputFile);
  if (!cardFile.empty() && isSameFile(inputFile, cardFile)) {
    throw Exception("Refusing to write " + quoted(cardFile) + ", the column names of " +
                    quoted(outputFile) + ": it is the input log " + quoted(inputFile));
  }
  if (isTrainingDataFile(inputFile)) {
    throw Exception("Refusing to read " + quoted(inputFile) +
                    " as a workload log: it is a training data file (are the file names "
                    "swapped?)");
  }
}

// The finished jobs of the log, with the job counts before and after printed.
std::vector<JobData> readFinishedJobs(const std::string& inputFile) {
  std::vector<JobData> jobs = parseFile(inputFile);
  const size_t jobLines = jobs.size();
  std::cout << "num jobs =" << jobs.size() << std::endl;
  jobs = filterOutPartialJobs(jobs);
  std::cout << "num jobs =" << jobs.size() << std::endl;
  if (jobs.empty()) {
    throw Exception("No finished jobs in the log: " + inputFile +
                    (jobLines == 0
                         ? " holds no job line (18 numbers; lines starting with ; are comments)"
                         : " holds " + std::to_string(jobLines) +
                               (jobLines == 1 ? " job line" : " job lines") +
                               ", none with status 1 (completed), 0 (failed) or 5 (cancelled)"));
  }
  reportUnknownValues(jobs);
  return jobs;
}

// The split by the ratios, the positives ratio step on the training and validation jobs, and
// the split again of the jobs it leaves.
SplitCounts selectSamples(std::vector<JobData>& jobs, double trainingRatio, double validationRatio,
                          double testRatio, double positivesRatio) {
  SplitCounts split =
      splitJobs(static_cast<int>(jobs.size()), trainingRatio, validationRatio, testRatio);
  if (split.test < 0) {
    throw Exception("Data set ratios give more training and validation samples than jobs: " +
                    std::to_string(split.training) + " and " + std::to_string(split.validation) +
                    " of " + std::to_string(jobs.size()) + " finished jobs");
  }
  if (split.training == 0) {
    throw Exception(
        "Data set ratios give no training samples (jobs: " + std::to_string(jobs.size()) + ")");
  }
  const int leadingJobs = split.training + split.validation;
  int leading = changeTrainingSamplePositivesRatio(jobs, leadingJobs, positivesRatio);
  split = resplitJobs(leading, split.test, trainingRatio, validationRatio, jobs.size());
  if (jobs.empty()) {
    throw Exception("No jobs left after the positives ratio step: none of the " +
                    std::to_string(leadingJobs) +
                    " training and validation jobs failed or was cancelled, and the test part "
                    "is empty");
  }
  if (split.training == 0) {
    throw Exception(leading == 0 ? "No training samples left after the positives ratio step: no "
                                   "training or validation job failed or was cancelled"
                                 : "No training samples left after the positives ratio step: " +
                                       std::to_string(leading) +
                                       " training and validation jobs, none of them for training");
  }
  return split;
}

// The user table and the sizes of a sample, printed; a sample without inputs or outputs is
// refused.
void prepareSamples(const std::vector<JobData>& jobs, const AttributeList& inputs,
                    const AttributeList& outputs) {
  createUserIdLookupTable(jobs);
  int outputValues = outputSize(jobs, outputs);
  int inputValues = inputSize(jobs, inputs);
  std::cout << "input size=" << inputValues << "    output size=" << outputValues << std::endl;
  // Only "uID" can give no values: its one-hot vector is empty when the log has no user ids.
  if (inputValues == 0) {
    throw Exception(
        "The input attributes give no values (\"uID\" gives none: the log has no "
        "user ids)");
  }
  if (outputValues == 0) {
    throw Exception(
        "The output attributes give no values (\"uID\" gives none: the log has no "
        "user ids)");
  }
}

// The training data file, then its input card beside it (cardFile, "" for none).
void writeTrainingFiles(const std::vector<JobData>& jobs, const AttributeList& inputs,
                        const AttributeList& outputs, OutputFile& trainingFile,
                        const std::string& cardFile, const SplitCounts& split, DecisionTime when) {
  std::cout << "Writing file..." << std::endl;
  if (!cardFile.empty()) trainingFile.keepChecksum();
  createTrainingFile(jobs, inputs, outputs, trainingFile, split.training, split.validation,
                     split.test, when);
  if (!cardFile.empty()) {
    // The training data file is complete: a failure here costs only the names.
    try {
      writeCardFile(cardFile, columnNames(jobs, inputs, outputs),
                    {trainingFile.bytesWritten(), trainingFile.checksum()}, decisionTimeName(when));
    } catch (const OutputFileError& error) {
      std::cerr << "Warning: " << error.what()
                << " (the column names; the training data file is complete)" << std::endl;
    }
  }
  std::cout << "File written" << std::endl;
}

}  // namespace

namespace {

// "-" is standard input for the log and standard output for the training data file.
std::string logName(const std::string& argument) {
  return argument == "-" ? "/dev/stdin" : argument;
}
std::string targetName(const std::string& argument) {
  return argument == "-" ? "/dev/stdout" : argument;
}

// The training data file goes where standard output goes (-, /dev/stdout, the pipe or file
// behind it): the progress lines must not run into it, so they go to standard error.
bool namesStandardOutput(const std::string& path) {
  struct stat out, target;
  return fstat(1, &out) == 0 && stat(path.c_str(), &target) == 0 && out.st_dev == target.st_dev &&
         out.st_ino == target.st_ino;
}

// A network learns to find failed and cancelled jobs only from training samples that hold
// some: said before the work that would be wasted, the file is still written.
void warnWithoutPositives(const std::vector<JobData>& jobs, const SplitCounts& split) {
  for (int k = 0; k < split.training; ++k) {
    if (jobs[static_cast<size_t>(k)].status != 1) return;
  }
  std::cerr << "Warning: no job of the " << split.training
            << " training samples failed or was cancelled: a network trained on this file "
               "cannot learn to find them"
            << std::endl;
}

}  // namespace

int runTallis(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::cout << "tallis " << kVersion << std::endl;
    return tallis_status::kDone;
  }
  // The attribute keys, one a line, for the shell's completion.
  if (argc == 2 && std::string(argv[1]) == "--list-keys") {
    for (const AttributeRow& row : attributeTable()) std::cout << row.key << '\n';
    return std::cout.flush() ? tallis_status::kDone : tallis_status::kFailure;
  }
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    printTallisHelp();
    return std::cout ? tallis_status::kDone : tallis_status::kFailure;
  }
  if (argc < 7) {
    printUsageInformation();
    std::cerr << "Too few arguments: " << argc - 1
              << " given, at least 6 needed: -i, -o, -r and -p with their values, the log "
                 "and the training data file (tallis --help lists every option and key)"
              << std::endl;
    return tallis_status::kUsage;
  }
  // Before the first "atrib[" line.
  if (namesStandardOutput(targetName(argv[argc - 1]))) std::cout.rdbuf(std::cerr.rdbuf());
  AttributeList inputs, outputs;
  double trainingRatio = 0, validationRatio = 0, testRatio = 0, positivesRatio = 0;
  TallisSeed seed;
  DecisionTime when = DecisionTime::log;
  parseOptions(argc, argv, inputs, outputs, trainingRatio, validationRatio, testRatio,
               positivesRatio, &seed, &when);
  if (seed.given) std::srand(seed.value);
  const std::string inputFile = logName(argv[argc - 2]);
  const std::string outputFile = targetName(argv[argc - 1]);
  refuseUnsafeFiles(inputFile, outputFile);
  // Both files are checked, and a FIFO opened, before the log is read: a target that cannot
  // be written is refused at once, not after all the work.
  OutputFile trainingFile(outputFile, FileKind::trainingData, tallisOutputMessage);
  std::string cardFile =
      trainingFile.isRegularFile() ? trainingFile.target().path + ".columns" : "";
  if (baseNameOf(cardFile).size() > kMaxFileNameBytes) {
    // A valid name of up to 255 bytes leaves no room for ".columns": the data without names.
    std::cerr << "Warning: no column names for " << outputFile << ": " << baseNameOf(cardFile)
              << " would be longer than " << kMaxFileNameBytes << " bytes" << std::endl;
    cardFile.clear();
  }
  if (!cardFile.empty()) checkCardFile(cardFile);
  std::vector<JobData> jobs = readFinishedJobs(inputFile);
  const SplitCounts split =
      selectSamples(jobs, trainingRatio, validationRatio, testRatio, positivesRatio);
  warnWithoutPositives(jobs, split);
  prepareSamples(jobs, inputs, outputs);
  writeTrainingFiles(jobs, inputs, outputs, trainingFile, cardFile, split, when);
  std::cout << "and... done." << std::endl;
  return tallis_status::kDone;
}
