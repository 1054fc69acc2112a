#include "trainers/bp_epoch.h"

#include <algorithm>

#include "nn/network.h"

namespace {

// Everything the per-sample loop needs, as plain pointers.
struct EpochPlan {
  int numberOfLayers;
  const int* layers;
  const int* weightOffsets;
  const int* activationOffsets;
  const int* transposedOffsets;
  float* transposed;
  const float* scaledTargets;
  float* deltas;
  float* sums;
  float* changes;
  float learningRate;
};

// Forward pass of one layer across its neurons: out_i = sigmoid(b_i + sum_j in_j * w_ij), each
// sum in j order, the neurons side by side over the transposed rows.
inline void forwardLayer(const float* __restrict in, const float* __restrict rows,
                         float* __restrict out, int below, int count) {
  for (int i = 0; i < count; ++i) out[i] = rows[i];
  for (int j = 0; j < below; ++j) {
    const float x = in[j];
    const float* __restrict row = rows + static_cast<long>(1 + j) * count;
    for (int i = 0; i < count; ++i) out[i] = out[i] + x * row[i];
  }
  for (int i = 0; i < count; ++i) out[i] = NN::sigmoid(out[i]);
}

// Layer l's weights in the standard layout: for each neuron k, in ascending k,
// sums_j += delta_k * w_kj with the weight before this sample's change, then
// w_kj += 0 + change_k * a_j (change_k = eta * delta_k).
inline void accumulateAndUpdate(float* __restrict blocks, const float* __restrict delta,
                                const float* __restrict change, const float* __restrict a,
                                float* __restrict sums, int below, int count) {
  for (int j = 0; j < below; ++j) sums[j] = 0.0f;
  for (int k = 0; k < count; ++k) {
    float* __restrict block = blocks + static_cast<long>(k) * (below + 1);
    const float d = delta[k];
    const float c = change[k];
    block[0] = block[0] + (0.0f + c);
    float* __restrict w = block + 1;
    for (int j = 0; j < below; ++j) {
      sums[j] = sums[j] + d * w[j];
      w[j] = w[j] + (0.0f + c * a[j]);
    }
  }
}

// The same changes on the transposed copy: row 0 += 0 + change, row 1 + j += 0 + change * a_j.
inline void updateTransposed(float* __restrict rows, const float* __restrict change,
                             const float* __restrict a, int below, int count) {
  for (int k = 0; k < count; ++k) rows[k] = rows[k] + (0.0f + change[k]);
  for (int j = 0; j < below; ++j) {
    const float x = a[j];
    float* __restrict row = rows + static_cast<long>(1 + j) * count;
    for (int k = 0; k < count; ++k) row[k] = row[k] + (0.0f + change[k] * x);
  }
}

// The loop over samples, compiled once for AVX2 and once for the baseline instruction set;
// the loader picks the clone the processor supports. Contraction to FMA stays off either way.
__attribute__((target_clones("avx2", "default"))) void trainSamples(
    const EpochPlan& plan, float* weights, const float* inputs, int count, float* activations) {
  const int L = plan.numberOfLayers;
  const int* layers = plan.layers;
  const int inputCount = layers[0];
  const int outputCount = layers[L - 1];
  const float eta = plan.learningRate;
  float* deltas = plan.deltas;
  float* changes = plan.changes;
  for (int s = 0; s < count; ++s) {
    const float* input = inputs + static_cast<long>(s) * inputCount;
    for (int j = 0; j < inputCount; ++j) activations[j] = input[j];
    for (int l = 1; l < L; ++l)
      forwardLayer(activations + plan.activationOffsets[l - 1],
                   plan.transposed + plan.transposedOffsets[l],
                   activations + plan.activationOffsets[l], layers[l - 1], layers[l]);

    // Output error terms: delta = a(1 - a)(t' - a).
    const float* target = plan.scaledTargets + static_cast<long>(s) * outputCount;
    const float* out = activations + plan.activationOffsets[L - 1];
    for (int k = 0; k < outputCount; ++k) {
      const float a = out[k];
      deltas[k] = a * (1.0f - a) * (target[k] - a);
    }

    for (int l = L - 1; l >= 1; --l) {
      const int count = layers[l];
      const int below = layers[l - 1];
      const float* a = activations + plan.activationOffsets[l - 1];
      for (int k = 0; k < count; ++k) changes[k] = eta * deltas[k];
      updateTransposed(plan.transposed + plan.transposedOffsets[l], changes, a, below, count);
      if (l == 1) break;  // layer 1's standard-layout copy is written back after the loop
      accumulateAndUpdate(weights + plan.weightOffsets[l], deltas, changes, a, plan.sums, below,
                          count);
      for (int j = 0; j < below; ++j) deltas[j] = plan.sums[j] * (a[j] * (1.0f - a[j]));
    }
  }
}

}  // namespace

BPEpoch::BPEpoch(const std::vector<int>& layers, const std::vector<float>& targets,
                 const std::vector<float>& outputRanges, float learningRate)
    : layers(layers), learningRate(learningRate) {
  const int L = static_cast<int>(layers.size());
  weightOffsets.assign(L, 0);
  activationOffsets.assign(L, 0);
  transposedOffsets.assign(L, 0);
  int weightCount = 0;
  int neuronCount = layers[0];
  int widest = layers[0];
  for (int l = 1; l < L; ++l) {
    weightOffsets[l] = weightCount;
    transposedOffsets[l] = weightCount;
    activationOffsets[l] = neuronCount;
    weightCount += layers[l] * (layers[l - 1] + 1);
    neuronCount += layers[l];
    widest = std::max(widest, layers[l]);
  }
  transposed.assign(weightCount, 0.0f);
  deltas.assign(widest, 0.0f);
  sums.assign(widest, 0.0f);
  changes.assign(widest, 0.0f);

  const int m = layers[L - 1];
  scaledTargets.resize(targets.size());
  for (size_t i = 0; i < targets.size(); ++i) {
    const int k = static_cast<int>(i % m);
    scaledTargets[i] = scaledTargetValue(targets[i], outputRanges[2 * k], outputRanges[2 * k + 1]);
  }
}

void BPEpoch::run(float* weights, const float* inputs, int count, float* activations) {
  const int L = static_cast<int>(layers.size());
  // The transposed copy is taken afresh: the weights may have changed between epochs.
  for (int l = 1; l < L; ++l) {
    const int n = layers[l];
    const int below = layers[l - 1];
    const float* blocks = weights + weightOffsets[l];
    float* rows = transposed.data() + transposedOffsets[l];
    for (int i = 0; i < n; ++i)
      for (int r = 0; r <= below; ++r) rows[r * n + i] = blocks[i * (below + 1) + r];
  }
  EpochPlan plan{L,
                 layers.data(),
                 weightOffsets.data(),
                 activationOffsets.data(),
                 transposedOffsets.data(),
                 transposed.data(),
                 scaledTargets.data(),
                 deltas.data(),
                 sums.data(),
                 changes.data(),
                 learningRate};
  trainSamples(plan, weights, inputs, count, activations);
  // Layer 1 was trained on the transposed copy only.
  const int n = layers[1];
  const int below = layers[0];
  const float* rows = transposed.data() + transposedOffsets[1];
  for (int i = 0; i < n; ++i)
    for (int r = 0; r <= below; ++r) weights[i * (below + 1) + r] = rows[r * n + i];
}
