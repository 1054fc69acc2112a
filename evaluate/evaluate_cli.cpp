#include "evaluate/evaluate_cli.h"

#include <algorithm>
#include <boost/program_options.hpp>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/fatal.h"
#include "common/terminal_progress.h"
#include "evaluate/calibration_card.h"
#include "evaluate/charts.h"
#include "evaluate/column_groups.h"
#include "evaluate/importance.h"
#include "evaluate/learned_baselines.h"
#include "evaluate/predictions_file.h"
#include "evaluate/report.h"
#include "evaluate/status_board.h"
#include "evaluate/task_pool.h"
#include "files/paths.h"
#include "version.h"

namespace po = boost::program_options;

namespace {

struct Described {
  po::options_description visible{"Options"};
  po::options_description all;
};

void describe(Described& d, EvaluateOptions& o, std::string& set, bool& noBaselines,
              bool& noImportance, std::string& method) {
  // clang-format off
  d.visible.add_options()
      ("set", po::value<std::string>(&set)->default_value("test")->value_name("SET"),
       "the samples to evaluate: test or validation")
      ("output", po::value<int>(&o.output)->default_value(1)->value_name("N"),
       "the network output to evaluate, from 1")
      ("columns", po::value<std::string>(&o.columnsFile)->value_name("FILE"),
       "the column names (default: TRAINING_DATA_FILE.columns, written by tallis, when present)")
      ("charts", po::value<std::string>(&o.chartsPrefix)->value_name("PREFIX"),
       "write PREFIX-roc.png, -pr.png, -gains.png and -calibration.png (gnuplot)")
      ("card", po::value<std::string>(&o.cardFile)->value_name("FILE"),
       "the network's input card, whose calibration gives a calibrated row (default: "
       "NETWORK_FILE.card, when present)")
      ("write-card", po::value<std::string>(&o.writeCardFile)->value_name("FILE"),
       "fit a calibration of the output on the validation samples and write the network's "
       "card: the training data file's card with the calibration (ombra-score reads it)")
      ("calibration", po::value<std::string>(&method)->default_value("auto")->value_name("METHOD"),
       "the calibration --write-card fits: platt, isotonic, or auto: the one of the lower "
       "cross-fitted validation log loss")
      ("predictions", po::value<std::string>(&o.predictionsFile)->value_name("FILE"),
       "write every evaluated sample's row, set, target, output (and calibrated score) as CSV")
      ("no-baselines", po::bool_switch(&noBaselines),
       "skip logistic regression and gradient-boosted trees (the slow baselines)")
      ("no-importance", po::bool_switch(&noImportance), "skip the permutation importance")
      ("shuffles", po::value<int>(&o.shuffles)->default_value(5)->value_name("N"),
       "shuffles per attribute for the importance, 1 to 1000")
      ("seed", po::value<int>(&o.seed)->default_value(1)->value_name("N"),
       "seed of the shuffles, 0 or more")
      ("threads", po::value<int>(&o.threads)->value_name("N"),
       "threads that train the baselines and score the shuffles side by side, 1 to 1024 "
       "(default: the processors this process may use); the figures are the same for any "
       "number")
      ("help,h", "print this help")
      ("version", "print the version");
  // clang-format on
  d.all.add(d.visible);
  d.all.add_options()("files", po::value<std::vector<std::string>>(), "");
}

}  // namespace

std::string evaluateHelp() {
  EvaluateOptions options;
  std::string set, method;
  bool noBaselines = false, noImportance = false;
  Described d;
  describe(d, options, set, noBaselines, noImportance, method);
  std::ostringstream text;
  text << "Usage: ombra-evaluate NETWORK_FILE TRAINING_DATA_FILE [options]\n\n"
          "Reloads a network saved by ombra, reads the training data file it was trained on\n"
          "(same split, same scaling) and reports, for the test samples: ROC AUC, PR AUC, Brier\n"
          "score, log loss, figures at threshold 0.5 and at the best validation threshold,\n"
          "true-positive rates at 1, 5 and 10 % false positives and the lift in the top 10 %,\n"
          "beside baselines trained on the same training samples (the training share, the rule\n"
          "'previous job of the same user and application failed', logistic regression and\n"
          "gradient-boosted trees), and the permutation importance of every attribute.\n"
          "Options may stand before or after the file names; -- ends them.\n\n"
       << d.visible;
  return text.str();
}

