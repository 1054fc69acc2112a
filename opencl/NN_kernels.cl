#pragma OPENCL FP_CONTRACT OFF
// Kernels of the OpenCL trainers, read from the working directory at start-up.
//
// One floating-point policy with the host: no contraction into fused multiply-adds (above),
// no fast-math build options, exact division (the host builds with
// -cl-fp32-correctly-rounded-divide-sqrt wherever the device offers it), and every sum of one
// neuron taken sequentially in input order. Work is spread across neurons, samples or
// particles, never inside one sum.
//
// Weight layout (shared with the host): layer 1 first, then layer 2, ...; within a layer,
// neuron i owns a block of (inputs + 1) floats: its bias, then its weights on neurons 0, 1, ...
// of the layer below.
//
// The file is built as read and once more with every [PRIVATE_MEM_SIZE] token replaced by
// the largest layer size in brackets; only the particle-swarm section uses that token.
//
// Two work splits. The host builds the file without options for a CPU device (and any other
// that is not a GPU) and with -DWORK_SPLIT_GPU for a GPU device. Arguments, buffers, results
// and the shape of every launch are the same under both (only the GPU split's group sizes G
// come from the device); what differs is who does which part of a group's work:
//
//   kernel                            CPU devices (no option)        GPU devices (WORK_SPLIT_GPU)
//   layer_propagate_forward           work-item 0: the group's        one work-item per neuron
//                                     neurons, 8 per float8
//   layer_propagate_backwards         work-item 0: the group's        one work-item per neuron
//                                     neurons, 8 per float8           of the layer
//   apply_delta_weights               one work-item per weight        the same kernel
//   mean_squared_errors               work-item g: g-th run of        work-item g: elements g,
//                                     elements, 8 lanes; then tree    g + G, ...; then tree
//   simulate_neural_networks_private  work-item 0: a share of the     one work-item per
//                                     block for 8 particles, float8   (particle, sample)
//   simulate_neural_networks_local    work-item 0: weights, inputs    all copy the weights, a
//                                     and all G samples, float8       barrier, one sample each
//   train_epoch                       (not used)                      one group walks an epoch;
//                                                                     neurons and weights
//                                                                     shared by its work-items
//
// With the GPU split the back-propagation trainer runs a whole epoch as one launch of
// train_epoch and measures an error with one launch of simulate_neural_networks_local (one
// network), where the network fits local memory; the layer kernels remain for the rest.
//
// Why: on a CPU device a group's work-items are iterations of one loop on one core. The
// compiler does not turn that loop into vector code around an inner loop over inputs, idle
// work-items cost almost nothing when they return at once, and every barrier costs a save and
// restore of each work-item's state; so one work-item with explicit float8 lanes is fastest.
// On a GPU the work-items of a group are hardware threads running side by side: a group with
// one busy work-item leaves all but one thread of each group idle, so there every work-item
// takes its own neuron or sample, sums still taken sequentially within it, and neighbouring
// work-items read neighbouring addresses where the layouts allow. Results agree between the
// splits up to exp's ulps, except the per-particle order of the MSE sum, which both fix by the
// group size alone.

// The logistic neuron of the host: 1 / (1 + e^-x) in single precision.
float sigmoid(float x) { return 1.0f / (1.0f + exp(-x)); }

// Largest layer size, the length of the private layer arrays. The private variant's build
// replaces every bracketed token below by the network's maxLayerSize() in brackets; this
// definition only lets the file build as read.
#define PRIVATE_MEM_SIZE 1

#ifndef WORK_SPLIT_GPU
// Lanes of the 16 of a and b (a first) by constant indices: shuffle2, or where the compiler
// offers it the builtin that it certainly turns into single shuffle instructions.
#ifdef __clang__
#define PICK8(a, b, i0, i1, i2, i3, i4, i5, i6, i7) \
  __builtin_shufflevector(a, b, i0, i1, i2, i3, i4, i5, i6, i7)
#else
#define PICK8(a, b, i0, i1, i2, i3, i4, i5, i6, i7) \
  shuffle2(a, b, (uint8)(i0, i1, i2, i3, i4, i5, i6, i7))
#endif

