#include "trainers/bp.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <memory>
#include <typeinfo>

#include "trainers/bp_epoch.h"
#include "trainers/selection.h"
#include "trainers/stopwatch.h"
#include "trainers/termination.h"

NN_BP::NN_BP(const std::string& configurationFileName, const std::string& trainingDataFileName,
             const std::string& parametersFileName)
    : NN(configurationFileName, trainingDataFileName) {
  if (!parametersFileName.empty()) parameters = readBPParameters(parametersFileName);
  weights.assign(numberOfWeights(), 0.0f);
  outputs.assign(maxLayerSize(), 0.0f);
  deltas.assign(maxLayerSize(), 0.0f);
  nextDeltas.assign(maxLayerSize(), 0.0f);
  activations.assign(numberOfNeurons(), 0.0f);
  deltaWeights.assign(numberOfWeights(), 0.0f);
}

NN_BP::~NN_BP() = default;

// The weights the validation checks keep, and the figures the progress line shows.
struct ValidationRecord {
  float bestError = FLT_MAX;  // lowest validation MSE so far (also the MSE limit's figure)
  double lastError = FLT_MAX;
  double bestAuc = -1;  // highest validation ROC AUC so far ("Select by AUC")
  double lastAuc = std::nan("");
  std::vector<float> weights;
  bool taken = false;
};

double NN_BP::train() {
  requireTerminatingCondition(parameters.iterations, parameters.mse, parameters.time);
  requireTrainableParameters(parameters);
  requireReachableLimit(parameters.iterations, parameters.mse, parameters.time,
                        numberOfValidationSamples());
  if (parameters.options.ranksByAuc()) requireRankableSamples(validationTargets, outputSize());
  seedRandomDraws(parameters.options);
  Stopwatch total;
  total.start();
  Stopwatch training;

  initializeWeights();
  ValidationRecord record;
  record.weights = weights;
  if (parameters.momentum) velocities.assign(weights.size(), 0.0f);
  fused = fusedEpoch();
  // The sample order of an epoch; empty: file order.
  std::vector<int> order;
  if (parameters.shuffle.value_or(false)) {
    order.resize(numberOfTrainingSamples());
    for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  }

  training.start();
  int epoch = 0;
  while (!trainingShouldEnd(record.bestError, epoch, total.elapsed(), parameters.iterations,
                            parameters.mse, parameters.time)) {
    if (!order.empty()) shuffleOrder(order);
    trainEpoch(order);
    ++epoch;
    if (epoch % parameters.stripLength == 0 && numberOfValidationSamples() > 0)
      checkValidation(record, epoch);
    if (epoch % 100 == 0) printEpochProgress(record, epoch);
    showEpochProgress(record, epoch, total.elapsed());
  }
  clearTrainingProgress();

  training.stop();
  fused.reset();
  finishTraining();
  // Without an improving validation check the best copy still holds the random initial
  // weights; the weights trained last are then the better answer.
  if (record.taken) weights = record.weights;
  requireFiniteWeights(weights.data(), numberOfWeights(), epoch, "epoch");
  return training.elapsed();
}

std::unique_ptr<BPEpoch> NN_BP::fusedEpoch() {
  // The fused epoch is bit-identical to the four steps, so it may stand in for them only
  // while they are this class's own: a derived class that replaces a step (the OpenCL
  // trainer) always runs the steps. Momentum keeps a velocity per weight, which only the
  // steps do.
  if (typeid(*this) != typeid(NN_BP) || parameters.momentum) return nullptr;
  return std::unique_ptr<BPEpoch>(
      new BPEpoch(layers, trainingTargets, outputRanges, parameters.learningRate, outputError()));
}

void NN_BP::trainEpoch(const std::vector<int>& order) {
  const int samples = numberOfTrainingSamples();
  int first = 0;
  if (fused != nullptr && samples > 0) {
    // All but the last sample in the fused form; the last through the steps, so the working
    // arrays end the epoch exactly as the steps leave them.
    first = samples - 1;
    fused->run(weights.data(), trainingInputs.data(), first,
               order.empty() ? nullptr : order.data());
  }
  for (int k = first; k < samples; ++k) {
    const int i = order.empty() ? k : order[k];
    initializeDeltaWeights();
    propagateForward(trainingInputs, i);
    propagateBackwards(trainingTargets, i);
    applyDeltaWeights();
  }
}