bool parseEvaluateOptions(int argc, const char* const* argv, EvaluateOptions& o) {
  std::string set, method;
  bool noBaselines = false, noImportance = false;
  Described d;
  describe(d, o, set, noBaselines, noImportance, method);
  po::variables_map values;
  if (!readExactOptions(argc, argv, d.all, values)) {
    o.version = values.count("help") == 0;
    return false;
  }
  const std::vector<std::string> files = fileNames(values);
  if (files.size() != 2) {
    throw std::runtime_error("expected NETWORK_FILE and TRAINING_DATA_FILE, got " +
                             std::to_string(files.size()) + " file name" +
                             (files.size() == 1 ? "" : "s"));
  }
  o.networkFile = files[0];
  o.trainingDataFile = files[1];
  if (set == "test") {
    o.set = SampleSet::test;
  } else if (set == "validation") {
    o.set = SampleSet::validation;
  } else {
    throw std::runtime_error("--set: '" + set + "' is neither test nor validation");
  }
  if (o.output < 1) throw std::runtime_error("--output: must be 1 or more");
  if (o.shuffles < 1 || o.shuffles > 1000) {
    throw std::runtime_error("--shuffles: must be 1 to 1000");
  }
  if (o.seed < 0) throw std::runtime_error("--seed: must be 0 or more");
  if (!values.count("threads")) o.threads = availableProcessors();
  if (o.threads < 1 || o.threads > 1024) throw std::runtime_error("--threads: must be 1 to 1024");
  o.baselines = !noBaselines;
  o.importance = !noImportance;
  if (values.count("columns") && o.columnsFile.empty()) {
    throw std::runtime_error("--columns: needs a file name");
  }
  if (method == "auto") {
    o.calibrationMethod = CalibrationMethod::none;
  } else if (method == "platt") {
    o.calibrationMethod = CalibrationMethod::platt;
  } else if (method == "isotonic") {
    o.calibrationMethod = CalibrationMethod::isotonic;
  } else {
    throw std::runtime_error("--calibration: '" + method + "' is not auto, platt or isotonic");
  }
  const std::vector<std::string> inputs = {o.networkFile, o.trainingDataFile, o.columnsFile,
                                           o.cardFile};
  for (const auto& [option, name] :
       {std::make_pair("--card", &o.cardFile), std::make_pair("--write-card", &o.writeCardFile),
        std::make_pair("--predictions", &o.predictionsFile)}) {
    if (values.count(option + 2) && name->empty()) {
      throw std::runtime_error(std::string(option) + ": needs a file name");
    }
  }
  if (!o.writeCardFile.empty()) {
    const std::string problem = writeCardProblem(o.writeCardFile, inputs);
    if (!problem.empty()) throw std::runtime_error(problem);
  }
  if (!o.predictionsFile.empty()) {
    std::vector<std::string> written = inputs;
    written.push_back(o.writeCardFile);
    const std::string problem = predictionsProblem(o.predictionsFile, written);
    if (!problem.empty()) throw std::runtime_error(problem);
  }
  if (values.count("charts")) {
    const std::string problem =
        chartsProblem(o.chartsPrefix, {o.networkFile, o.trainingDataFile, o.columnsFile});
    if (!problem.empty()) throw std::runtime_error(problem);
  }
  return true;
}