// Eight rows of eight floats turned around in registers: columns[k] holds lane k of row t
// in lane t. With eight contiguous row loads this is far cheaper than 64 single loads.
void transpose8(float8 r0, float8 r1, float8 r2, float8 r3, float8 r4, float8 r5, float8 r6,
                float8 r7, float8* columns) {
  // Pairs of rows interleaved, then pairs of pairs, then the 128-bit halves.
  const float8 t0 = PICK8(r0, r1, 0, 8, 1, 9, 4, 12, 5, 13);
  const float8 t1 = PICK8(r0, r1, 2, 10, 3, 11, 6, 14, 7, 15);
  const float8 t2 = PICK8(r2, r3, 0, 8, 1, 9, 4, 12, 5, 13);
  const float8 t3 = PICK8(r2, r3, 2, 10, 3, 11, 6, 14, 7, 15);
  const float8 t4 = PICK8(r4, r5, 0, 8, 1, 9, 4, 12, 5, 13);
  const float8 t5 = PICK8(r4, r5, 2, 10, 3, 11, 6, 14, 7, 15);
  const float8 t6 = PICK8(r6, r7, 0, 8, 1, 9, 4, 12, 5, 13);
  const float8 t7 = PICK8(r6, r7, 2, 10, 3, 11, 6, 14, 7, 15);
  const float8 u0 = PICK8(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13);
  const float8 u1 = PICK8(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15);
  const float8 u2 = PICK8(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13);
  const float8 u3 = PICK8(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15);
  const float8 u4 = PICK8(t4, t6, 0, 1, 8, 9, 4, 5, 12, 13);
  const float8 u5 = PICK8(t4, t6, 2, 3, 10, 11, 6, 7, 14, 15);
  const float8 u6 = PICK8(t5, t7, 0, 1, 8, 9, 4, 5, 12, 13);
  const float8 u7 = PICK8(t5, t7, 2, 3, 10, 11, 6, 7, 14, 15);
  columns[0] = PICK8(u0, u4, 0, 1, 2, 3, 8, 9, 10, 11);
  columns[1] = PICK8(u1, u5, 0, 1, 2, 3, 8, 9, 10, 11);
  columns[2] = PICK8(u2, u6, 0, 1, 2, 3, 8, 9, 10, 11);
  columns[3] = PICK8(u3, u7, 0, 1, 2, 3, 8, 9, 10, 11);
  columns[4] = PICK8(u0, u4, 4, 5, 6, 7, 12, 13, 14, 15);
  columns[5] = PICK8(u1, u5, 4, 5, 6, 7, 12, 13, 14, 15);
  columns[6] = PICK8(u2, u6, 4, 5, 6, 7, 12, 13, 14, 15);
  columns[7] = PICK8(u3, u7, 4, 5, 6, 7, 12, 13, 14, 15);
}
#endif  // !WORK_SPLIT_GPU

// ===========================================================================================
// Back-propagation kernels: one sample at a time, a work-group per G neurons (or weights).
// ===========================================================================================

#ifndef WORK_SPLIT_GPU
// Neurons per float8 in the layer kernels.
#define NEURON_LANES 8

// Eight floats from each of eight rows, turned around: columns[k] holds rows[t][k] in lane t.
// Eight contiguous loads and a transpose in registers cost far less than 64 single loads.
void transposedRows(__global const float* const* rows, float8* columns) {
  const float8 r0 = vload8(0, rows[0]), r1 = vload8(0, rows[1]);
  const float8 r2 = vload8(0, rows[2]), r3 = vload8(0, rows[3]);
  const float8 r4 = vload8(0, rows[4]), r5 = vload8(0, rows[5]);
  const float8 r6 = vload8(0, rows[6]), r7 = vload8(0, rows[7]);
  transpose8(r0, r1, r2, r3, r4, r5, r6, r7, columns);
}

// The float at rows[t][k] of each of eight rows, lane t.
float8 rowsAt(__global const float* const* rows, int k) {
  return (float8)(rows[0][k], rows[1][k], rows[2][k], rows[3][k], rows[4][k], rows[5][k],
                  rows[6][k], rows[7][k]);
}
#endif  // !WORK_SPLIT_GPU

// layer_propagate_forward: one layer of the forward pass for the group's 64 neurons.
//   input[inputOffset + j], j < inputs      values of the layer below (the sample's inputs
//                                           for layer 1, a layer-result buffer otherwise)
//   weights[weightOffset + i*(inputs+1)]    neuron i's block: bias, then one weight per input
//   result[i], i < neurons                  sigmoid value; on the output layer unscaled to data
//                                           units: min_i + (max_i - min_i) * value
//   activations[activationOffset + i]       sigmoid value, kept for the backward pass
//   outputRanges[2i], [2i+1]                min and max of output i
#ifdef WORK_SPLIT_GPU
// GPU split: work-item i computes neuron i; all read the same input at a time.
__kernel void layer_propagate_forward(__global const float* input, int inputOffset,
                                      __global const float* weights, int weightOffset,
                                      __global float* result, __global float* activations,
                                      int activationOffset, int inputs, int neurons,
                                      int isOutputLayer, __global const float* outputRanges) {
  const int i = get_global_id(0);
  if (i >= neurons) return;
  __global const float* in = input + inputOffset;
  __global const float* block = weights + weightOffset + i * (inputs + 1);
  // s = bias + sum over j of in[j] * w_j, in j order
  float sum = block[0];
  for (int j = 0; j < inputs; ++j) sum = sum + in[j] * block[1 + j];
  float value = sigmoid(sum);
  activations[activationOffset + i] = value;
  if (isOutputLayer) {
    const float low = outputRanges[2 * i];
    const float high = outputRanges[2 * i + 1];
    value = low + (high - low) * value;
  }
  result[i] = value;
}
#else
// CPU split: work-item 0 of a group computes the group's neurons eight at a time, one per
// float8 lane, and the others return at once: on a CPU device a group's work-items are
// iterations of one loop, which the compiler does not turn into vector code around a loop over
// the inputs; lanes keep every neuron's sum sequential, and eight sums in flight hide the add
// latency.
__kernel void layer_propagate_forward(__global const float* input, int inputOffset,
                                      __global const float* weights, int weightOffset,
                                      __global float* result, __global float* activations,
                                      int activationOffset, int inputs, int neurons,
                                      int isOutputLayer, __global const float* outputRanges) {
  if (get_local_id(0) != 0) return;
  const int first = get_global_id(0);
  const int end = min(first + (int)get_local_size(0), neurons);
  __global const float* in = input + inputOffset;
  const int wholeBlocks = inputs / NEURON_LANES * NEURON_LANES;

  for (int n0 = first; n0 < end; n0 += NEURON_LANES) {
    // Lanes past the last neuron repeat it and are not stored.
    __global const float* rows[NEURON_LANES];
    for (int t = 0; t < NEURON_LANES; ++t) {
      rows[t] = weights + weightOffset + min(n0 + t, neurons - 1) * (inputs + 1);
    }
    // s = bias + sum over j of in[j] * w_j, summed in j order in every lane
    float8 sum = rowsAt(rows, 0);
    for (int t = 0; t < NEURON_LANES; ++t) ++rows[t];
    int j = 0;
    for (; j < wholeBlocks; j += NEURON_LANES) {
      float8 columns[NEURON_LANES];
      transposedRows(rows, columns);
      for (int k = 0; k < NEURON_LANES; ++k) sum = sum + in[j + k] * columns[k];
      for (int t = 0; t < NEURON_LANES; ++t) rows[t] += NEURON_LANES;
    }
    for (int k = 0; j < inputs; ++j, ++k) sum = sum + in[j] * rowsAt(rows, k);
    const float8 value = 1.0f / (1.0f + exp(-sum));

    float lanes[NEURON_LANES];
    vstore8(value, 0, lanes);
    const int count = min(NEURON_LANES, end - n0);
    for (int t = 0; t < count; ++t) {
      const int neuron = n0 + t;
      float v = lanes[t];
      activations[activationOffset + neuron] = v;
      if (isOutputLayer) {
        const float low = outputRanges[2 * neuron];
        const float high = outputRanges[2 * neuron + 1];
        v = low + (high - low) * v;
      }
      result[neuron] = v;
    }
  }
}
#endif  // WORK_SPLIT_GPU

