#pragma once
// One output of a network for many samples, computed exactly as NN::feedForward computes it:
// every neuron's sum starts from its bias, adds the products in input order and goes through
// NN::sigmoid, so the results are equal bit for bit. Samples are taken a block at a time with
// the sums of the block's samples side by side, which vectorises across samples without
// reordering any sum.

#include <cstddef>
#include <vector>

// layers: the layer sizes, input first; weights: NN's layout; outputRange: the min and max
// of that output; scaledInputs: sampleCount rows of layers.front() values; result: sampleCount
// floats in data units.
void forwardOutputs(const std::vector<int>& layers, const float* weights, const float* outputRange,
                    const float* scaledInputs, size_t sampleCount, int output, float* result);
