#include "trainers/bp_epoch.h"

#include <algorithm>
#include <cstring>

#include "nn/network.h"

typedef BPEpoch::Lanes Lanes;

namespace {

int groupsOf(int n) { return (n + 7) / 8; }

#define ALWAYS_INLINE inline __attribute__((always_inline))

// out = sigmoid(b + sum_j in_j * w_j) for eight neurons per group; each sum in j order.
ALWAYS_INLINE void forwardLayer(const float* in, const Lanes* rows, Lanes* out, float* outValues,
                                int below, int groups, int count) {
  for (int g = 0; g < groups; ++g) {
    Lanes sum = rows[g];
    for (int j = 0; j < below; ++j) sum = sum + in[j] * rows[(1 + j) * groups + g];
    out[g] = sum;
  }
  for (int i = 0; i < count; ++i) outValues[i] = NN::sigmoid(outValues[i]);
  // The padding lanes held sums of zeros; they must read 0 again, not sigmoid(0).
  for (int i = count; i < groups * 8; ++i) outValues[i] = 0.0f;
}

// For each neuron k in ascending order: sums_j += delta_k * w_kj with the weight before this
// sample's change, then w_kj += 0 + change_k * a_j.
ALWAYS_INLINE void accumulateAndUpdate(Lanes* blocks, const float* delta, const float* change,
                                       const Lanes* a, Lanes* sums, int belowGroups, int count) {
  const Lanes zero = {};
  for (int g = 0; g < belowGroups; ++g) sums[g] = zero;
  for (int k = 0; k < count; ++k) {
    Lanes* row = blocks + k * belowGroups;
    const float d = delta[k];
    const float c = change[k];
    for (int g = 0; g < belowGroups; ++g) {
      const Lanes w = row[g];
      sums[g] = sums[g] + d * w;
      row[g] = w + (zero + c * a[g]);
    }
  }
}

// Biases += 0 + change, weights on input j += 0 + change * a_j, eight neurons at a time.
ALWAYS_INLINE void updateTransposed(Lanes* rows, const Lanes* change, const float* a, int below,
                                    int groups) {
  const Lanes zero = {};
  for (int g = 0; g < groups; ++g) rows[g] = rows[g] + (zero + change[g]);
  for (int j = 0; j < below; ++j) {
    const float x = a[j];
    Lanes* row = rows + (1 + j) * groups;
    for (int g = 0; g < groups; ++g) row[g] = row[g] + (zero + change[g] * x);
  }
}

}  // namespace

// Friend of BPEpoch: the per-sample loop, compiled once for AVX2 and once for the baseline
// instruction set; the loader picks the clone the processor supports. Contraction to fused
// multiply-adds stays off in both.
struct EpochKernel {
  __attribute__((target_clones("avx2", "default"))) static void trainSamples(BPEpoch& epoch,
                                                                             const float* inputs,
                                                                             int count);
};

// clang wants the clones named again on the definition; gcc accepts it.
__attribute__((target_clones("avx2", "default"))) void EpochKernel::trainSamples(
    BPEpoch& epoch, const float* inputs, int count) {
  const int L = static_cast<int>(epoch.network.size()) + 1;
  const float eta = epoch.learningRate;
  const int n = epoch.inputCount;
  const int m = epoch.outputCount;
  float* input = reinterpret_cast<float*>(epoch.input.data());
  const OutputError& error = epoch.error;
  for (int k = 0; k < count; ++k) {
    const long s = epoch.order != nullptr ? epoch.order[k] : k;
    std::memcpy(input, inputs + s * n, sizeof(float) * n);
    const float* below = input;
    for (BPEpoch::Layer& layer : epoch.network) {
      float* values = reinterpret_cast<float*>(layer.activations.data());
      forwardLayer(below, layer.transposed.data(), layer.activations.data(), values, layer.below,
                   layer.groups, layer.count);
      below = values;
    }

    // Output error terms: delta = a(1 - a)(t' - a), or as the options ask (outputDelta).
    BPEpoch::Layer& last = epoch.network.back();
    const float* target = epoch.scaledTargets.data() + s * m;
    const char* positive = error.weighted ? epoch.positiveTargets.data() + s * m : nullptr;
    const float* out = reinterpret_cast<const float*>(last.activations.data());
    float* lastDeltas = reinterpret_cast<float*>(last.deltas.data());
    for (int o = 0; o < m; ++o) {
      lastDeltas[o] = outputDelta(out[o], target[o], positive != nullptr && positive[o], error);
    }

    for (int l = L - 1; l >= 1; --l) {
      BPEpoch::Layer& layer = epoch.network[l - 1];
      const Lanes* a = l > 1 ? epoch.network[l - 2].activations.data() : epoch.input.data();
      for (int g = 0; g < layer.groups; ++g) layer.changes[g] = eta * layer.deltas[g];
      updateTransposed(layer.transposed.data(), layer.changes.data(),
                       reinterpret_cast<const float*>(a), layer.below, layer.groups);
      if (l == 1) break;
      accumulateAndUpdate(layer.blocks.data(), reinterpret_cast<const float*>(layer.deltas.data()),
                          reinterpret_cast<const float*>(layer.changes.data()), a,
                          epoch.sums.data(), layer.belowGroups, layer.count);
      // Hidden error terms of layer l-1: delta_j = s_j * (a_j (1 - a_j)); padding gives 0.
      Lanes* previous = epoch.network[l - 2].deltas.data();
      for (int g = 0; g < layer.belowGroups; ++g)
        previous[g] = epoch.sums[g] * (a[g] * (1.0f - a[g]));
    }
  }
}