// layer_propagate_backwards: error terms and weight changes of one layer's neurons j;
// launched for the output layer first, then down to layer 1.
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
#ifdef WORK_SPLIT_GPU
// GPU split: work-item j takes neuron j: its error term, then its block of weight changes.
// Neighbouring work-items read neighbouring weights of each upper neuron.
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
    // delta = (sum over k of upperDeltas[k] * w_kj) * a(1 - a), summed in k order; w_kj is
    // weight j of upper neuron k's block.
    __global const float* upperWeights =
        weights + weightOffset + (inputs + 1) * neurons + 1 + j;
    float sum = 0.0f;
    for (int k = 0; k < nextNeurons; ++k) {
      sum = sum + upperDeltas[k] * upperWeights[k * (neurons + 1)];
    }
    delta = sum * (a * (1.0f - a));
  }
  deltas[j] = delta;
  // Overwrites 0 + rate*delta for the bias and 0 + rate*delta*input for each weight: the host
  // adds each change to a zeroed array, and 0 + x differs from x when x is -0.
  __global const float* below = activations + activationOffset - inputs;
  __global float* block = deltaWeights + weightOffset + j * (inputs + 1);
  const float step = learningRate * delta;
  block[0] = 0.0f + step;
  for (int i = 0; i < inputs; ++i) block[1 + i] = 0.0f + step * below[i];
}
#else
// CPU split: work-item 0 of a group takes the group's neurons eight at a time, as in the
// forward kernel: the hidden error terms of eight neighbours come from one contiguous load per
// upper neuron.
__kernel void layer_propagate_backwards(
    __global const float* activations, int activationOffset, __global const float* upperDeltas,
    __global float* deltas, __global const float* weights, int weightOffset,
    __global float* deltaWeights, int inputs, int neurons, int nextNeurons, float learningRate,
    int isOutputLayer, __global const float* targets, int targetOffset,
    __global const float* outputRanges) {
  if (get_local_id(0) != 0) return;
  const int first = get_global_id(0);
  const int end = min(first + (int)get_local_size(0), neurons);
  __global const float* below = activations + activationOffset - inputs;
  const int wholeBlocks = inputs / NEURON_LANES * NEURON_LANES;

  for (int j0 = first; j0 < end; j0 += NEURON_LANES) {
    const int count = min(NEURON_LANES, end - j0);
    float lanes[NEURON_LANES];
    if (isOutputLayer) {
      // delta = a(1 - a)(t' - a), t' = (t - min) / (max - min)
      for (int t = 0; t < count; ++t) {
        const int j = j0 + t;
        const float a = activations[activationOffset + j];
        const float low = outputRanges[2 * j];
        const float high = outputRanges[2 * j + 1];
        const float target = (targets[targetOffset + j] - low) / (high - low);
        lanes[t] = a * (1.0f - a) * (target - a);
      }
    } else {
      // delta = (sum over k of upperDeltas[k] * w_kj) * a(1 - a), summed in k order; the
      // weights of neurons j0 ... j0 + 7 on one upper neuron k lie side by side. Lanes past
      // the last neuron repeat it and are not stored.
      __global const float* upperWeights = weights + weightOffset + (inputs + 1) * neurons + 1;
      float8 sum = (float8)(0.0f);
      if (count == NEURON_LANES) {
        for (int k = 0; k < nextNeurons; ++k) {
          sum = sum + upperDeltas[k] * vload8(0, upperWeights + k * (neurons + 1) + j0);
        }
      } else {
        for (int k = 0; k < nextNeurons; ++k) {
          __global const float* row = upperWeights + k * (neurons + 1);
          float w[NEURON_LANES];
          for (int t = 0; t < NEURON_LANES; ++t) w[t] = row[min(j0 + t, neurons - 1)];
          sum = sum + upperDeltas[k] * vload8(0, w);
        }
      }
      for (int t = 0; t < NEURON_LANES; ++t) {
        lanes[t] = activations[activationOffset + min(j0 + t, neurons - 1)];
      }
      const float8 a = vload8(0, lanes);
      vstore8(sum * (a * (1.0f - a)), 0, lanes);
    }

    for (int t = 0; t < count; ++t) {
      const int j = j0 + t;
      const float delta = lanes[t];
      deltas[j] = delta;
      // Overwrites rate*delta for the bias and rate*delta*input for each weight.
      __global float* block = deltaWeights + weightOffset + j * (inputs + 1);
      const float step = learningRate * delta;
      block[0] = step;
      int i = 0;
      for (; i < wholeBlocks; i += NEURON_LANES) {
        vstore8(step * vload8(0, below + i), 0, block + 1 + i);
      }
      for (; i < inputs; ++i) block[1 + i] = step * below[i];
    }
  }
}
#endif  // WORK_SPLIT_GPU

