#include "experiments/timing.h"

#include <cerrno>
#include <fstream>
#include <initializer_list>
#include <iostream>

#include "common/fatal.h"
#include "common/file_contents.h"
#include "common/memory_limit.h"
#include "common/ombra_status.h"
#include "experiments/network_factory.h"
#include "nn/replace_file.h"

namespace {

// ": <why>" for a file that could not be opened just now, or nothing when errno does not say.
std::string reasonText() {
  const std::string reason = systemReason(errno);
  return reason.empty() ? "" : ": " + reason;
}

const char kLayersConfigFile[] = "nn_config_file_num_layers_timing.txt";
const char kNeuronsConfigFile[] = "nn_config_file_neur_in_layer_timing.txt";

// A range that is not empty must move towards its end, or the experiment never ends.
// Checked before the result file is replaced.
void checkStep(int first, int step, int last) {
  if (first <= last && step < 1) {
    fatal("Wrong range step: " + std::to_string(step) + " from " + std::to_string(first) + " to " +
              std::to_string(last) + " (at least 1)",
          ombra_status::kFailure);
  }
}

// limitTrainingSamples cannot add samples: a larger count would time the network on rows
// of zeros that are not in the file, and a negative one cannot be kept.
void limitSamples(NN& network, int n) {
  if (n < 0 || n > network.numberOfTrainingSamples()) {
    fatal("Wrong number of training samples: " + std::to_string(n) + " asked of the " +
              std::to_string(network.numberOfTrainingSamples()) + " the network holds",
          ombra_status::kFailure);
  }
  network.limitTrainingSamples(n);
}

// An experiment's result file. It is replaced only when the first measurement is there (or
// the range turns out empty), so a run that fails before it (a missing training data file, a
// network the device refuses) leaves the previous results as they were; every line then
// reaches the file as it is measured. Whether it can be written at all is checked at once,
// before any network is built, with the experiment's own message.
class ResultFile {
 public:
  ResultFile(const std::string& name, const char* header, const char* openError)
      : name_(name), header_(header), openError_(openError) {
    std::string reason;
    if (!isReplaceable(name_, FileKind::timingResult, &reason)) {
      fatal(openError_ + (reason.empty() ? "" : ": " + name_ + ": " + reason),
            ombra_status::kFailure);
    }
  }
  void add(int n, double seconds) {
    open();
    file_ << n << ";" << seconds << "\n" << std::flush;
  }
  // An empty range: the header alone.
  void finish() { open(); }

 private:
  void open() {
    if (file_.is_open()) return;
    errno = 0;
    file_.open(name_);
    if (!file_) fatal(openError_ + (": " + name_) + reasonText(), ombra_status::kFailure);
    file_ << header_ << "\n" << std::flush;
  }
  std::string name_;
  const char* header_;
  const char* openError_;
  std::ofstream file_;
};

// The largest network of a range, (inputs, hiddenLayers x neurons, outputs), must be one that
// the configuration file may describe; checked before anything is built, so that a mistyped
// count ends with a message, not with all the machine's memory. Counted without overflow.
void checkLargestNetwork(int inputs, long long hiddenLayers, long long neurons, int outputs) {
  const double weights = hiddenLayers <= 0 ? (inputs + 1.0) * outputs
                                           : (inputs + 1.0) * neurons +
                                                 (hiddenLayers - 1.0) * (neurons + 1.0) * neurons +
                                                 (neurons + 1.0) * outputs;
  if (weights <= kMaxWeights) return;
  fatal("Wrong range: " + std::to_string(hiddenLayers) + " hidden layers of " +
            std::to_string(neurons) + " neurons exceed the " + std::to_string(kMaxWeights) +
            " weights a network may have",
        ombra_status::kFailure);
}

// The experiments that write each topology to a file of their own: neither that file nor the
// result file may be one of the inputs, nor each other.
void refuseOverwrittenInputs(const std::string& resultFile, const char* topologyFile,
                             const std::string& dataFile, const std::string& parametersFile) {
  const NamedFile data{"training data file", dataFile};
  const NamedFile parameters{"parameters file", parametersFile};
  const std::string topologyName = topologyFile;
  const NamedFile topology{"configuration file the experiment writes", topologyName};
  refuseSameFile({"result file", resultFile}, {data, parameters, topology});
  refuseSameFile(topology, {data, parameters});
}

// The last value a range reaches from first in steps of step (first when the range is empty).
long long lastOfRange(int first, int step, int last) {
  if (first > last || step < 1) return first;
  return first + (static_cast<long long>(last) - first) / step * step;
}

}  // namespace

void refuseSameFile(const NamedFile& output, std::initializer_list<NamedFile> inputs) {
  for (const NamedFile& input : inputs) {
    if (sameFile(output.name, input.name)) {
      fatal(std::string("The ") + output.role + " " + output.name + " is the same file as the " +
                input.role + " " + input.name,
            ombra_status::kFailure);
    }
  }
}

