#include "experiments/timings_cli.h"

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "experiments/command_line.h"
#include "experiments/data_sets.h"
#include "experiments/drivers.h"
#include "experiments/network_factory.h"
#include "experiments/timing.h"
#include "experiments/timing_data.h"
#include "nn/replace_file.h"
#include "trainer_table/trainer_table.h"
#include "version.h"

namespace {

const char kProgram[] = "ombra-timings";

struct Command {
  const char* name;
  const char* summary;
  std::vector<OptionRule> options;
  int (*run)(const ParsedOptions& options);
};

// Options shared by several commands. Counts that make no measurement (no iterations, no
// samples, a step that never reaches the end of the range) are refused here, before any
// file is replaced; an empty range (first above last) is allowed and writes only the header.
OptionRule typeOption() {
  return {"type", OptionKind::Trainer, nullptr, 0,
          "trainer: 0-7 or a name (see ombra-timings --help)"};
}
OptionRule firstOption(const char* defaultValue, int minimum) {
  return {"first", OptionKind::Integer, defaultValue, minimum, "first value of the range"};
}
OptionRule stepOption(const char* defaultValue) {
  return {"step", OptionKind::Integer, defaultValue, 1, "step of the range"};
}
OptionRule lastOption(const char* defaultValue, int minimum) {
  return {"last", OptionKind::Integer, defaultValue, minimum, "last value of the range, included"};
}
OptionRule iterationsOption() {
  return {"iterations", OptionKind::Integer, "10", 1, "iterations timed per measurement"};
}
OptionRule samplesOption() {
  return {"samples", OptionKind::Integer, nullptr, 1,
          "training samples kept (at most those of the training data file)"};
}
OptionRule textOption(const char* name, const char* defaultValue, const char* help) {
  return {name, OptionKind::Text, defaultValue, 0, help};
}
OptionRule integerOption(const char* name, const char* defaultValue, int minimum,
                         const char* help) {
  return {name, OptionKind::Integer, defaultValue, minimum, help};
}

int runLayers(const ParsedOptions& o) {
  timeNumberOfLayers({o.trainer("type"), o.integer("first"), o.integer("step"), o.integer("last"),
                      o.integer("hidden-neurons"), o.text("result"), o.integer("iterations"),
                      o.integer("inputs"), o.integer("outputs"), o.text("data"), o.text("params"),
                      o.integer("samples")});
  return kTimingsDoneStatus;
}

int runNeurons(const ParsedOptions& o) {
  timeNeuronsInLayer({o.trainer("type"), o.integer("first"), o.integer("step"), o.integer("last"),
                      o.text("result"), o.integer("iterations"), o.integer("inputs"),
                      o.integer("outputs"), o.text("data"), o.text("params"), o.integer("samples"),
                      o.integer("hidden-layers")});
  return kTimingsDoneStatus;
}

int runSamples(const ParsedOptions& o) {
  timeSampleSize(o.trainer("type"), o.integer("first"), o.integer("step"), o.integer("last"),
                 o.text("result"), o.integer("iterations"), o.text("config"), o.text("data"),
                 o.text("params"));
  return kTimingsDoneStatus;
}

int runPsoNeurons(const ParsedOptions& o) {
  runPSONeuronsInLayerTimings(o.integer("first"), o.integer("step"), o.integer("last"),
                              o.integer("iterations"), o.text("prefix"), o.integer("samples"));
  return kTimingsDoneStatus;
}

int runBpNeurons(const ParsedOptions& o) {
  runBPNeuronsInLayerTimings(o.integer("first"), o.integer("step"), o.integer("last"),
                             o.integer("iterations"), o.text("prefix"), o.integer("hidden-layers"),
                             o.integer("samples"));
  return kTimingsDoneStatus;
}

int runPsoLayers(const ParsedOptions& o) {
  runPSONumberOfLayersTimings(o.integer("first"), o.integer("step"), o.integer("last"),
                              o.integer("iterations"), o.text("prefix"),
                              o.integer("hidden-neurons"), o.integer("samples"));
  return kTimingsDoneStatus;
}

int runPsoSamples(const ParsedOptions& o) {
  runPSOSampleSizeTimings(o.integer("first"), o.integer("step"), o.integer("last"),
                          o.integer("iterations"), o.text("prefix"));
  return kTimingsDoneStatus;
}

int runDataSets(const ParsedOptions& o) {
  trainOnDataSets(o.text("suffix"), o.text("config"), o.text("params"));
  return kTimingsDoneStatus;
}

int runFastestPso(const ParsedOptions& o) {
  const std::unique_ptr<NN> fastest(
      fastestParticleSwarm(o.text("config"), o.text("data"), o.text("params")));
  const TrainerKind* trainer = trainerOfNetwork(*fastest);
  std::cout << "Fastest: " << (trainer != nullptr ? trainer->className : "unknown") << std::endl;
  return kTimingsDoneStatus;
}

// Not one of the library's experiments: the one way to get a lift-chart file from a trainer
// that runs without a GPU.
int runLiftChart(const ParsedOptions& o) {
  const int type = o.trainer("type");
  // The chart is written after the training: checked before it.
  refuseSameFile({"lift-chart file", o.text("result")}, {{"configuration file", o.text("config")},
                                                         {"training data file", o.text("data")},
                                                         {"parameters file", o.text("params")}});
  checkReplaceable(o.text("result"), FileKind::liftChart);
  OwnedNetwork network = makeNetwork(type, o.text("config"), o.text("data"), o.text("params"));
  trainAndReport(*network);
  network->writeLiftChart(o.text("result"));
  network.reset();
  return kTimingsDoneStatus;
}

int runMakeData(const ParsedOptions& o) {
  const std::string tallis = o.text("tallis") == "auto" ? defaultTallisPath() : o.text("tallis");
  return makeTimingData(tallis, o.text("log"), o.text("positives"));
}

int runMakeDataSets(const ParsedOptions& o) {
  const std::string tallis = o.text("tallis") == "auto" ? defaultTallisPath() : o.text("tallis");
  return makeDataSetFiles(tallis, o.text("logs"), o.text("suffix"), o.text("positives"));
}

const std::vector<Command>& commands() {
  static const std::vector<Command> table = {
      {"layers",
       "time per iteration against hidden layers (one trainer)",
       {typeOption(), firstOption("0", 0), stepOption("1"), lastOption("3", 0),
        integerOption("hidden-neurons", "10", 1, "neurons in every hidden layer"),
        iterationsOption(), integerOption("inputs", "9", 1, "input neurons (as the data file)"),
        integerOption("outputs", "1", 1, "output neurons (as the data file)"),
        textOption("data", nullptr, "training data file"),
        textOption("params", nullptr, "algorithm parameters file"), samplesOption(),
        textOption("result", "layers.csv", "result file (replaced)")},
       runLayers},
      {"neurons",
       "time per iteration against neurons per hidden layer (one trainer)",
       {typeOption(), firstOption("5", 1), stepOption("5"), lastOption("20", 1),
        integerOption("hidden-layers", "1", 1, "hidden layers"), iterationsOption(),
        integerOption("inputs", "9", 1, "input neurons (as the data file)"),
        integerOption("outputs", "1", 1, "output neurons (as the data file)"),
        textOption("data", nullptr, "training data file"),
        textOption("params", nullptr, "algorithm parameters file"), samplesOption(),
        textOption("result", "neurons.csv", "result file (replaced)")},
       runNeurons},
      {"samples",
       "time per iteration against training samples (one trainer)",
       {typeOption(), firstOption(nullptr, 1), stepOption(nullptr), lastOption(nullptr, 1),
        iterationsOption(), textOption("config", nullptr, "network configuration file"),
        textOption("data", nullptr, "training data file (holding at least --last samples)"),
        textOption("params", nullptr, "algorithm parameters file"),
        textOption("result", "samples.csv", "result file (replaced)")},
       runSamples},
      {"pso-neurons",
       "neurons experiment, one hidden layer, for the five particle swarms",
       {firstOption("5", 1), stepOption("5"), lastOption("20", 1), iterationsOption(),
        textOption("prefix", "neurons", "result files: prefix + \"_PSO CPU.csv\" and so on"),
        samplesOption()},
       runPsoNeurons},
      {"bp-neurons",
       "neurons experiment for the three back-propagation trainers",
       {firstOption("5", 1), stepOption("5"), lastOption("20", 1), iterationsOption(),
        textOption("prefix", "bp_neurons", "result files: prefix + \"_BP CPU.csv\" and so on"),
        integerOption("hidden-layers", "1", 1, "hidden layers"), samplesOption()},
       runBpNeurons},
      {"pso-layers",
       "layers experiment for the five particle swarms",
       {firstOption("0", 0), stepOption("1"), lastOption("3", 0), iterationsOption(),
        textOption("prefix", "layers", "result files: prefix + \"_PSO CPU.csv\" and so on"),
        integerOption("hidden-neurons", "10", 1, "neurons in every hidden layer"), samplesOption()},
       runPsoLayers},
      {"pso-samples",
       "samples experiment for the five particle swarms",
       {firstOption(nullptr, 1), stepOption(nullptr), lastOption(nullptr, 1), iterationsOption(),
        textOption("prefix", "samples", "result files: prefix + \"_PSO CPU.csv\" and so on")},
       runPsoSamples},
      {"train-data-sets",
       "trains a GPU local swarm on each of seven data sets, lift charts",
       {textOption("suffix", ".dat", "training data file of a data set: its name + suffix"),
        textOption("config", nullptr, "network configuration file"),
        textOption("params", nullptr, "algorithm parameters file")},
       runDataSets},
      {"fastest-pso",
       "times ten iterations of the five swarms, names the fastest",
       {textOption("config", nullptr, "network configuration file"),
        textOption("data", nullptr, "training data file"),
        textOption("params", nullptr, "algorithm parameters file")},
       runFastestPso},
      {"lift-chart",
       "trains one network, prints its test figures, writes its lift chart",
       {typeOption(), textOption("config", nullptr, "network configuration file"),
        textOption("data", nullptr, "training data file"),
        textOption("params", nullptr, "algorithm parameters file (its limits end the training)"),
        textOption("result", "lift chart.cvs", "lift-chart file (replaced)")},
       runLiftChart},
      {"make-data",
       "writes the drivers' files from a workload log with tallis",
       {textOption("log", nullptr, "workload log (SWF, plain or .gz)"),
        textOption("tallis", "auto", "tallis program; auto: the one beside this program"),
        textOption("positives", "0.5", "share of failed and cancelled jobs (tallis -p)")},
       runMakeData},
      {"make-data-sets",
       "writes the files of train-data-sets from seven logs with tallis",
       {textOption("logs", nullptr, "folder holding the seven workload logs (plain or .gz)"),
        textOption("suffix", ".dat", "training data file of a data set: its name + suffix"),
        textOption("tallis", "auto", "tallis program; auto: the one beside this program"),
        textOption("positives", "0.5", "share of failed and cancelled jobs (tallis -p)")},
       runMakeDataSets},
  };
  return table;
}

void printProgramHelp(std::ostream& out) {
  out << "Usage: " << kProgram << " COMMAND [--option VALUE | --option=VALUE ...]\n"
      << "       " << kProgram << " COMMAND --help\n\n"
      << "Trains series of networks for a fixed number of iterations and writes the seconds\n"
      << "per iteration to semicolon-separated result files.\n\nCommands:\n";
  for (const Command& command : commands()) {
    std::string name = std::string("  ") + command.name;
    name.resize(20, ' ');
    out << name << command.summary << "\n";
  }
  out << "\nTrainer types (--type):";
  for (int type = 0; type < kTrainerTypeCount; ++type) {
    out << (type == 0 ? " " : type == 4 ? ",\n  " : ", ") << type << " " << trainerName(type);
  }
  out << ".\nThe drivers (pso-*, bp-neurons) read fixed file names from the working directory;\n"
      << "make-data writes them. The OpenCL trainers read NN_kernels.cl from the working\n"
      << "directory, or else from the installation (PREFIX/share/ombra for PREFIX/bin).\n"
      << "\nExit status: 0 done; " << kUsageStatus
      << " bad arguments (nothing run); 1 make-data failed;\n"
      << "otherwise the status of the failing step, as in ombra (255 for most).\n"
      << std::flush;
}

void printCommandHelp(const Command& command, std::ostream& out) {
  out << "Usage: " << kProgram << " " << command.name << " [options]\n\n"
      << command.summary << ".\n\nOptions:\n"
      << optionsHelp(command.options) << "  --help                  this text\n"
      << std::flush;
}

int usageError(const std::string& message, const std::string& hint) {
  std::cerr << kProgram << ": " << message << "\n"
            << "Try '" << kProgram << hint << " --help'." << std::endl;
  return kUsageStatus;
}

}  // namespace

int runTimings(int argc, const char* const* argv) {
  if (argc < 2) return usageError("missing command", "");
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    printProgramHelp(std::cout);
    return kTimingsDoneStatus;
  }
  if (name == "--version") {
    std::cout << kProgram << " " << kVersion << std::endl;
    return kTimingsDoneStatus;
  }
  for (const Command& command : commands()) {
    if (name != command.name) continue;
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (asksForHelp(args)) {
      printCommandHelp(command, std::cout);
      return kTimingsDoneStatus;
    }
    ParsedOptions options;
    try {
      options = parseCommandOptions(args, command.options);
    } catch (const UsageError& error) {
      return usageError(std::string(command.name) + ": " + error.what(),
                        std::string(" ") + command.name);
    }
    return command.run(options);
  }
  return usageError("unknown command '" + name + "'", "");
}
