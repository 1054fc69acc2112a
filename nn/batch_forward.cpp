#include "nn/batch_forward.h"

#include <algorithm>

#include "nn/network.h"

namespace {

// Eight samples side by side (GCC and clang vector extensions: element-wise operations, so
// every lane computes exactly the scalar expression). Four such vectors make a block: four
// independent chains of additions keep the adder busy.
typedef float Lanes __attribute__((vector_size(32)));
constexpr int kLanes = 8;
constexpr int kVectors = 4;
constexpr int kBlock = kLanes * kVectors;

// One layer for a block: in holds kVectors vectors per neuron of the layer below, out gets
// kVectors vectors per neuron of neurons [first, last).
// out[i] = sigmoid(b_i + sum_j in[j] * w_ij), the sum in j order for every sample.
__attribute__((target_clones("avx2", "default"))) void propagateBlock(const Lanes* in,
                                                                      const float* blocks,
                                                                      Lanes* out, int inputCount,
                                                                      int first, int last) {
  for (int i = first; i < last; ++i) {
    const float* block = blocks + static_cast<size_t>(i) * (inputCount + 1);
    Lanes sum[kVectors];
    for (int v = 0; v < kVectors; ++v) sum[v] = Lanes{} + block[0];
    for (int j = 0; j < inputCount; ++j) {
      const float w = block[1 + j];
      const Lanes* x = in + static_cast<size_t>(j) * kVectors;
      for (int v = 0; v < kVectors; ++v) sum[v] = sum[v] + x[v] * w;
    }
    Lanes* y = out + static_cast<size_t>(i) * kVectors;
    for (int v = 0; v < kVectors; ++v) {
      for (int b = 0; b < kLanes; ++b) y[v][b] = NN::sigmoid(sum[v][b]);
    }
  }
}

}  // namespace

void forwardOutputs(const std::vector<int>& layers, const float* weights, const float* outputRange,
                    const float* scaledInputs, size_t sampleCount, int output, float* result) {
  const int inputCount = layers.front();
  const int largest = *std::max_element(layers.begin(), layers.end());
  std::vector<Lanes> below(static_cast<size_t>(largest) * kVectors);
  std::vector<Lanes> above(below.size());
  const float minimum = outputRange[0];
  const float maximum = outputRange[1];
  for (size_t start = 0; start < sampleCount; start += kBlock) {
    const int rows = static_cast<int>(std::min<size_t>(kBlock, sampleCount - start));
    // The block's inputs, input-major; missing rows of the last block compute on zeros.
    if (rows < kBlock) std::fill(below.begin(), below.end(), Lanes{});
    for (int b = 0; b < rows; ++b) {
      const float* row = scaledInputs + (start + b) * inputCount;
      for (int j = 0; j < inputCount; ++j) {
        below[static_cast<size_t>(j) * kVectors + b / kLanes][b % kLanes] = row[j];
      }
    }
    const float* blocks = weights;
    for (size_t l = 1; l < layers.size(); ++l) {
      const bool last = l + 1 == layers.size();
      // Of the output layer only the wanted neuron is computed.
      propagateBlock(below.data(), blocks, above.data(), layers[l - 1], last ? output : 0,
                     last ? output + 1 : layers[l]);
      blocks += static_cast<size_t>(layers[l]) * (layers[l - 1] + 1);
      below.swap(above);
    }
    const Lanes* y = below.data() + static_cast<size_t>(output) * kVectors;
    for (int b = 0; b < rows; ++b) {
      result[start + b] = minimum + (maximum - minimum) * y[b / kLanes][b % kLanes];
    }
  }
}