void NN_BP::checkValidation(ValidationRecord& record, int epoch) {
  if (parameters.options.ranksByAuc()) {
    std::vector<float> scores(validationTargets.size());
    const int m = outputSize();
    for (int i = 0; i < numberOfValidationSamples(); ++i) {
      simulateSample(validationInputs, i);
      std::copy(outputs.begin(), outputs.begin() + m, scores.begin() + static_cast<size_t>(i) * m);
    }
    // A weight that is not a finite number makes the outputs nan: stop at once.
    if (!std::all_of(scores.begin(), scores.end(), [](float x) { return std::isfinite(x); }))
      requireFiniteWeights(weights.data(), numberOfWeights(), epoch, "epoch");
    record.lastAuc =
        meanRocAuc(scores.data(), validationTargets.data(), numberOfValidationSamples(), m);
    if (record.lastAuc > record.bestAuc) {
      record.weights = weights;
      record.taken = true;
      record.bestAuc = record.lastAuc;
    }
    return;
  }
  const double v = computeMSE(validationInputs, validationTargets);
  // A weight that is not a finite number makes every error nan: stop at once.
  if (!std::isfinite(v)) requireFiniteWeights(weights.data(), numberOfWeights(), epoch, "epoch");
  record.lastError = v;
  if (record.bestError > v) {
    record.weights = weights;
    record.taken = true;
    record.bestError = static_cast<float>(v);
  }
}

void NN_BP::showEpochProgress(const ValidationRecord& record, int epoch, double seconds) const {
  const bool auc = parameters.options.ranksByAuc();
  const double best = auc ? record.bestAuc : record.bestError < FLT_MAX ? record.bestError : -1;
  showTrainingProgress("epoch", epoch, parameters.iterations, seconds, parameters.time,
                       auc ? "AUC" : "MSE", best);
}

void NN_BP::printEpochProgress(const ValidationRecord& record, int epoch) {
  const double t = computeMSE(trainingInputs, trainingTargets);
  if (!std::isfinite(t)) requireFiniteWeights(weights.data(), numberOfWeights(), epoch, "epoch");
  if (parameters.options.ranksByAuc()) {
    printAucProgress(epoch, t, record.lastAuc, record.bestAuc);
  } else {
    printProgress(epoch, t, record.lastError, record.bestError);
  }
}

OutputError NN_BP::outputError() const {
  OutputError error;
  error.crossEntropy = parameters.crossEntropy.value_or(false);
  error.weighted = parameters.positiveWeight.has_value();
  error.positiveWeight = parameters.positiveWeight.value_or(1.0f);
  return error;
}

double NN_BP::timeIterations(int n) {
  return secondsPerIteration(parameters, n, [this] { return train(); });
}

void NN_BP::printInfo() {
  NN::printInfo();
  printParameters(parameters);
}

void NN_BP::simulateSample(const std::vector<float>& inputs, int index) {
  propagateForward(inputs, index);
}

double NN_BP::computeMSE(const std::vector<float>& inputs, const std::vector<float>& targets) {
  const int n = numberOfSamples(inputs);
  const int m = outputSize();
  float sum = 0.0f;
  for (int i = 0; i < n; ++i) {
    simulateSample(inputs, i);
    for (int j = 0; j < m; ++j) {
      float difference = outputs[j] - targets[static_cast<size_t>(i) * m + j];
      sum = sum + difference * difference;
    }
  }
  return sum / static_cast<float>(targets.size());
}

void NN_BP::initializeWeights() {
  fillUniform(weights.data(), static_cast<int>(weights.size()), parameters.lowerLimit,
              parameters.upperLimit);
}

void NN_BP::initializeDeltaWeights() {
  const int count = numberOfWeights();
  for (int k = 0; k < count; ++k) deltaWeights[k] = 0.0f;
}

void NN_BP::propagateForward(const std::vector<float>& inputs, int index) {
  feedForwardWithActivations(inputs.data() + static_cast<size_t>(index) * inputSize(),
                             weights.data(), outputs.data(), activations.data());
}