namespace {

// The class of every sample: its target of the evaluated output above 0.5, as in ombra.
std::vector<uint8_t> classesOf(const NN_evaluated& network, SampleSet set, int output) {
  const std::vector<float>& targets = network.targets(set);
  const size_t m = static_cast<size_t>(network.outputSize());
  std::vector<uint8_t> positive(targets.size() / m);
  for (size_t i = 0; i < positive.size(); ++i) {
    positive[i] = NN::isPositive(targets[i * m + static_cast<size_t>(output)]) ? 1 : 0;
  }
  return positive;
}

double share(const std::vector<uint8_t>& positive) {
  size_t count = 0;
  for (uint8_t p : positive) count += p;
  return positive.empty() ? std::nan("") : static_cast<double>(count) / positive.size();
}

std::string percent(double value) { return fixed(100 * value, 2) + " %"; }

// One model's scores on the evaluated and the validation samples.
struct Model {
  std::string name;
  ScoredSamples evaluated;
  ScoredSamples validation;
  std::string note;
  bool calibrationOnly = false;  // charted on the calibration chart alone
};

// The rule "the previous job of the same user and application failed": 1 when the lsua input
// (in data units) is above 0.5, else 0.
std::vector<float> ruleScores(const NN_evaluated& network, const std::vector<float>& inputs,
                              int column) {
  const size_t n = static_cast<size_t>(network.inputSize());
  std::vector<float> scores(inputs.size() / n);
  for (size_t i = 0; i < scores.size(); ++i) {
    scores[i] = network.unscaledInput(inputs[i * n + column], column) > 0.5f ? 1.0f : 0.0f;
  }
  return scores;
}

SampleMatrix matrixOf(const NN_evaluated& network, SampleSet set,
                      const std::vector<uint8_t>& positive) {
  return {network.inputs(set).data(), positive.size(), network.inputSize(), &positive};
}

// The network's scores, refused when any is not a number.
Model networkModel(const NN_evaluated& network, SampleSet set, int output,
                   const std::vector<uint8_t>& classes,
                   const std::vector<uint8_t>& validationClasses) {
  Model model{"network",
              {network.outputsOf(network.inputs(set), output), classes},
              {network.outputsOf(network.inputs(SampleSet::validation), output), validationClasses},
              ""};
  // Every figure of the network, the threshold chosen on the validation samples included,
  // would be meaningless: a damaged weight shows on one set and not on another.
  const std::pair<SampleSet, const ScoredSamples*> sets[] = {
      {set, &model.evaluated}, {SampleSet::validation, &model.validation}};
  for (const auto& [scoredSet, scored] : sets) {
    size_t notNumbers = 0;
    for (float score : scored->scores) notNumbers += std::isfinite(score) ? 0 : 1;
    if (notNumbers > 0) {
      fatal("The network's output is not a number for " + std::to_string(notNumbers) + " of the " +
                std::string(sampleSetName(scoredSet)) + " samples: its weights are damaged",
            kEvaluateFailureStatus);
    }
  }
  return model;
}

// The baselines that need no training, in the order of the table: prior, then the rule (when
// the lsua column is known).
void addFixedBaselines(std::vector<Model>& models, const NN_evaluated& network, SampleSet set,
                       const std::vector<uint8_t>& trainingClasses,
                       const std::vector<uint8_t>& validationClasses,
                       const std::vector<uint8_t>& classes, int lsua) {
  const float prior = static_cast<float>(share(trainingClasses));
  models.push_back({"prior (training share)",
                    {std::vector<float>(classes.size(), prior), classes},
                    {std::vector<float>(validationClasses.size(), prior), validationClasses},
                    ""});
  if (lsua >= 0) {
    models.push_back(
        {"rule: last user+app fail",
         {ruleScores(network, network.inputs(set), lsua), classes},
         {ruleScores(network, network.inputs(SampleSet::validation), lsua), validationClasses},
         ""});
  }
}

// The learned baselines, trained side by side on the pool while the caller goes on; finish()
// waits for them and adds them to the table in their order.
class LearnedBaselines {
 public:
  static constexpr Learner kOrder[2] = {Learner::logisticRegression, Learner::boostedTrees};

  LearnedBaselines(const NN_evaluated& network, SampleSet set,
                   const std::vector<uint8_t>& trainingClasses,
                   const std::vector<uint8_t>& validationClasses,
                   const std::vector<uint8_t>& classes, TaskPool& pool, StatusBoard& board)
      : training_(matrixOf(network, SampleSet::training, trainingClasses)),
        validation_(matrixOf(network, SampleSet::validation, validationClasses)),
        evaluated_(matrixOf(network, set, classes)) {
    for (int k = 0; k < 2; ++k) {
      done_[k] = pool.run([this, k, &board] {
        const char* name = learnerName(kOrder[k]);
        scores_[k] = trainAndScore(kOrder[k], training_, validation_, evaluated_, board.part(name));
        board.finish(name);
      });
    }
  }
  // Waits for both even when one fails (the other still reads the samples), then rethrows.
  ~LearnedBaselines() {
    for (std::future<void>& done : done_) {
      if (done.valid()) done.wait();
    }
  }
  LearnedBaselines(const LearnedBaselines&) = delete;
  LearnedBaselines& operator=(const LearnedBaselines&) = delete;

  void finish(std::vector<Model>& models) {
    for (std::future<void>& done : done_) done.wait();
    for (int k = 0; k < 2; ++k) {
      done_[k].get();
      models.push_back({learnerName(kOrder[k]),
                        {std::move(scores_[k].scores), *evaluated_.positive},
                        {std::move(scores_[k].validationScores), *validation_.positive},
                        learnerSettings(kOrder[k]) + "; " + scores_[k].how});
    }
  }