// apply_delta_weights: weights[k] += deltaWeights[k] for k < count, one work-item per weight
// under both splits.
__kernel void apply_delta_weights(__global float* weights, __global const float* deltaWeights,
                                  int count) {
  const int k = get_global_id(0);
  if (k < count) weights[k] = weights[k] + deltaWeights[k];
}

// train_epoch: a whole epoch of on-line back-propagation in one launch of one work-group, for
// the GPU split: the host's per-sample steps cost several launches each, and on a GPU a launch
// costs far more than the arithmetic of a small network (an epoch of more samples than the
// host puts in one launch takes a few). The group copies the weights into
// local memory, walks the samples in order, and writes the weights back at the end; a barrier
// separates every phase, and within a phase work-item g takes neurons (or weights) g, g + G, ...
// Every weight ends exactly as the steps of NN_BP leave it: the same float operations in the
// same order (sums in input order, 0 + change for each weight change, then weight + change).
//   inputs [s * layers[0] + j], targets [s * outputs + k]: the training set
//   weights                the network's weights (layout at the top), read and written back
//   order [k]              the k-th sample of the epoch when useOrder, else sample k; this
//                          launch takes k = first ... first + count - 1
//   localWeights [w]       weightCount floats
//   activations, deltas    one float per neuron, input layer first (as activationsBuffer)
__kernel void train_epoch(__global const float* inputs, __global const float* targets,
                          __global float* weights, __global const int* layers,
                          const int layerCount, __global const float* outputRanges,
                          const float learningRate, __global const int* order,
                          const int useOrder, const int first, const int count,
                          const int weightCount,
                          __local float* localWeights, __local float* activations,
                          __local float* deltas) {
  const int g = get_local_id(0);
  const int G = get_local_size(0);
  for (int w = g; w < weightCount; w += G) localWeights[w] = weights[w];
  const int inputCount = layers[0];
  const int outputCount = layers[layerCount - 1];
  int outputFirst = 0;  // first activation of the output layer
  for (int l = 0; l < layerCount - 1; ++l) outputFirst += layers[l];

  for (int k = first; k < first + count; ++k) {
    const int s = useOrder ? order[k] : k;
    // The sample's inputs, and its targets into the output layer's deltas until those are
    // computed: both reads from global memory are in flight at once.
    for (int j = g; j < inputCount; j += G) activations[j] = inputs[(size_t)s * inputCount + j];
    for (int i = g; i < outputCount; i += G) {
      deltas[outputFirst + i] = targets[(size_t)s * outputCount + i];
    }
    barrier(CLK_LOCAL_MEM_FENCE);

    // Forward: a_i = sigmoid(bias_i + sum over j of below[j] * w_ij), in j order.
    int below = 0;  // first activation of layer l - 1
    int block = 0;  // first weight of layer l
    for (int l = 1; l < layerCount; ++l) {
      const int belowCount = layers[l - 1];
      const int above = below + belowCount;
      for (int i = g; i < layers[l]; i += G) {
        __local const float* w = localWeights + block + i * (belowCount + 1);
        float sum = w[0];
        for (int j = 0; j < belowCount; ++j) sum = sum + activations[below + j] * w[1 + j];
        activations[above + i] = sigmoid(sum);
      }
      barrier(CLK_LOCAL_MEM_FENCE);
      block += layers[l] * (belowCount + 1);
      below = above;
    }

    // Output layer: delta = a(1 - a)(t' - a), t' = (t - min) / (max - min).
    for (int i = g; i < outputCount; i += G) {
      const float a = activations[below + i];
      const float low = outputRanges[2 * i];
      const float high = outputRanges[2 * i + 1];
      const float target = (deltas[below + i] - low) / (high - low);
      deltas[below + i] = a * (1.0f - a) * (target - a);
    }
    barrier(CLK_LOCAL_MEM_FENCE);

    // Hidden layers, top down: delta_j = (sum over k of upper delta_k * w_kj) * a_j(1 - a_j),
    // in k order, with the weights of this sample (none changed yet).
    int upper = below;  // first activation of layer l + 1
    int upperBlock = block - layers[layerCount - 1] * (layers[layerCount - 2] + 1);
    for (int l = layerCount - 2; l >= 1; --l) {
      const int count = layers[l];
      const int own = upper - count;
      for (int j = g; j < count; j += G) {
        float sum = 0.0f;
        for (int u = 0; u < layers[l + 1]; ++u) {
          sum = sum + deltas[upper + u] * localWeights[upperBlock + u * (count + 1) + 1 + j];
        }
        const float a = activations[own + j];
        deltas[own + j] = sum * (a * (1.0f - a));
      }
      barrier(CLK_LOCAL_MEM_FENCE);
      upper = own;
      upperBlock -= count * (layers[l - 1] + 1);
    }

    // Every weight at once: w = w + (0 + rate * delta * input), the bias's input being 1.
    int first = 0;                // first weight of layer l
    int ownNeurons = inputCount;  // first activation of layer l
    for (int l = 1; l < layerCount; ++l) {
      const int blockSize = layers[l - 1] + 1;
      const int belowFirst = ownNeurons - layers[l - 1];
      for (int w = g; w < layers[l] * blockSize; w += G) {
        const int neuron = w / blockSize;
        const int input = w - neuron * blockSize;
        const float change = learningRate * deltas[ownNeurons + neuron];
        const float step = input == 0 ? change : change * activations[belowFirst + input - 1];
        localWeights[first + w] = localWeights[first + w] + (0.0f + step);
      }
      first += layers[l] * blockSize;
      ownNeurons += layers[l];
    }
    barrier(CLK_LOCAL_MEM_FENCE);
  }
  for (int w = g; w < weightCount; w += G) weights[w] = localWeights[w];
}