void NN_BP::propagateBackwards(const std::vector<float>& targets, int index) {
  const int L = numberOfLayers();
  const float eta = parameters.learningRate;
  const float* target = targets.data() + static_cast<size_t>(index) * outputSize();

  // Offsets of the last layer's activations and weight blocks.
  int activationOffset = numberOfNeurons() - layers[L - 1];
  int weightOffset = numberOfWeights() - layers[L - 1] * (layers[L - 2] + 1);

  // Output layer: delta = a(1 - a)(t' - a), t' the target scaled to [0, 1], or as the
  // options ask (outputDelta).
  const OutputError error = outputError();
  for (int k = 0; k < layers[L - 1]; ++k) {
    float a = activations[activationOffset + k];
    float t = scaledTargetValue(target[k], outputRanges[2 * k], outputRanges[2 * k + 1]);
    deltas[k] = outputDelta(a, t, isPositive(target[k]), error);
  }

  for (int l = L - 1; l >= 1; --l) {
    const int count = layers[l];
    const int below = layers[l - 1];
    const float* a = activations.data() + activationOffset - below;  // layer l-1
    if (l < L - 1) {
      // Hidden layer l: s_j = sum over k in ascending order of nextDeltas[k] * w_kj, with
      // w_kj the current weight from neuron j to neuron k of layer l+1. Accumulated k-outer
      // so that the inner loop runs over j (contiguous) while every s_j keeps its order.
      const int above = layers[l + 1];
      const float* w = weights.data() + weightOffset + count * (below + 1);  // layer l+1
      for (int k = 0; k < above; ++k) nextDeltas[k] = deltas[k];
      float* s = deltas.data();
      for (int j = 0; j < count; ++j) s[j] = 0.0f;
      for (int k = 0; k < above; ++k) {
        const float d = nextDeltas[k];
        const float* row = w + k * (count + 1) + 1;
        for (int j = 0; j < count; ++j) s[j] = s[j] + d * row[j];
      }
      const float* own = activations.data() + activationOffset;
      for (int j = 0; j < count; ++j) s[j] = s[j] * (own[j] * (1.0f - own[j]));
    }
    // Weight changes of layer l: eta * delta on the bias, eta * delta * input on each weight.
    for (int k = 0; k < count; ++k) {
      const float change = eta * deltas[k];
      float* block = deltaWeights.data() + weightOffset + k * (below + 1);
      block[0] += change;
      for (int i = 0; i < below; ++i) block[1 + i] += change * a[i];
    }
    if (l > 1) {
      activationOffset -= below;
      weightOffset -= below * (layers[l - 2] + 1);
    }
  }
}

void NN_BP::applyDeltaWeights() {
  const int count = numberOfWeights();
  if (!velocities.empty()) {
    // With momentum: velocity = momentum * velocity + change; weight += velocity.
    const float momentum = *parameters.momentum;
    for (int k = 0; k < count; ++k) {
      velocities[k] = momentum * velocities[k] + deltaWeights[k];
      weights[k] = weights[k] + velocities[k];
    }
    return;
  }
  for (int k = 0; k < count; ++k) weights[k] = weights[k] + deltaWeights[k];
}

void NN_BP::finishTraining() {}

void NN_BP::feedForwardWithActivations(const float* scaledInput, const float* weightArray,
                                       float* result, float* record) {
  const int L = numberOfLayers();
  for (int j = 0; j < inputSize(); ++j) record[j] = scaledInput[j];
  int recorded = inputSize();
  // Same buffer scheme as feedForward: the output layer always writes result.
  const float* in = scaledInput;
  const float* blocks = weightArray;
  for (int l = 1; l < L; ++l) {
    float* out = (L - l) % 2 == 1 ? result : scratchBuffer.data();
    propagateLayer(in, blocks, out, layers[l - 1], layers[l]);
    for (int i = 0; i < layers[l]; ++i) record[recorded + i] = out[i];
    recorded += layers[l];
    blocks += layers[l] * (layers[l - 1] + 1);
    in = out;
  }
  for (int j = 0; j < outputSize(); ++j) {
    const float low = outputRanges[2 * j];
    const float high = outputRanges[2 * j + 1];
    result[j] = low + (high - low) * result[j];
  }
}