 private:
  SampleMatrix training_, validation_, evaluated_;
  std::future<void> done_[2];
  LearnedScores scores_[2];
};

// What the input card says of when the attributes were taken; nothing for an older columns
// file, which does not say.
std::string asOfLine(const std::string& asOf) {
  if (asOf.empty()) return "";
  const std::string meaning = asOf == "submit"  ? "what was known when each job was submitted"
                              : asOf == "start" ? "what was known when each job started"
                              : asOf == "log"   ? "every earlier job of the log, ended or not"
                                                : "";
  return "Attributes as of: " + asOf + (meaning.empty() ? "" : " (" + meaning + ")") + "\n";
}

void printHeader(const EvaluateOptions& options, const NN_evaluated& network,
                 const std::vector<uint8_t>& trainingClasses,
                 const std::vector<uint8_t>& validationClasses, const std::vector<uint8_t>& classes,
                 const InputAttributes& attributes) {
  std::cout << "Network: " << options.networkFile << " (layers";
  for (int size : network.topology()) std::cout << ' ' << size;
  size_t positives = 0;
  for (uint8_t p : classes) positives += p;
  std::cout << "), output " << options.output << " of " << network.outputSize() << '\n'
            << "Training data: " << options.trainingDataFile << ": "
            << network.sampleCount(SampleSet::training) << " training ("
            << percent(share(trainingClasses)) << " failed or cancelled), "
            << network.sampleCount(SampleSet::validation) << " validation ("
            << percent(share(validationClasses)) << "), " << network.sampleCount(SampleSet::test)
            << " test samples\n"
            << "Column names: " << attributes.source << '\n'
            << asOfLine(attributes.asOf) << "Evaluated: the " << classes.size() << " "
            << sampleSetName(options.set) << " samples, " << positives << " failed or cancelled ("
            << percent(share(classes)) << ")\n"
            << std::endl;
}

void writeAllCharts(const std::string& prefix, const std::vector<Model>& models,
                    const std::vector<Ranking>& rankings, const ChartLabels& labels) {
  std::vector<ChartModel> charted;
  for (size_t m = 0; m < models.size(); ++m) {
    charted.push_back(
        {models[m].name, &models[m].evaluated, &rankings[m], models[m].calibrationOnly});
  }
  writeCharts(prefix, charted, labels);
  std::cout << "Charts: ";
  for (const std::string& name : chartNames()) std::cout << prefix << "-" << name << ".png ";
  std::cout << std::endl;
}

// What readOptions answers when the options ask for the evaluation: not an exit status.
constexpr int kOptionsAskForWork = -1;

// The options, or the status to end with at once: 0 after the help or the version, the usage
// status after a bad argument.
int readOptions(int argc, const char* const* argv, EvaluateOptions& options) {
  try {
    if (parseEvaluateOptions(argc, argv, options)) return kOptionsAskForWork;
  } catch (const std::runtime_error& error) {
    std::cerr << "ombra-evaluate: " << error.what() << "\nTry 'ombra-evaluate --help'."
              << std::endl;
    return kEvaluateUsageStatus;
  }
  if (options.version) {
    std::cout << "ombra-evaluate " << kVersion << std::endl;
  } else {
    std::cout << evaluateHelp() << std::flush;
  }
  return kEvaluateDoneStatus;
}

// The network and the samples it is evaluated on; the output it names must exist and the set
// must hold samples.
void loadNetwork(const EvaluateOptions& options, NN_evaluated& network) {
  if (options.output > network.outputSize()) {
    fatal("ombra-evaluate: --output " + std::to_string(options.output) + ": the network has " +
              std::to_string(network.outputSize()) + " output" +
              (network.outputSize() == 1 ? "" : "s"),
          kEvaluateUsageStatus);
  }
  network.readSamples(options.trainingDataFile);
  if (network.sampleCount(options.set) == 0) {
    fatal("No " + std::string(sampleSetName(options.set)) + " samples in " +
              options.trainingDataFile + ": nothing to evaluate",
          kEvaluateFailureStatus);
  }
}

// The figures of every model: the table, the network's confusion counts and the notes.
std::vector<Ranking> reportModels(const std::vector<Model>& models, const std::string& setName,
                                  bool ruleRow) {
  std::vector<ModelFigures> figures;
  std::vector<Ranking> rankings;
  rankings.reserve(models.size());
  for (const Model& model : models) {
    rankings.emplace_back(model.evaluated.scores, model.evaluated.positive);
    figures.push_back(figuresOf(model.name, model.evaluated, rankings.back(), model.validation));
  }
  printTable(std::cout, figures);
  std::cout << '\n';
  printConfusions(std::cout, figures.front(), setName);
  if (!ruleRow) std::cout << "No rule row: no input column is named lsua.\n";
  for (const Model& model : models) {
    if (!model.note.empty()) std::cout << model.name << ": " << model.note << '\n';
  }
  std::cout << std::endl;
  return rankings;
}

// The end of the report: a write error, or a set of one class whose figures are undefined.
int finish(const Ranking& network, const std::string& setName) {
  if (!std::cout.flush()) {
    std::cerr << "Error writing standard output" << std::endl;
    return kEvaluateFailureStatus;
  }
  if (network.positives() == 0 || network.negatives() == 0) {
    std::cerr << "The " << setName << " samples are all "
              << (network.positives() == 0 ? "completed" : "failed or cancelled")
              << ": ROC AUC, PR AUC and the rates that need both classes are undefined (n/a)"
              << std::endl;
    return kEvaluateFailureStatus;
  }
  return kEvaluateDoneStatus;
}

// The network's calibration: fitted on the validation samples and written as its card
// (--write-card), or read from its card (--card, or NETWORK_FILE.card when present).
NetworkCalibration networkCalibration(const EvaluateOptions& options, const NN_evaluated& network,
                                      const Model& raw, int output) {
  if (options.writeCardFile.empty()) {
    const bool named = !options.cardFile.empty();
    std::string refusal;
    NetworkCalibration read = readNetworkCalibration(
        named ? options.cardFile : options.networkFile + ".card", network.inputSize(),
        network.outputSize(), output + 1, named, refusal);
    if (!refusal.empty()) fatal("ombra-evaluate: " + refusal, kEvaluateUsageStatus);
    return read;
  }
  const LinkWalk data = followLinks(options.trainingDataFile);
  const std::string dataCard =
      !options.columnsFile.empty()
          ? options.columnsFile
          : (data.end == LinkWalk::kResolved ? data.path : options.trainingDataFile) + ".columns";
  std::string refusal;
  const InputCard card = dataCardFor(dataCard, options.trainingDataFile, network.dataStamp(),
                                     network.inputSize(), network.outputSize(), refusal);
  if (!refusal.empty()) fatal("ombra-evaluate: " + refusal, kEvaluateUsageStatus);
  const ScoredSamples& validation = raw.validation;
  const double positives = share(validation.positive) * validation.positive.size();
  if (!(positives > 0 && positives < validation.positive.size())) {
    fatal("--write-card: a calibration needs validation samples of both classes; " +
              options.trainingDataFile + " has " + std::to_string(validation.positive.size()) +
              " validation samples, " + std::to_string(static_cast<size_t>(positives)) +
              " of them failed or cancelled",
          kEvaluateFailureStatus);
  }
  NetworkCalibration fitted = fitNetworkCalibration(
      options.calibrationMethod, validation.scores, validation.positive,
      network.outputMinimum(output), network.outputMaximum(output), output + 1);
  writeNetworkCard(options.writeCardFile, card, fitted.calibration);
  fitted.source += ", written to " + options.writeCardFile;
  return fitted;
}

// The network's outputs through its calibration: the same order (ROC AUC and the other rank
// figures do not change), scores that mean shares of failing jobs.
Model calibratedModel(const Model& raw, const NetworkCalibration& calibration) {
  Model model{"network, calibrated", raw.evaluated, raw.validation,
              "calibration " + calibration.source, true};
  for (ScoredSamples* samples : {&model.evaluated, &model.validation}) {
    for (float& score : samples->scores) {
      score = static_cast<float>(calibration.calibration.apply(score));
    }
  }
  return model;
}

void writePredictionsFile(const EvaluateOptions& options, const NN_evaluated& network,
                          const Model& raw, const Calibration& calibration, int output) {
  const size_t m = static_cast<size_t>(network.outputSize());
  const std::vector<float>& targets = network.targets(options.set);
  std::vector<float> evaluatedTargets(targets.size() / m);
  for (size_t k = 0; k < evaluatedTargets.size(); ++k) {
    evaluatedTargets[k] = targets[k * m + static_cast<size_t>(output)];
  }
  std::vector<double> scores;
  if (calibration.exists()) {
    for (float value : raw.evaluated.scores) scores.push_back(calibration.apply(value));
  }
  size_t before = static_cast<size_t>(network.sampleCount(SampleSet::training));
  if (options.set == SampleSet::test) {
    before += static_cast<size_t>(network.sampleCount(SampleSet::validation));
  }
  writePredictions(options.predictionsFile, sampleSetName(options.set), before + 1,
                   evaluatedTargets, raw.evaluated.scores, scores);
}

// The column names: the file given with --columns, or the card tallis wrote beside the
// training data file it really wrote (links followed). A named card of other data is refused.
InputAttributes readAttributes(const EvaluateOptions& options, const NN_evaluated& network) {
  const bool namesGiven = !options.columnsFile.empty();
  const LinkWalk data = followLinks(options.trainingDataFile);
  const std::string beside =
      (data.end == LinkWalk::kResolved ? data.path : options.trainingDataFile) + ".columns";
  InputAttributes attributes = readInputAttributes(
      namesGiven ? options.columnsFile : beside, network.inputSize(), network.outputSize(),
      namesGiven, options.trainingDataFile, network.dataStamp());
  if (!attributes.refusal.empty()) {
    fatal("ombra-evaluate: --columns: " + attributes.refusal, kEvaluateUsageStatus);
  }
  return attributes;
}

}  // namespace