// ---------------------------- end of back-propagation kernels -----------------------------

// ===========================================================================================
// Particle-swarm kernels: every particle's network on every sample, and the per-particle
// mean squared error.
// ===========================================================================================

// Both simulation kernels are launched over (population, samples rounded up to G) with local
// size (1, G): work-group (p, b) stands for particle p and the G consecutive samples of block
// b (the local kernel computes just that; the CPU split's private kernel shares work among
// neighbouring groups, see there). They write
// outputs[(p * samples + s) * outputsPerSample + k] = output k of feedForward of input s with
// particle p's weights, in data units. Whether samples lie side by side in vector lanes (CPU
// split) or in work-items (GPU split), each sample's weighted sums are the host's sequence of
// float operations (bias first, then + value * weight in input order); only exp may differ
// from the host's by its ulps.
// Weights of particle p: weights[p * weightsPerNetwork ...], the layout at the top.

#ifndef WORK_SPLIT_GPU
// Samples per float8, and the particles that share one work-group's samples in
// simulate_neural_networks_private.
#define SAMPLE_LANES 8
#define SWARM_SHARE 8

// The logistic function lane by lane, the same formula as sigmoid above.
float8 sigmoid8(float8 x) { return 1.0f / (1.0f + exp(-x)); }

// Inputs j0 ... j0 + 7 of the eight samples from `first` on, one float8 per input with
// sample first + t in lane t: eight row loads and an 8 x 8 transpose in registers, much
// cheaper than 64 single loads. Reads inputs[(first + t) * inputCount + j0 + k] for t, k < 8,
// past a row's end too: the caller checks that the reads stay inside the buffer
// (blockLoadsFit).
void inputBlock(__global const float* inputs, int inputCount, int first, int j0,
                float8* columns) {
  __global const float* row = inputs + (size_t)first * inputCount + j0;
  const float8 r0 = vload8(0, row), r1 = vload8(0, row + inputCount);
  const float8 r2 = vload8(0, row + 2 * inputCount), r3 = vload8(0, row + 3 * inputCount);
  const float8 r4 = vload8(0, row + 4 * inputCount), r5 = vload8(0, row + 5 * inputCount);
  const float8 r6 = vload8(0, row + 6 * inputCount), r7 = vload8(0, row + 7 * inputCount);
  transpose8(r0, r1, r2, r3, r4, r5, r6, r7, columns);
}

// Whether inputBlock may serve the eight samples from `first` on: they all exist and the
// last block's reads end inside the samples' inputs.
bool blockLoadsFit(int first, int samples, int inputCount) {
  const size_t lastBlock = (size_t)((inputCount - 1) / 8 * 8);
  return first + 8 <= samples &&
         (size_t)(first + 7) * inputCount + lastBlock + 8 <= (size_t)samples * inputCount;
}

// One layer of four networks on the same eight samples, four independent sums in flight:
// aboveR[i] = sigmoid(wR[0] + sum over j of belowR[j] * wR[1 + j]), the sum in j order, for
// R = 0 ... 3, where wR walks through the layer's blocks of network R.
void layerOfFour(const float8* below0, const float8* below1, const float8* below2,
                 const float8* below3, int belowCount, int neurons, __global const float* w0,
                 __global const float* w1, __global const float* w2, __global const float* w3,
                 float8* above0, float8* above1, float8* above2, float8* above3) {
  for (int i = 0; i < neurons; ++i) {
    float8 sum0 = (float8)(w0[0]), sum1 = (float8)(w1[0]);
    float8 sum2 = (float8)(w2[0]), sum3 = (float8)(w3[0]);
    for (int j = 0; j < belowCount; ++j) {
      sum0 = sum0 + below0[j] * w0[1 + j];
      sum1 = sum1 + below1[j] * w1[1 + j];
      sum2 = sum2 + below2[j] * w2[1 + j];
      sum3 = sum3 + below3[j] * w3[1 + j];
    }
    above0[i] = sigmoid8(sum0);
    above1[i] = sigmoid8(sum1);
    above2[i] = sigmoid8(sum2);
    above3[i] = sigmoid8(sum3);
    w0 += belowCount + 1;
    w1 += belowCount + 1;
    w2 += belowCount + 1;
    w3 += belowCount + 1;
  }
}
#endif  // !WORK_SPLIT_GPU

