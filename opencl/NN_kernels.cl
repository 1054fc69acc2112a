#pragma OPENCL FP_CONTRACT OFF
// Kernels of the OpenCL trainers, read from the working directory at start-up.
//
// One floating-point policy with the host: no contraction into fused multiply-adds (above),
// no fast-math build options, and every sum of one neuron taken sequentially in input order.
// Work is spread across neurons, samples or particles, never inside one sum.
//
// Weight layout (shared with the host): layer 1 first, then layer 2, ...; within a layer,
// neuron i owns a block of (inputs + 1) floats: its bias, then its weights on neurons 0, 1, ...
// of the layer below.
//
// The file is built as read and once more with every [PRIVATE_MEM_SIZE] token replaced by
// the largest layer size in brackets; only the particle-swarm section uses that token.

// The logistic neuron of the host: 1 / (1 + e^-x) in single precision.
float sigmoid(float x) { return 1.0f / (1.0f + exp(-x)); }

// ===========================================================================================
// Back-propagation kernels: one sample at a time, one work-item per neuron (or per weight).
// ===========================================================================================

// layer_propagate_forward: one layer of the forward pass, one work-item per neuron.
//   input[inputOffset + j], j < inputs      values of the layer below (the sample's inputs
//                                           for layer 1, a layer-result buffer otherwise)
//   weights[weightOffset + i*(inputs+1)]    neuron i's block: bias, then one weight per input
//   result[i], i < neurons                  sigmoid value; on the output layer unscaled to data
//                                           units: min_i + (max_i - min_i) * value
//   activations[activationOffset + i]       sigmoid value, kept for the backward pass
//   outputRanges[2i], [2i+1]                min and max of output i
__kernel void layer_propagate_forward(__global const float* input, int inputOffset,
                                      __global const float* weights, int weightOffset,
                                      __global float* result, __global float* activations,
                                      int activationOffset, int inputs, int neurons,
                                      int isOutputLayer, __global const float* outputRanges) {
  const int neuron = get_global_id(0);
  if (neuron >= neurons) return;
  __global const float* in = input + inputOffset;
  __global const float* block = weights + weightOffset + neuron * (inputs + 1);

  // s = bias + sum over j of in[j] * w_j, summed in j order
  float sum = block[0];
  for (int j = 0; j < inputs; ++j) sum = sum + in[j] * block[1 + j];
  float value = sigmoid(sum);

  activations[activationOffset + neuron] = value;
  if (isOutputLayer) {
    const float low = outputRanges[2 * neuron];
    const float high = outputRanges[2 * neuron + 1];
    value = low + (high - low) * value;
  }
  result[neuron] = value;
}

// layer_propagate_backwards: error terms and weight changes of one layer, one work-item per
// neuron j; launched for the output layer first, then down to layer 1.
//   activations[activationOffset + j]       this layer's sigmoid values; the layer below
//                                           starts at activationOffset - inputs
//   upperDeltas[k], k < nextNeurons         error terms of the layer above (unused on the
//                                           output layer); written by the previous launch
//   deltas[j]                               this layer's error terms, read by the next launch
//   weights[weightOffset + ...]             this layer's blocks; the layer above starts at
//                                           weightOffset + (inputs+1)*neurons, blocks of
//                                           neurons+1 floats
//   deltaWeights[weightOffset + j*(inputs+1) + ...]  overwritten: rate*delta for the bias,
//                                           rate*delta*input for each weight
//   targets[targetOffset + j], outputRanges  the sample's target, scaled to [0, 1] here
__kernel void layer_propagate_backwards(
    __global const float* activations, int activationOffset, __global const float* upperDeltas,
    __global float* deltas, __global const float* weights, int weightOffset,
    __global float* deltaWeights, int inputs, int neurons, int nextNeurons, float learningRate,
    int isOutputLayer, __global const float* targets, int targetOffset,
    __global const float* outputRanges) {
  const int j = get_global_id(0);
  if (j >= neurons) return;
  const float a = activations[activationOffset + j];

  float delta;
  if (isOutputLayer) {
    // delta = a(1 - a)(t' - a), t' = (t - min) / (max - min)
    const float low = outputRanges[2 * j];
    const float high = outputRanges[2 * j + 1];
    const float target = (targets[targetOffset + j] - low) / (high - low);
    delta = a * (1.0f - a) * (target - a);
  } else {
    // delta = (sum over k of upperDeltas[k] * w_kj) * a(1 - a), summed in k order
    __global const float* upperWeights = weights + weightOffset + (inputs + 1) * neurons;
    float sum = 0.0f;
    for (int k = 0; k < nextNeurons; ++k) {
      sum = sum + upperDeltas[k] * upperWeights[k * (neurons + 1) + 1 + j];
    }
    delta = sum * (a * (1.0f - a));
  }
  deltas[j] = delta;

  __global const float* below = activations + activationOffset - inputs;
  __global float* block = deltaWeights + weightOffset + j * (inputs + 1);
  const float step = learningRate * delta;
  block[0] = step;
  for (int i = 0; i < inputs; ++i) block[1 + i] = step * below[i];
}

// apply_delta_weights: weights[k] += deltaWeights[k] for k < count, one work-item per weight.
__kernel void apply_delta_weights(__global float* weights, __global const float* deltaWeights,
                                  int count) {
  const int k = get_global_id(0);
  if (k < count) weights[k] = weights[k] + deltaWeights[k];
}

// ---------------------------- end of back-propagation kernels -----------------------------

// ===========================================================================================
// Particle-swarm kernels: every particle's network on every sample, and the per-particle
// mean squared error.
// ===========================================================================================

// ------------------------------ end of particle-swarm kernels -----------------------------
