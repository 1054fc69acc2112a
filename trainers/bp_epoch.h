#pragma once

#include <vector>

// A target in data units scaled to [0, 1] with its output range: t' = (t - min) / (max - min).
inline float scaledTargetValue(float target, float low, float high) {
  return (target - low) / (high - low);
}

// One epoch of on-line back-propagation with the four per-sample steps of NN_BP fused:
// forward pass, error terms and weight changes applied at once. Every float it stores is
// bit-identical to what initializeDeltaWeights, propagateForward, propagateBackwards and
// applyDeltaWeights produce, because each sum keeps its order and each weight still receives
// 0 + (eta * delta) * input, the one change a sample makes to it. Only the work is arranged
// differently: the forward sums run across the neurons of a layer over a neuron-interleaved
// copy of the weights, and the hidden error terms and the weight changes of a layer share one
// pass over its weight blocks.
class BPEpoch {
 public:
  // layers: neurons per layer, input layer first; targets: the training targets in data
  // units, scaled once here with outputRanges.
  BPEpoch(const std::vector<int>& layers, const std::vector<float>& targets,
          const std::vector<float>& outputRanges, float learningRate);

  // Trains on samples 0 .. count-1 of inputs (scaled rows), in order, changing weights
  // (standard layout) in place. activations (one record of every neuron) is working storage
  // and holds the record of the last sample afterwards.
  void run(float* weights, const float* inputs, int count, float* activations);

 private:
  std::vector<int> layers;
  std::vector<int> weightOffsets;      // per layer l >= 1: its first weight block
  std::vector<int> activationOffsets;  // per layer: its first entry in an activation record
  std::vector<int> transposedOffsets;  // per layer l >= 1: its rows in transposed
  // Per layer l >= 1, layers[l-1] + 1 rows of layers[l] floats: row 0 the biases, row 1 + j
  // the weights on neuron j of layer l-1, neuron after neuron.
  std::vector<float> transposed;
  std::vector<float> scaledTargets;
  std::vector<float> deltas;
  std::vector<float> sums;
  std::vector<float> changes;
  float learningRate;
};
