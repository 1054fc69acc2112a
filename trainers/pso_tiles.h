#pragma once

#include <vector>

// Forward passes of one weight array over many samples at once, for the particle-swarm
// evaluation. A tile holds kTileSamples samples side by side, feature-major, so each
// neuron's weighted sum runs over its inputs in order for every sample while the vector
// lanes hold different samples: each sample's sum is the same sequence of float operations
// as in NN::feedForward. Only the activation differs: the eight-lane sigmoid of
// trainers/fast_exp.h, within 4 ulps of the one built on expf.
//
// Runs on processors with AVX2; callers check available() and otherwise use feedForward.
namespace psotiles {

constexpr int kTileSamples = 32;

bool available();

// Number of tiles needed for n samples (the last one padded).
inline int tileCount(int n) { return (n + kTileSamples - 1) / kTileSamples; }

// Rearranges n input rows of inputCount values into tiles: input j of sample
// t*kTileSamples + q goes to tiles[(t*inputCount + j)*kTileSamples + q]. Lanes past the
// last sample hold zeros.
void arrangeTiles(const float* inputs, int n, int inputCount, std::vector<float>& tiles);

// Floats of scratch space that evaluate needs for a network whose widest layer has
// maxLayerSize neurons.
inline int scratchSize(int maxLayerSize) { return 2 * maxLayerSize * kTileSamples; }

// Runs weightArray (weight layout of NN) on the n samples of tiles and writes output k of
// sample s, unscaled with outputRanges (min, max per output), to out[s*m + k].
// Requires available().
void evaluate(const float* tiles, int n, const std::vector<int>& layers, const float* weightArray,
              const float* outputRanges, float* out, float* scratch);

}  // namespace psotiles