int runEvaluate(int argc, const char* const* argv) {
  EvaluateOptions options;
  const int optionsStatus = readOptions(argc, argv, options);
  if (optionsStatus != kOptionsAskForWork) return optionsStatus;
  std::srand(static_cast<unsigned>(options.seed));

  NN_evaluated network(options.networkFile);
  loadNetwork(options, network);
  const int output = options.output - 1;
  const SampleSet set = options.set;
  const std::string setName = sampleSetName(set);
  const std::vector<uint8_t> trainingClasses = classesOf(network, SampleSet::training, output);
  const std::vector<uint8_t> validationClasses = classesOf(network, SampleSet::validation, output);
  const std::vector<uint8_t> classes = classesOf(network, set, output);
  std::vector<Model> models;
  models.push_back(networkModel(network, set, output, classes, validationClasses));

  const InputAttributes attributes = readAttributes(options, network);
  const NetworkCalibration calibration =
      networkCalibration(options, network, models.front(), output);
  printHeader(options, network, trainingClasses, validationClasses, classes, attributes);
  if (calibration.calibration.exists()) {
    models.push_back(calibratedModel(models.front(), calibration));
  }
  const int lsua = findColumn(attributes.groups, "lsua");
  addFixedBaselines(models, network, set, trainingClasses, validationClasses, classes, lsua);

  const double positiveShare = share(classes);
  const bool oneClass = !(positiveShare > 0 && positiveShare < 1);
  std::vector<Importance> importance;
  try {
    // The pool outlives the work on it: on an error every task ends before the message. No
    // more threads than pieces of work that can run at once.
    const size_t pieces = 2 + attributes.groups.size() * static_cast<size_t>(options.shuffles);
    TaskPool pool(static_cast<int>(std::min(static_cast<size_t>(options.threads), pieces)));
    StatusBoard board;
    std::unique_ptr<LearnedBaselines> learned;
    if (options.baselines) {
      learned.reset(new LearnedBaselines(network, set, trainingClasses, validationClasses, classes,
                                         pool, board));
    }
    if (options.importance && !oneClass) {
      importance =
          permutationImportance(network, network.inputs(set), classes, output, attributes.groups,
                                options.shuffles, pool, board.part("importance"));
      board.finish("importance");
    }
    if (learned) learned->finish(models);
  } catch (const LearnerError& error) {
    fatal(error.what(), kEvaluateFailureStatus);
  }
  progress::clear();

  const std::vector<Ranking> rankings = reportModels(models, setName, lsua >= 0);
  if (options.importance && !oneClass) {
    printImportance(std::cout, importance, options.shuffles, static_cast<unsigned>(options.seed),
                    setName);
  }
  if (!options.predictionsFile.empty()) {
    writePredictionsFile(options, network, models.front(), calibration.calibration, output);
    std::cout << "Predictions: " << options.predictionsFile << std::endl;
  }
  if (!options.chartsPrefix.empty()) {
    writeAllCharts(options.chartsPrefix, models, rankings,
                   {setName, options.networkFile, options.trainingDataFile});
  }
  return finish(rankings.front(), setName);
}
