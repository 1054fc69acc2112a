#include "trainers/pso_tiles.h"

#include <cstddef>

#include "trainers/fast_exp.h"

namespace psotiles {

bool available() {
  static const bool hasAvx2 = __builtin_cpu_supports("avx2");
  return hasAvx2;
}

void arrangeTiles(const float* inputs, int n, int inputCount, std::vector<float>& tiles) {
  const int count = tileCount(n);
  tiles.assign(static_cast<std::size_t>(count) * inputCount * kTileSamples, 0.0f);
  for (int s = 0; s < n; ++s) {
    const int tile = s / kTileSamples;
    const int lane = s % kTileSamples;
    const float* row = inputs + static_cast<std::size_t>(s) * inputCount;
    float* destination = tiles.data() + static_cast<std::size_t>(tile) * inputCount * kTileSamples;
    for (int j = 0; j < inputCount; ++j) destination[j * kTileSamples + lane] = row[j];
  }
}

namespace {

using fastexp::Floats;
using fastexp::kLanes;
constexpr int kVectors = kTileSamples / kLanes;
static_assert(kVectors == 4, "the layer loop keeps four accumulators per neuron");

// One layer for a whole tile: out[i][q] = sigmoid(bias_i + sum_j in[j][q] * w_ij), the sum
// taken in j order for every lane q. Four independent accumulators per neuron keep the
// adders busy.
__attribute__((target("avx2"), always_inline)) inline void propagateTile(const float* in,
                                                                         const float* blocks,
                                                                         float* out, int inputCount,
                                                                         int neuronCount) {
  for (int i = 0; i < neuronCount; ++i) {
    const float* block = blocks + static_cast<std::size_t>(i) * (inputCount + 1);
    const Floats bias = fastexp::splat(block[0]);
    Floats s0 = bias, s1 = bias, s2 = bias, s3 = bias;
    for (int j = 0; j < inputCount; ++j) {
      const Floats w = fastexp::splat(block[1 + j]);
      const float* x = in + j * kTileSamples;
      s0 = s0 + fastexp::load(x) * w;
      s1 = s1 + fastexp::load(x + kLanes) * w;
      s2 = s2 + fastexp::load(x + 2 * kLanes) * w;
      s3 = s3 + fastexp::load(x + 3 * kLanes) * w;
    }
    float* y = out + i * kTileSamples;
    fastexp::store(y, fastexp::sigmoid(s0));
    fastexp::store(y + kLanes, fastexp::sigmoid(s1));
    fastexp::store(y + 2 * kLanes, fastexp::sigmoid(s2));
    fastexp::store(y + 3 * kLanes, fastexp::sigmoid(s3));
  }
}

}  // namespace

__attribute__((target("avx2"))) void evaluate(const float* tiles, int n,
                                              const std::vector<int>& layers,
                                              const float* weightArray, const float* outputRanges,
                                              float* out, float* scratch) {
  const int layerCount = static_cast<int>(layers.size());
  const int inputCount = layers[0];
  const int m = layers[layerCount - 1];
  int widest = 0;
  for (int size : layers) widest = size > widest ? size : widest;
  float* buffers[2] = {scratch, scratch + widest * kTileSamples};

  for (int tile = 0; tile < tileCount(n); ++tile) {
    // Layers in storage order, one running weight offset; layer l writes buffers[l % 2].
    const float* in = tiles + static_cast<std::size_t>(tile) * inputCount * kTileSamples;
    std::size_t offset = 0;
    for (int l = 1; l < layerCount; ++l) {
      float* target = buffers[l % 2];
      propagateTile(in, weightArray + offset, target, layers[l - 1], layers[l]);
      offset += static_cast<std::size_t>(layers[l]) * (layers[l - 1] + 1);
      in = target;
    }

    // out = min + (max - min) * y, as NN::feedForward unscales, then back to sample rows.
    float* last = buffers[(layerCount - 1) % 2];
    const int first = tile * kTileSamples;
    const int valid = n - first < kTileSamples ? n - first : kTileSamples;
    for (int k = 0; k < m; ++k) {
      const float low = outputRanges[2 * k];
      const float span = outputRanges[2 * k + 1] - low;
      float* y = last + k * kTileSamples;
      for (int v = 0; v < kVectors; ++v) {
        const Floats sigmoids = fastexp::load(y + v * kLanes);
        fastexp::store(y + v * kLanes, fastexp::splat(low) + fastexp::splat(span) * sigmoids);
      }
      float* destination = out + static_cast<std::size_t>(first) * m + k;
      for (int q = 0; q < valid; ++q) destination[static_cast<std::size_t>(q) * m] = y[q];
    }
  }
}

}  // namespace psotiles