// simulate_neural_networks_private: a work-item's layer values in private arrays of
// PRIVATE_MEM_SIZE entries.
//   inputs [s * layers[0] + j]; layers [l]; outputRanges [2k] min, [2k + 1] max of output k
#ifdef WORK_SPLIT_GPU
// GPU split: work-item (p, s) takes sample s through particle p's network; the group's
// work-items share p, so they all read the same weight at a time.
__kernel void simulate_neural_networks_private(
    __global const float* inputs, __global const float* weights, __global float* outputs,
    const int layerCount, __global const int* layers, __global const float* outputRanges,
    const int population, const int samples, const int weightsPerNetwork) {
  const int p = get_global_id(0);
  const int s = get_global_id(1);
  if (p >= population || s >= samples) return;
  const int inputCount = layers[0];
  float valuesA[PRIVATE_MEM_SIZE], valuesB[PRIVATE_MEM_SIZE];
  for (int j = 0; j < inputCount; ++j) valuesA[j] = inputs[(size_t)s * inputCount + j];

  // One running pointer walks the weights in storage order: layer by layer, neuron by neuron.
  __global const float* block = weights + (size_t)p * weightsPerNetwork;
  for (int l = 1; l < layerCount; ++l) {
    const float* below = (l % 2 == 1) ? valuesA : valuesB;
    float* above = (l % 2 == 1) ? valuesB : valuesA;
    const int belowCount = layers[l - 1];
    for (int i = 0; i < layers[l]; ++i, block += belowCount + 1) {
      // s_i = bias + sum over j of below[j] * w_j, in j order
      float sum = block[0];
      for (int j = 0; j < belowCount; ++j) sum = sum + below[j] * block[1 + j];
      above[i] = sigmoid(sum);
    }
  }

  const float* last = (layerCount % 2 == 1) ? valuesA : valuesB;
  const int outputCount = layers[layerCount - 1];
  __global float* result = outputs + ((size_t)p * samples + s) * outputCount;
  for (int k = 0; k < outputCount; ++k) {
    const float minimum = outputRanges[2 * k];
    const float maximum = outputRanges[2 * k + 1];
    result[k] = minimum + (maximum - minimum) * last[k];
  }
}
#else
// CPU split: float8 arrays, one lane per sample. Turning a sample's inputs into lanes costs
// about as much as a layer, so the groups of SWARM_SHARE consecutive particles share it: the
// group of particle p and sample block b computes, for every particle of p's share, its part
// of block b (the block cut into as many nearly equal parts as the share has particles, part
// p mod SWARM_SHARE); together the share's groups cover every particle on every sample of the
// block. Work-item 0 of a group
// takes the part's samples eight at a time and runs the particles four at a time; the others
// do nothing, and return at once: on a CPU device a group's work-items are iterations of one
// loop, where every other test or index would cost each idle work-item again.
__kernel void simulate_neural_networks_private(
    __global const float* inputs, __global const float* weights, __global float* outputs,
    const int layerCount, __global const int* layers, __global const float* outputRanges,
    const int population, const int samples, const int weightsPerNetwork) {
  const int p = get_global_id(0);
  if (p >= population || get_local_id(1) != 0) return;
  const int firstParticle = p - p % SWARM_SHARE;
  const int particles = min(SWARM_SHARE, population - firstParticle);
  const int part = p - firstParticle;
  const int groupSize = get_local_size(1);
  const int blockStart = get_group_id(1) * groupSize;
  const int partEnd = min(blockStart + (part + 1) * groupSize / particles, samples);
  for (int first = blockStart + part * groupSize / particles; first < partEnd;
       first += SAMPLE_LANES) {
    const int count = min(SAMPLE_LANES, partEnd - first);

    // Input j of every lane's sample; lanes past count repeat the last sample.
    const int inputCount = layers[0];
    float8 input[PRIVATE_MEM_SIZE];
    if (count == SAMPLE_LANES && blockLoadsFit(first, samples, inputCount)) {
      for (int j0 = 0; j0 < inputCount; j0 += 8) {
        float8 columns[8];
        inputBlock(inputs, inputCount, first, j0, columns);
        for (int k = 0; k < 8 && j0 + k < inputCount; ++k) input[j0 + k] = columns[k];
      }
    } else {
      float* inputLanes = (float*)input;
      for (int t = 0; t < SAMPLE_LANES; ++t) {
        __global const float* row = inputs + (size_t)(first + min(t, count - 1)) * inputCount;
        for (int j = 0; j < inputCount; ++j) inputLanes[j * SAMPLE_LANES + t] = row[j];
      }
    }

    const int outputCount = layers[layerCount - 1];
    float8 valuesA0[PRIVATE_MEM_SIZE], valuesA1[PRIVATE_MEM_SIZE], valuesA2[PRIVATE_MEM_SIZE],
        valuesA3[PRIVATE_MEM_SIZE];
    float8 valuesB0[PRIVATE_MEM_SIZE], valuesB1[PRIVATE_MEM_SIZE], valuesB2[PRIVATE_MEM_SIZE],
        valuesB3[PRIVATE_MEM_SIZE];
    float lanes[SAMPLE_LANES];
    for (int q = 0; q < particles; q += 4) {
      // Particles q ... q + 3 of the share; past its end the last one again, not written.
      __global const float* w0 = weights + (size_t)(firstParticle + q) * weightsPerNetwork;
      __global const float* w1 =
          weights + (size_t)(firstParticle + min(q + 1, particles - 1)) * weightsPerNetwork;
      __global const float* w2 =
          weights + (size_t)(firstParticle + min(q + 2, particles - 1)) * weightsPerNetwork;
      __global const float* w3 =
          weights + (size_t)(firstParticle + min(q + 3, particles - 1)) * weightsPerNetwork;
      const float8 *below0 = input, *below1 = input, *below2 = input, *below3 = input;
      int belowCount = inputCount;
      int offset = 0;  // first weight of layer l
      for (int l = 1; l < layerCount; ++l) {
        float8* above0 = (l % 2 == 1) ? valuesA0 : valuesB0;
        float8* above1 = (l % 2 == 1) ? valuesA1 : valuesB1;
        float8* above2 = (l % 2 == 1) ? valuesA2 : valuesB2;
        float8* above3 = (l % 2 == 1) ? valuesA3 : valuesB3;
        const int neurons = layers[l];
        layerOfFour(below0, below1, below2, below3, belowCount, neurons, w0 + offset,
                    w1 + offset, w2 + offset, w3 + offset, above0, above1, above2, above3);
        offset += neurons * (belowCount + 1);
        below0 = above0, below1 = above1, below2 = above2, below3 = above3;
        belowCount = neurons;
      }
      const float8* last[4] = {below0, below1, below2, below3};
      for (int r = 0; r < 4 && q + r < particles; ++r) {
        __global float* result =
            outputs + ((size_t)(firstParticle + q + r) * samples + first) * outputCount;
        for (int k = 0; k < outputCount; ++k) {
          const float minimum = outputRanges[2 * k];
          const float maximum = outputRanges[2 * k + 1];
          const float8 values = (float8)(minimum) + (float8)(maximum - minimum) * last[r][k];
          if (outputCount == 1 && count == SAMPLE_LANES) {
            vstore8(values, 0, result);  // consecutive samples' single outputs
          } else {
            vstore8(values, 0, lanes);
            for (int t = 0; t < count; ++t) result[t * outputCount + k] = lanes[t];
          }
        }
      }
    }
  }
}
#endif  // WORK_SPLIT_GPU

