#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <vector>

// A target in data units scaled to [0, 1] with its output range: t' = (t - min) / (max - min).
inline float scaledTargetValue(float target, float low, float high) {
  return (target - low) / (high - low);
}

// Which error the output neurons' error terms follow.
struct OutputError {
  bool crossEntropy = false;  // log-loss instead of half the squared error
  bool weighted = false;      // positive targets (above 0.5 in data units) weigh positiveWeight
  float positiveWeight = 1.0f;
};

// The error term of an output neuron with value a and scaled target t: a(1 - a)(t - a), the
// negative gradient of the squared error (t - a)^2 / 2 with respect to the neuron's sum; with
// cross entropy t - a, the same gradient of -t log a - (1 - t) log(1 - a), in which a(1 - a)
// cancels; times the sample's weight. Both training paths compute it here, so they agree to
// the bit.
inline float outputDelta(float a, float t, bool positive, const OutputError& error) {
  const float delta = error.crossEntropy ? t - a : a * (1.0f - a) * (t - a);
  if (!error.weighted) return delta;
  return delta * (positive ? error.positiveWeight : 1.0f);
}

// One epoch of on-line back-propagation with the four per-sample steps of NN_BP fused:
// forward pass, error terms and weight changes applied at once. Every weight it leaves is
// bit-identical to what initializeDeltaWeights, propagateForward, propagateBackwards and
// applyDeltaWeights produce, because each sum keeps its order and each weight still receives
// 0 + (eta * delta) * input, the one change a sample makes to it. Only the work is arranged
// differently, so that it runs across the neurons of a layer, eight at a time:
// - the forward sums over a neuron-interleaved (transposed) copy of each layer's weights;
// - the hidden error terms and the weight changes of a layer in one pass over a second,
//   neuron-major copy of its weights (not kept for layer 1, whose error terms nobody needs);
// - rows padded to whole groups of eight with zeros, which stay out of every real value.
class BPEpoch {
 public:
  // layers: neurons per layer, input layer first; targets: the training targets in data
  // units, scaled once here with outputRanges.
  BPEpoch(const std::vector<int>& layers, const std::vector<float>& targets,
          const std::vector<float>& outputRanges, float learningRate,
          const OutputError& error = OutputError());

  // Trains on samples 0 .. count-1 of inputs (scaled rows), in order, or on samples order[0]
  // .. order[count-1] when an order is given, changing weights (standard layout,
  // numberOfWeights() floats) in place.
  void run(float* weights, const float* inputs, int count, const int* order = nullptr);

  // Eight floats, one per neuron of a group.
  typedef float Lanes __attribute__((vector_size(32)));

 private:
  // Zero-filled groups on a 32-byte boundary (a std::vector would give only 16 here).
  class Groups {
   public:
    void assign(std::size_t count) {
      memory.reset(
          static_cast<Lanes*>(::operator new[](count * sizeof(Lanes), std::align_val_t(32))));
      for (std::size_t g = 0; g < count; ++g) memory.get()[g] = Lanes{};
      size = count;
    }
    Lanes* data() const { return memory.get(); }
    bool empty() const { return size == 0; }
    Lanes& operator[](std::size_t g) const { return memory.get()[g]; }

   private:
    struct Release {
      void operator()(Lanes* p) const { ::operator delete[](p, std::align_val_t(32)); }
    };
    std::unique_ptr<Lanes, Release> memory;
    std::size_t size = 0;
  };

  struct Layer {
    int count;           // neurons
    int below;           // neurons of the layer below
    int groups;          // count rounded up to groups of eight
    int belowGroups;     // below rounded up to groups of eight
    int weightOffset;    // first weight block in the standard layout
    Groups transposed;   // below + 1 rows of groups: biases, then weights on input j
    Groups blocks;       // count rows of belowGroups: weights of neuron k (l >= 2)
    Groups activations;  // groups: sigmoid values, zero padding
    Groups deltas;       // groups
    Groups changes;      // groups: learning rate * delta
  };

  std::vector<Layer> network;  // index l - 1 for layer l
  Groups input;                // the sample's inputs, padded
  Groups sums;                 // hidden error sums, padded
  std::vector<float> scaledTargets;
  std::vector<char> positiveTargets;  // targets above 0.5 in data units (weighted error only)
  OutputError error;
  const int* order = nullptr;
  int inputCount;
  int outputCount;
  float learningRate;

  friend struct EpochKernel;
};