BPEpoch::BPEpoch(const std::vector<int>& layers, const std::vector<float>& targets,
                 const std::vector<float>& outputRanges, float rate, const OutputError& outputError)
    : error(outputError),
      inputCount(layers.front()),
      outputCount(layers.back()),
      learningRate(rate) {
  const int L = static_cast<int>(layers.size());
  int weightOffset = 0;
  int widestGroups = groupsOf(layers[0]);
  for (int l = 1; l < L; ++l) {
    Layer layer;
    layer.count = layers[l];
    layer.below = layers[l - 1];
    layer.groups = groupsOf(layer.count);
    layer.belowGroups = groupsOf(layer.below);
    layer.weightOffset = weightOffset;
    weightOffset += layer.count * (layer.below + 1);
    layer.transposed.assign(static_cast<size_t>(layer.below + 1) * layer.groups);
    if (l >= 2) layer.blocks.assign(static_cast<size_t>(layer.count) * layer.belowGroups);
    layer.activations.assign(layer.groups);
    layer.deltas.assign(layer.groups);
    layer.changes.assign(layer.groups);
    widestGroups = std::max(widestGroups, layer.groups);
    network.push_back(std::move(layer));
  }
  input.assign(groupsOf(inputCount));
  sums.assign(widestGroups);

  scaledTargets.resize(targets.size());
  for (size_t i = 0; i < targets.size(); ++i) {
    const int k = static_cast<int>(i % outputCount);
    scaledTargets[i] = scaledTargetValue(targets[i], outputRanges[2 * k], outputRanges[2 * k + 1]);
  }
  if (error.weighted) {
    positiveTargets.resize(targets.size());
    for (size_t i = 0; i < targets.size(); ++i) positiveTargets[i] = NN::isPositive(targets[i]);
  }
}

void BPEpoch::run(float* weights, const float* inputs, int count, const int* sampleOrder) {
  order = sampleOrder;
  // Both copies are taken afresh: the weights may have changed between epochs.
  for (Layer& layer : network) {
    const float* blocks = weights + layer.weightOffset;
    float* rows = reinterpret_cast<float*>(layer.transposed.data());
    float* neuronRows = reinterpret_cast<float*>(layer.blocks.data());
    const int width = layer.groups * 8;
    const int belowWidth = layer.belowGroups * 8;
    for (int i = 0; i < layer.count; ++i) {
      const float* block = blocks + i * (layer.below + 1);
      for (int r = 0; r <= layer.below; ++r) rows[r * width + i] = block[r];
      if (!layer.blocks.empty())
        for (int j = 0; j < layer.below; ++j) neuronRows[i * belowWidth + j] = block[1 + j];
    }
  }
  EpochKernel::trainSamples(*this, inputs, count);
  // The transposed copies hold every layer's current biases and weights.
  for (Layer& layer : network) {
    float* blocks = weights + layer.weightOffset;
    const float* rows = reinterpret_cast<const float*>(layer.transposed.data());
    const int width = layer.groups * 8;
    for (int i = 0; i < layer.count; ++i)
      for (int r = 0; r <= layer.below; ++r)
        blocks[i * (layer.below + 1) + r] = rows[r * width + i];
  }
}