// simulate_neural_networks_local: the particle's weights and the group's layer values in local
// memory. Arguments 0 to 8 as in simulate_neural_networks_private, then
//   maxLayer             maxLayerSize()
//   localWeights [w]     copy of the particle's weights (weightsPerNetwork floats)
//   valuesA, valuesB     [i * G + q]: neuron i of a layer for sample q of the group
//                        (G * maxLayer floats each; layers alternate between them)
#ifdef WORK_SPLIT_GPU
// GPU split: the group's work-items copy the weights together (neighbours copy neighbouring
// weights), wait at the barrier until the copy is complete, and then each takes its own
// sample q through every layer in column q of valuesA and valuesB: no work-item reads what
// another wrote, so no further barrier is needed. Work-items past the set copy and stop.
__kernel void simulate_neural_networks_local(
    __global const float* inputs, __global const float* weights, __global float* outputs,
    const int layerCount, __global const int* layers, __global const float* outputRanges,
    const int population, const int samples, const int weightsPerNetwork, const int maxLayer,
    __local float* localWeights, __local float* valuesA, __local float* valuesB) {
  const int p = get_global_id(0);
  const int s = get_global_id(1);
  const int q = get_local_id(1);
  const int groupSize = get_local_size(1);
  // Every work-item of the group reaches the barrier, past the set or not.
  if (p < population) {
    __global const float* particleWeights = weights + (size_t)p * weightsPerNetwork;
    for (int w = q; w < weightsPerNetwork; w += groupSize) localWeights[w] = particleWeights[w];
  }
  barrier(CLK_LOCAL_MEM_FENCE);
  if (p >= population || s >= samples) return;

  const int inputCount = layers[0];
  for (int j = 0; j < inputCount; ++j) {
    valuesA[j * groupSize + q] = inputs[(size_t)s * inputCount + j];
  }
  // One running pointer walks the weights in storage order: layer by layer, neuron by neuron.
  __local const float* block = localWeights;
  for (int l = 1; l < layerCount; ++l) {
    __local const float* below = (l % 2 == 1) ? valuesA : valuesB;
    __local float* above = (l % 2 == 1) ? valuesB : valuesA;
    const int belowCount = layers[l - 1];
    for (int i = 0; i < layers[l]; ++i, block += belowCount + 1) {
      // s_i = bias + sum over j of below[j] * w_j, in j order
      float sum = block[0];
      for (int j = 0; j < belowCount; ++j) sum = sum + below[j * groupSize + q] * block[1 + j];
      above[i * groupSize + q] = sigmoid(sum);
    }
  }

  __local const float* last = (layerCount % 2 == 1) ? valuesA : valuesB;
  const int outputCount = layers[layerCount - 1];
  __global float* result = outputs + ((size_t)p * samples + s) * outputCount;
  for (int k = 0; k < outputCount; ++k) {
    const float minimum = outputRanges[2 * k];
    const float maximum = outputRanges[2 * k + 1];
    result[k] = minimum + (maximum - minimum) * last[k * groupSize + q];
  }
}
#else
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