void growHiddenLayers(std::vector<int>& layers, int hiddenLayers, int hiddenNeurons,
                      int outputNeurons) {
  while (static_cast<int>(layers.size()) <= hiddenLayers + 1) {
    layers.back() = hiddenNeurons;
    layers.push_back(outputNeurons);
  }
}

std::string configurationText(const std::vector<int>& layers) {
  std::string text;
  for (int size : layers) text += std::to_string(size) + " ";
  return text;
}

void writeConfiguration(const std::string& fileName, const std::vector<int>& layers,
                        const std::string& openError) {
  errno = 0;
  std::ofstream file(fileName);
  if (!file) fatal(openError + ": " + fileName + reasonText(), ombra_status::kFailure);
  file << configurationText(layers);
  // The network reads the file right after this: it must be complete on disk.
  file.close();
}

void timeNumberOfLayers(LayerTimingSettings settings) {
  checkStep(settings.first, settings.step, settings.last);
  const long long largest = lastOfRange(settings.first, settings.step, settings.last);
  checkLargestNetwork(settings.inputNeurons, largest, settings.hiddenNeurons,
                      settings.outputNeurons);
  refuseOverwrittenInputs(settings.csvFile, kLayersConfigFile, settings.trainingDataFile,
                          settings.parametersFile);
  ResultFile csv(settings.csvFile, "layers;time (s)",
                 "Error opening output file (num layers timings)");

  // Only grows from one count to the next: the layers already there keep their size.
  std::vector<int> layers{settings.inputNeurons, settings.outputNeurons};
  // Counted in a wider type so that a range ending near the largest int still ends.
  for (long long count = settings.first; count <= settings.last; count += settings.step) {
    const int n = static_cast<int>(count);
    std::cout << "i=" << n << " " << std::flush;
    growHiddenLayers(layers, n, settings.hiddenNeurons, settings.outputNeurons);
    writeConfiguration(kLayersConfigFile, layers, "Error opening config file (num layers timings)");
    OwnedNetwork network = makeNetwork(settings.type, kLayersConfigFile, settings.trainingDataFile,
                                       settings.parametersFile);
    limitSamples(*network, settings.trainingSamples);
    const double seconds = network->timeIterations(settings.iterations);
    network.reset();
    csv.add(n, seconds);
    std::cout << seconds << std::endl;
  }
  csv.finish();
}

void timeNeuronsInLayer(NeuronTimingSettings settings) {
  checkStep(settings.first, settings.step, settings.last);
  const long long largest = lastOfRange(settings.first, settings.step, settings.last);
  checkLargestNetwork(settings.inputNeurons, settings.hiddenLayers, largest,
                      settings.outputNeurons);
  refuseOverwrittenInputs(settings.csvFile, kNeuronsConfigFile, settings.trainingDataFile,
                          settings.parametersFile);
  ResultFile csv(settings.csvFile, "neurons in layer;time (s)",
                 "Error opening output file file (num neurons in layer timings)");

  for (long long count = settings.first; count <= settings.last; count += settings.step) {
    const int n = static_cast<int>(count);
    std::cout << "i=" << n << " " << std::flush;
    std::vector<int> layers{settings.inputNeurons};
    // A negative layer count means no hidden layer, not a huge unsigned one.
    layers.insert(layers.end(), settings.hiddenLayers > 0 ? settings.hiddenLayers : 0, n);
    layers.push_back(settings.outputNeurons);
    writeConfiguration(kNeuronsConfigFile, layers,
                       "Error opening config file (num neurons in layer timings)");
    OwnedNetwork network = makeNetwork(settings.type, kNeuronsConfigFile, settings.trainingDataFile,
                                       settings.parametersFile);
    limitSamples(*network, settings.trainingSamples);
    const double seconds = network->timeIterations(settings.iterations);
    csv.add(n, seconds);
    std::cout << seconds << "   total weights=" << network->numberOfWeights() << std::endl;
    network.reset();
  }
  csv.finish();
}

void timeSampleSize(int type, int first, int step, int last, const std::string& csvFile,
                    int iterations, const std::string& configFile,
                    const std::string& trainingDataFile, const std::string& parametersFile) {
  checkStep(first, step, last);
  refuseSameFile({"result file", csvFile}, {{"configuration file", configFile},
                                            {"training data file", trainingDataFile},
                                            {"parameters file", parametersFile}});
  ResultFile csv(csvFile, "samples; time (s)", "Error opening file (sample size stats)");
  OwnedNetwork network = makeNetwork(type, configFile, trainingDataFile, parametersFile);

  // Descending, so that each cut only drops samples the previous measurement still had.
  for (long long count = last; count >= first; count -= step) {
    const int n = static_cast<int>(count);
    std::cout << "i = " << n << std::endl;
    limitSamples(*network, n);
    const double seconds = network->timeIterations(iterations);
    csv.add(n, seconds);
  }
  network.reset();  // after the last measurement, before the result file is closed
  csv.finish();
}
