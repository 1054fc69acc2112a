#include "experiments/timing.h"

#include <fstream>
#include <iostream>

#include "experiments/network_factory.h"
#include "nn/fatal.h"

namespace {

const char kLayersConfigFile[] = "nn_config_file_num_layers_timing.txt";
const char kNeuronsConfigFile[] = "nn_config_file_neur_in_layer_timing.txt";

// A range that is not empty must move towards its end, or the experiment never ends.
// Checked before the result file is replaced.
void checkStep(int first, int step, int last) {
  if (first <= last && step < 1) fatal("Wrong range step", -1);
}

// limitTrainingSamples cannot add samples: a larger count would time the network on rows
// of zeros that are not in the file, and a negative one cannot be kept.
void limitSamples(NN& network, int n) {
  if (n < 0 || n > network.numberOfTrainingSamples()) {
    fatal("Wrong number of training samples", -1);
  }
  network.limitTrainingSamples(n);
}

void writeResult(std::ofstream& csv, int n, double seconds) {
  csv << n << ";" << seconds << "\n" << std::flush;
}

}  // namespace

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
  std::ofstream file(fileName);
  if (!file) fatal(openError, -1);
  file << configurationText(layers);
  // The network reads the file right after this: it must be complete on disk.
  file.close();
}

void timeNumberOfLayers(LayerTimingSettings settings) {
  checkStep(settings.first, settings.step, settings.last);
  std::ofstream csv(settings.csvFile);
  if (!csv) fatal("Error opening output file (num layers timings)", -1);
  csv << "layers;time (s)\n" << std::flush;

  // Only grows from one count to the next: the layers already there keep their size.
  std::vector<int> layers{settings.inputNeurons, settings.outputNeurons};
  // Counted in a wider type so that a range ending near the largest int still ends.
  for (long long count = settings.first; count <= settings.last; count += settings.step) {
    const int n = static_cast<int>(count);
    std::cout << "i=" << n << " " << std::flush;
    growHiddenLayers(layers, n, settings.hiddenNeurons, settings.outputNeurons);
    writeConfiguration(kLayersConfigFile, layers, "Error opening config file (num layers timings)");
    NN* network = createNetwork(settings.type, kLayersConfigFile, settings.trainingDataFile,
                                settings.parametersFile);
    limitSamples(*network, settings.trainingSamples);
    const double seconds = network->timeIterations(settings.iterations);
    destroyNetwork(settings.type, network);
    writeResult(csv, n, seconds);
    std::cout << seconds << std::endl;
  }
}

void timeNeuronsInLayer(NeuronTimingSettings settings) {
  checkStep(settings.first, settings.step, settings.last);
  std::ofstream csv(settings.csvFile);
  if (!csv) fatal("Error opening output file file (num neurons in layer timings)", -1);
  csv << "neurons in layer;time (s)\n" << std::flush;

  for (long long count = settings.first; count <= settings.last; count += settings.step) {
    const int n = static_cast<int>(count);
    std::cout << "i=" << n << " " << std::flush;
    std::vector<int> layers{settings.inputNeurons};
    // A negative layer count means no hidden layer, not a huge unsigned one.
    layers.insert(layers.end(), settings.hiddenLayers > 0 ? settings.hiddenLayers : 0, n);
    layers.push_back(settings.outputNeurons);
    writeConfiguration(kNeuronsConfigFile, layers,
                       "Error opening config file (num neurons in layer timings)");
    NN* network = createNetwork(settings.type, kNeuronsConfigFile, settings.trainingDataFile,
                                settings.parametersFile);
    limitSamples(*network, settings.trainingSamples);
    const double seconds = network->timeIterations(settings.iterations);
    writeResult(csv, n, seconds);
    std::cout << seconds << "   total weights=" << network->numberOfWeights() << std::endl;
    destroyNetwork(settings.type, network);
  }
}

void timeSampleSize(int type, int first, int step, int last, const std::string& csvFile,
                    int iterations, const std::string& configFile,
                    const std::string& trainingDataFile, const std::string& parametersFile) {
  checkStep(first, step, last);
  std::ofstream csv(csvFile);
  if (!csv) fatal("Error opening file (sample size stats)", -1);
  NN* network = createNetwork(type, configFile, trainingDataFile, parametersFile);
  csv << "samples; time (s)\n" << std::flush;

  // Descending, so that each cut only drops samples the previous measurement still had.
  for (long long count = last; count >= first; count -= step) {
    const int n = static_cast<int>(count);
    std::cout << "i = " << n << std::endl;
    limitSamples(*network, n);
    const double seconds = network->timeIterations(iterations);
    writeResult(csv, n, seconds);
  }
  destroyNetwork(type, network);
}
