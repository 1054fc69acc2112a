#pragma once

#include <initializer_list>
#include <string>
#include <vector>

// Timing experiments: each builds networks through createNetwork, trains them for a fixed
// number of iterations with timeIterations and writes "count;seconds per iteration" lines to
// a semicolon-separated result file (replaced), one line per measurement, after a header.
// Every line is flushed as it is written, so a run that fails later keeps what it measured.

struct LayerTimingSettings {
  int type;   // network type number (see network_factory.h)
  int first;  // hidden-layer counts first, first + step, ... up to last
  int step;
  int last;
  int hiddenNeurons;  // neurons in every hidden layer
  std::string csvFile;
  int iterations;  // passed to timeIterations
  int inputNeurons;
  int outputNeurons;
  std::string trainingDataFile;
  std::string parametersFile;
  int trainingSamples;  // passed to limitTrainingSamples
};

struct NeuronTimingSettings {
  int type;
  int first;  // neurons per hidden layer first, first + step, ... up to last
  int step;
  int last;
  std::string csvFile;
  int iterations;
  int inputNeurons;
  int outputNeurons;
  std::string trainingDataFile;
  std::string parametersFile;
  int trainingSamples;
  int hiddenLayers;
};

// Result "layers;time (s)"; each topology goes to nn_config_file_num_layers_timing.txt.
void timeNumberOfLayers(LayerTimingSettings settings);
// Result "neurons in layer;time (s)"; topology in nn_config_file_neur_in_layer_timing.txt.
void timeNeuronsInLayer(NeuronTimingSettings settings);
// One network, its training set cut to last, last - step, ... down to first samples.
void timeSampleSize(int type, int first, int step, int last, const std::string& csvFile,
                    int iterations, const std::string& configFile,
                    const std::string& trainingDataFile, const std::string& parametersFile);

// The pieces of the experiments above.

// A file an experiment reads or writes, with what it is for messages ("training data file").
struct NamedFile {
  const char* role;
  const std::string& name;
};
// An output that is also one of the inputs would destroy it: fatal (-1) "The <role> <name> is
// the same file as the <role> <name>" when both exist and are one file (links count).
void refuseSameFile(const NamedFile& output, std::initializer_list<NamedFile> inputs);

// Grows a topology (input layer first) until it has hiddenLayers hidden layers: while it has
// at most hiddenLayers + 1 layers, its last entry becomes hiddenNeurons and outputNeurons is
// appended. A topology that already has as many hidden layers or more is left alone.
void growHiddenLayers(std::vector<int>& layers, int hiddenLayers, int hiddenNeurons,
                      int outputNeurons);
// Every size followed by one space, on one line, without a line break.
std::string configurationText(const std::vector<int>& layers);
// Writes configurationText to fileName (replaced); a file that cannot be opened is fatal
// with openError, exit status -1.
void writeConfiguration(const std::string& fileName, const std::vector<int>& layers,
                        const std::string& openError);