// CPU split: work-item 0 does the whole group's work: it copies the weights, lays out the
// inputs and takes the group's samples through every layer, 32 at a time (neuronForGroup). On
// a CPU device a group's work-items run one after another anyway, and every barrier between
// them would cost a save and restore of each work-item's state; the others do nothing.
// Samples past the set repeat the last sample and are not written.
__kernel void simulate_neural_networks_local(
    __global const float* inputs, __global const float* weights, __global float* outputs,
    const int layerCount, __global const int* layers, __global const float* outputRanges,
    const int population, const int samples, const int weightsPerNetwork, const int maxLayer,
    __local float* localWeights, __local float* valuesA, __local float* valuesB) {
  const int p = get_global_id(0);
  const int groupSize = get_local_size(1);
  if (p >= population || get_local_id(1) != 0) return;
  // Weights eight at a time, then the rest.
  __global const float* particleWeights = weights + (size_t)p * weightsPerNetwork;
  int w = 0;
  for (; w + 8 <= weightsPerNetwork; w += 8)
    vstore8(vload8(0, particleWeights + w), 0, localWeights + w);
  for (; w < weightsPerNetwork; ++w) localWeights[w] = particleWeights[w];

  // The group's inputs, eight samples at a time.
  const int blockStart = get_group_id(1) * groupSize;
  const int inputCount = layers[0];
  for (int chunk = 0; chunk < groupSize; chunk += 8) {
    const int first = blockStart + chunk;
    if (chunk + 8 <= groupSize && blockLoadsFit(first, samples, inputCount)) {
      for (int j0 = 0; j0 < inputCount; j0 += 8) {
        float8 columns[8];
        inputBlock(inputs, inputCount, first, j0, columns);
        for (int k = 0; k < 8 && j0 + k < inputCount; ++k)
          vstore8(columns[k], 0, valuesA + (j0 + k) * groupSize + chunk);
      }
    } else {
      for (int q = chunk; q < min(chunk + 8, groupSize); ++q) {
        const int sample = min(blockStart + q, samples - 1);
        for (int j = 0; j < inputCount; ++j)
          valuesA[j * groupSize + q] = inputs[(size_t)sample * inputCount + j];
      }
    }
  }

  int offset = 0;  // first weight of layer l
  for (int l = 1; l < layerCount; ++l) {
    __local const float* below = (l % 2 == 1) ? valuesA : valuesB;
    __local float* above = (l % 2 == 1) ? valuesB : valuesA;
    const int belowCount = layers[l - 1];
    const int neurons = layers[l];
    for (int i = 0; i < neurons; ++i)
      neuronForGroup(below, belowCount, localWeights + offset + i * (belowCount + 1),
                     groupSize, above + i * groupSize);
    offset += neurons * (belowCount + 1);
  }

  __local const float* last = (layerCount % 2 == 1) ? valuesA : valuesB;
  const int outputCount = layers[layerCount - 1];
  const int written = min(groupSize, samples - blockStart);
  int q = 0;
  if (outputCount == 1) {
    // One output: the results of consecutive samples are consecutive, eight at a time.
    const float minimum = outputRanges[0];
    const float span = outputRanges[1] - minimum;
    __global float* result = outputs + (size_t)p * samples + blockStart;
    for (; q + 8 <= written; q += 8)
      vstore8((float8)(minimum) + (float8)(span) * vload8(0, last + q), 0, result + q);
  }
  for (; q < written; ++q) {
    __global float* result = outputs + ((size_t)p * samples + blockStart + q) * outputCount;
    for (int k = 0; k < outputCount; ++k) {
      const float minimum = outputRanges[2 * k];
      const float maximum = outputRanges[2 * k + 1];
      result[k] = minimum + (maximum - minimum) * last[k * groupSize + q];
    }
  }
}
#endif  // WORK_SPLIT_GPU

// mean_squared_errors: one work-group of G per particle p (G = 64 under the CPU split).
//   outputs [(p * samples + s) * outputsPerSample + k]; targets [s * outputsPerSample + k]
//   mses [p] = sum of (output - target)^2 over all samples and outputs / (samples * outputs)
//   partial: G floats of local memory
// The host sums in double in element order; each split fixes its float order by G alone, so
// results never depend on timing, and both agree with the host to a relative 1e-5 or so for
// sets of ordinary size.
#ifdef WORK_SPLIT_GPU
// GPU split: work-item g sums elements g, g + G, g + 2G, ... in that order (neighbouring
// work-items read neighbouring elements), then a tree across the group: the partial sums past
// the largest power of two P <= G are added onto the first ones, then P/2, P/4, ... halves.
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
  int width = 1;
  while (2 * width <= groupSize) width *= 2;
  if (g >= width) partial[g - width] = partial[g - width] + partial[g];
  barrier(CLK_LOCAL_MEM_FENCE);
  for (int stride = width / 2; stride > 0; stride /= 2) {
    if (g < stride) partial[g] = partial[g] + partial[g + stride];
    barrier(CLK_LOCAL_MEM_FENCE);
  }
  if (g == 0) mses[p] = partial[0] / (float)count;
}
#else
// CPU split: work-item g sums the g-th run of consecutive elements (runs of a multiple of
// eight, as equal as that allows) in eight float lanes, then adds the lanes pairwise; the 64
// partial sums are then added pairwise too (G must be a power of two: the host uses 64).
__kernel void mean_squared_errors(__global const float* outputs, __global const float* targets,
                                  __global float* mses, const int samples,
                                  const int outputsPerSample, __local float* partial) {
  const int p = get_group_id(0);
  const int g = get_local_id(0);
  const int groupSize = get_local_size(0);
  const int count = samples * outputsPerSample;
  __global const float* particleOutputs = outputs + (size_t)p * count;
  const int run = ((count + groupSize - 1) / groupSize + 7) / 8 * 8;
  const int end = min((g + 1) * run, count);
  int e = min(g * run, count);
  float8 lanes = (float8)(0.0f);
  for (; e + 8 <= end; e += 8) {
    const float8 difference = vload8(0, particleOutputs + e) - vload8(0, targets + e);
    lanes = lanes + difference * difference;
  }
  float sum = ((lanes.s0 + lanes.s1) + (lanes.s2 + lanes.s3)) +
              ((lanes.s4 + lanes.s5) + (lanes.s6 + lanes.s7));
  for (; e < end; ++e) {
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
#endif  // WORK_SPLIT_GPU

// ------------------------------ end of particle-swarm kernels -----------------------------
