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

// Both simulation kernels are launched over (population, samples rounded up to G) with local
// size (1, G): a work-group holds one particle p and G consecutive samples of the set. They
// write outputs[(p * samples + s) * outputsPerSample + k] = output k of feedForward of input
// s with particle p's weights, in data units. Samples are laid side by side in vector lanes,
// so each sample's weighted sums are the host's sequence of float operations (bias first,
// then + value * weight in input order); only exp may differ from the host's by its ulps.
// Weights of particle p: weights[p * weightsPerNetwork ...], the layout at the top.

// Largest layer size, the length of the private layer arrays. The private variant's build
// replaces every bracketed token below by the network's maxLayerSize() in brackets; this
// definition only lets the file build as read.
#define PRIVATE_MEM_SIZE 1

// Samples one work-item of simulate_neural_networks_private computes: two float8 halves, so
// that every neuron has two independent sums in flight.
#define SAMPLE_LANES 16

// The logistic function lane by lane, the same formula as sigmoid above.
float8 sigmoid8(float8 x) { return 1.0f / (1.0f + exp(-x)); }

// simulate_neural_networks_private: layer values in private arrays of float8, one lane per
// sample (low: lanes 0-7, high: lanes 8-15). Work-item g of a group computes the group's
// samples g * 16 ... g * 16 + 15 (those that exist); work-items whose first lane lies past the
// group or the set do nothing.
//   inputs [s * layers[0] + j]; layers [l]; outputRanges [2k] min, [2k + 1] max of output k
__kernel void simulate_neural_networks_private(
    __global const float* inputs, __global const float* weights, __global float* outputs,
    const int layerCount, __global const int* layers, __global const float* outputRanges,
    const int population, const int samples, const int weightsPerNetwork) {
  const int p = get_global_id(0);
  const int firstLane = get_local_id(1) * SAMPLE_LANES;
  const int groupSize = get_local_size(1);
  const int first = get_group_id(1) * groupSize + firstLane;
  if (p >= population || firstLane >= groupSize || first >= samples) return;
  const int count = min(min(SAMPLE_LANES, groupSize - firstLane), samples - first);

  float8 lowA[PRIVATE_MEM_SIZE], highA[PRIVATE_MEM_SIZE];
  float8 lowB[PRIVATE_MEM_SIZE], highB[PRIVATE_MEM_SIZE];
  float lanes[SAMPLE_LANES];
  int belowCount = layers[0];
  // Input j of every lane's sample; lanes past count repeat the last sample.
  for (int j = 0; j < belowCount; ++j) {
    for (int t = 0; t < SAMPLE_LANES; ++t)
      lanes[t] = inputs[(size_t)(first + min(t, count - 1)) * belowCount + j];
    lowA[j] = vload8(0, lanes);
    highA[j] = vload8(1, lanes);
  }
  float8 *lowBelow = lowA, *highBelow = highA, *lowAbove = lowB, *highAbove = highB;
  // The weights in storage order: w advances block by block.
  __global const float* w = weights + (size_t)p * weightsPerNetwork;
  for (int l = 1; l < layerCount; ++l) {
    const int neurons = layers[l];
    for (int i = 0; i < neurons; ++i, w += belowCount + 1) {
      // above[i] = sigmoid(bias + sum_j below[j] * w_ij), the sum in j order
      float8 low = (float8)(w[0]), high = low;
      for (int j = 0; j < belowCount; ++j) {
        low = low + lowBelow[j] * (float8)(w[1 + j]);
        high = high + highBelow[j] * (float8)(w[1 + j]);
      }
      lowAbove[i] = sigmoid8(low);
      highAbove[i] = sigmoid8(high);
    }
    float8 *lowSwap = lowBelow, *highSwap = highBelow;
    lowBelow = lowAbove, highBelow = highAbove, lowAbove = lowSwap, highAbove = highSwap;
    belowCount = neurons;
  }
  __global float* result = outputs + ((size_t)p * samples + first) * belowCount;
  for (int k = 0; k < belowCount; ++k) {
    const float minimum = outputRanges[2 * k];
    const float maximum = outputRanges[2 * k + 1];
    vstore8(lowBelow[k], 0, lanes);
    vstore8(highBelow[k], 1, lanes);
    for (int t = 0; t < count; ++t)
      result[t * belowCount + k] = minimum + (maximum - minimum) * lanes[t];
  }
}

