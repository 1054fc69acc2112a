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

// ---------------------------- end of back-propagation kernels -----------------------------

// ===========================================================================================
// Particle-swarm kernels: every particle's network on every sample, and the per-particle
// mean squared error.
// ===========================================================================================

// ------------------------------ end of particle-swarm kernels -----------------------------
