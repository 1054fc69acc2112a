#pragma once

#include <string>
#include <vector>

class ReplacedFile;

// The confusion counts of the test samples: every output of every sample is one count, and a
// value above 0.5 (isPositive) is positive, for the target and for the output alike.
struct ConfusionCounts {
  int positives = 0;
  int negatives = 0;
  int truePositives = 0;
  int falsePositives = 0;
  int trueNegatives = 0;
  int falseNegatives = 0;
};

// A fully connected feed-forward network of logistic neurons.
//
// Weight layout: layer 1 first, then layer 2, ... up to the output layer. Within
// layer l, neuron i owns a block of layers[l-1] + 1 floats: its bias, then its
// weights on neurons 0, 1, ... of layer l-1. Inputs are stored scaled to [-1, 1],
// targets in data units; outputs are reported in data units.
//
// Every trainer derives from NN virtually, so a network object has exactly one NN part.
class NN {
 public:
  NN(const std::string& configurationFileName, const std::string& trainingDataFileName);
  virtual ~NN();
  NN(const NN&) = delete;
  NN& operator=(const NN&) = delete;

  // Trains the weights; returns the training time in seconds.
  virtual double train() = 0;
  // Trains for exactly n iterations with the other limits off; returns seconds per iteration.
  virtual double timeIterations(int n) = 0;
  virtual void printInfo();

  int inputSize() const { return layers.front(); }
  int outputSize() const { return layers.back(); }
  int numberOfLayers() const { return static_cast<int>(layers.size()); }
  int layerSize(int i) const { return layers[i]; }
  int numberOfWeights() const;
  int numberOfNeurons() const;
  int maxLayerSize() const;
  int numberOfSamples(const std::vector<float>& inputs) const {
    return static_cast<int>(inputs.size() / inputSize());
  }
  int numberOfTargetSamples(const std::vector<float>& targets) const {
    return static_cast<int>(targets.size() / outputSize());
  }
  int numberOfTrainingSamples() const { return numberOfSamples(trainingInputs); }
  int numberOfValidationSamples() const { return numberOfSamples(validationInputs); }
  int numberOfTestSamples() const { return numberOfSamples(testInputs); }

  static float sigmoid(float x);
  // One layer: output[i] = sigmoid(bias_i + sum_j input[j] * w_ij), the sum taken in j order.
  static void propagateLayer(const float* input, const float* blocks, float* output, int inputCount,
                             int neuronCount);
  // One forward pass; result must hold maxLayerSize() floats and must not be scratchBuffer.
  // On return result[0 .. outputSize()-1] holds the outputs in data units. Allocates nothing.
  void feedForward(const float* scaledInput, const float* weightArray, float* result);

  // Scales every row of raw input vectors in place to [-1, 1]; returns a copy.
  std::vector<float> scaleInputs(std::vector<float>& inputs) const;
  // The first outputSize() values of one target vector scaled to [0, 1].
  std::vector<float> scaleTarget(const float* target) const;
  std::vector<float> scaleTarget(const std::vector<float>& target) const {
    return scaleTarget(target.data());
  }
  std::vector<float> computeOutputs(const float* scaledInput);
  std::vector<float> predict(std::vector<float> input);
  void limitTrainingSamples(int n);

  // Evaluation.
  float meanSquaredError(const std::vector<float>& inputs, const std::vector<float>& targets);
  float testMeanSquaredError();
  ConfusionCounts testConfusionCounts();
  // Prints the three lines of the counts; returns true positives over positives (nan when the
  // test samples hold no positive target).
  float truePositiveRate();
  static bool isPositive(float value) { return value > 0.5f; }
  void writeLiftChart(const std::string& fileName);

  // Network file: little-endian, no header (see network_file.cpp).
  void save(const std::string& fileName) const;
  // The same bytes into a file opened before the training (nn/replace_file.h).
  void save(ReplacedFile& file) const;

 protected:
  NN();  // every member empty, no buffers: for NN_reloaded
  void readConfiguration(const std::string& fileName);
  void readTrainingData(const std::string& fileName);
  // Reads the text of a training data file held in memory (every step after opening it).
  void parseTrainingData(const char* begin, const char* end);
  void allocateBuffers();
  // The parts of the information block shared with NN_reloaded.
  void printInfoTitle();
  void printTopologyInfo();

  std::vector<float> weights;
  std::vector<float> trainingInputs;
  std::vector<float> validationInputs;
  std::vector<float> testInputs;
  std::vector<float> trainingTargets;
  std::vector<float> validationTargets;
  std::vector<float> testTargets;
  std::vector<float> outputs;
  std::vector<float> inputRanges;   // min, max per input
  std::vector<float> outputRanges;  // min, max per output
  std::vector<int> layers;
  // The files read, named in messages ("" where none was read or the text came from memory).
  std::string configurationSource;
  std::string trainingDataSource;
  // The two buffers feedForward alternates between, maxLayerSize() floats each (empty before
  // allocateBuffers); their storage is passed on as plain float arrays.
  std::vector<float> outputBuffer;
  std::vector<float> scratchBuffer;
};