// One neuron of the local kernel for all G samples of the group:
//   out[q] = sigmoid(block[0] + sum_j below[j * G + q] * block[1 + j]), the sum in j order.
// 32 samples per step (four independent float8 sums), then the rest one at a time.
void neuronForGroup(__local const float* below, int belowCount, __local const float* block,
                    int groupSize, __local float* out) {
  int q = 0;
  for (; q + 32 <= groupSize; q += 32) {
    float8 sum0 = (float8)(block[0]), sum1 = sum0, sum2 = sum0, sum3 = sum0;
    for (int j = 0; j < belowCount; ++j) {
      const float8 weight = (float8)(block[1 + j]);
      __local const float* row = below + j * groupSize + q;
      sum0 = sum0 + vload8(0, row) * weight;
      sum1 = sum1 + vload8(1, row) * weight;
      sum2 = sum2 + vload8(2, row) * weight;
      sum3 = sum3 + vload8(3, row) * weight;
    }
    vstore8(sigmoid8(sum0), 0, out + q);
    vstore8(sigmoid8(sum1), 1, out + q);
    vstore8(sigmoid8(sum2), 2, out + q);
    vstore8(sigmoid8(sum3), 3, out + q);
  }
  for (; q < groupSize; ++q) {
    float sum = block[0];
    for (int j = 0; j < belowCount; ++j) sum = sum + below[j * groupSize + q] * block[1 + j];
    out[q] = sigmoid(sum);
  }
}

// simulate_neural_networks_local: the particle's weights and the group's layer values in local
// memory. Arguments 0 to 8 as in simulate_neural_networks_private, then
//   maxLayer             maxLayerSize()
//   localWeights [w]     copy of the particle's weights (weightsPerNetwork floats)
//   valuesA, valuesB     [i * G + q]: neuron i of a layer for sample q of the group
//                        (G * maxLayer floats each; layers alternate between them)
// Work-item g loads its sample's inputs, then computes neurons g, g + G, ... of every layer
// for all samples of the group; layers are separated by barriers. Samples past the set repeat
// the last sample and are not written.
__kernel void simulate_neural_networks_local(
    __global const float* inputs, __global const float* weights, __global float* outputs,
    const int layerCount, __global const int* layers, __global const float* outputRanges,
    const int population, const int samples, const int weightsPerNetwork, const int maxLayer,
    __local float* localWeights, __local float* valuesA, __local float* valuesB) {
  const int p = get_global_id(0);
  const int g = get_local_id(1);
  const int groupSize = get_local_size(1);
  const int s = get_global_id(1);
  __global const float* particleWeights = weights + (size_t)p * weightsPerNetwork;
  for (int w = g; w < weightsPerNetwork; w += groupSize) localWeights[w] = particleWeights[w];
  const int inputCount = layers[0];
  const int sample = min(s, samples - 1);
  for (int j = 0; j < inputCount; ++j)
    valuesA[j * groupSize + g] = inputs[(size_t)sample * inputCount + j];
  barrier(CLK_LOCAL_MEM_FENCE);

  int offset = 0;  // first weight of layer l
  for (int l = 1; l < layerCount; ++l) {
    __local const float* below = (l % 2 == 1) ? valuesA : valuesB;
    __local float* above = (l % 2 == 1) ? valuesB : valuesA;
    const int belowCount = layers[l - 1];
    const int neurons = layers[l];
    for (int i = g; i < neurons; i += groupSize)
      neuronForGroup(below, belowCount, localWeights + offset + i * (belowCount + 1),
                     groupSize, above + i * groupSize);
    offset += neurons * (belowCount + 1);
    barrier(CLK_LOCAL_MEM_FENCE);
  }
  if (p >= population || s >= samples) return;
  __local const float* last = (layerCount % 2 == 1) ? valuesA : valuesB;
  const int outputCount = layers[layerCount - 1];
  __global float* result = outputs + ((size_t)p * samples + s) * outputCount;
  for (int k = 0; k < outputCount; ++k) {
    const float minimum = outputRanges[2 * k];
    const float maximum = outputRanges[2 * k + 1];
    result[k] = minimum + (maximum - minimum) * last[k * groupSize + g];
  }
}

// mean_squared_errors: one work-group of 64 per particle p.
//   outputs [(p * samples + s) * outputsPerSample + k]; targets [s * outputsPerSample + k]
//   mses [p] = sum of (output - target)^2 over all samples and outputs / (samples * outputs)
//   partial: 64 floats of local memory
// Work-item g sums elements g, g + 64, ... in order (float); the 64 partial sums are then
// added pairwise. The host sums in double in element order, so the two agree to a relative
// 1e-5 or so for sets of ordinary size.
__kernel void mean_squared_errors(__global const float* outputs, __global const float* targets,
                                  __global float* mses, const int samples,
                                  const int outputsPerSample, __local float* partial) {
  const int p = get_group_id(0);
  const int g = get_local_id(0);
  const int groupSize = get_local_size(0);
  const int count = samples * outputsPerSample;
  __global const float* particleOutputs = outputs + (size_t)p * count;
  float sum = 0.0f;
  for (int e = g; e < count; e += groupSize) {
    const float difference = particleOutputs[e] - targets[e];
    sum = sum + difference * difference;
  }
  partial[g] = sum;
  barrier(CLK_LOCAL_MEM_FENCE);
  for (int stride = groupSize / 2; stride > 0; stride /= 2) {
    if (g < stride) partial[g] = partial[g] + partial[g + stride];
    barrier(CLK_LOCAL_MEM_FENCE);
  }
  if (g == 0) mses[p] = partial[0] / (float)count;
}

// ------------------------------ end of particle-swarm kernels -----------------------------
