// The CPU evaluation of the swarm: every particle's outputs on a sample set, and every
// particle's mean squared error.
#include <algorithm>
#include <cstddef>

#include "trainers/pso.h"
#include "trainers/pso_tiles.h"

// outputs[(p*n + s)*m + k] = output k of particle p for sample s, in data units.
// Each particle's weights are read in place from its slice of weights. Where AVX2 is
// available the samples go through in tiles (trainers/pso_tiles.h: the same sums, a
// vectorised sigmoid); otherwise one feedForward per particle and sample.
void NN_PSO::simNNs(const std::vector<float>& inputs) {
  const int n = numberOfSamples(inputs);
  const int P = parameters.populationSize;
  const std::size_t D = static_cast<std::size_t>(parameters.dimension);
  const int m = outputSize();
  const std::size_t particleOutputs = static_cast<std::size_t>(n) * m;
  if (outputs.size() < particleOutputs * P) outputs.assign(particleOutputs * P, 0.0f);

  if (psotiles::available()) {
    std::vector<float> tiles;
    psotiles::arrangeTiles(inputs.data(), n, inputSize(), tiles);
    std::vector<float> scratch(psotiles::scratchSize(maxLayerSize()));
    for (int p = 0; p < P; ++p) {
      psotiles::evaluate(tiles.data(), n, layers, weights.data() + p * D, outputRanges.data(),
                         outputs.data() + p * particleOutputs, scratch.data());
    }
  } else {
    const std::size_t inputCount = static_cast<std::size_t>(inputSize());
    for (int p = 0; p < P; ++p) {
      for (int s = 0; s < n; ++s) {
        feedForward(inputs.data() + s * inputCount, weights.data() + p * D, outputBuffer.data());
        std::copy(outputBuffer.begin(), outputBuffer.begin() + m,
                  outputs.begin() + p * particleOutputs + static_cast<std::size_t>(s) * m);
      }
    }
  }
}

// Element p: the sum over samples s and outputs k, in that order, of
// (outputs[(p*n + s)*m + k] - targets[s*m + k])^2, in double, divided by m*n.
std::vector<float> NN_PSO::mses(const std::vector<float>& targets) {
  const int P = parameters.populationSize;
  const std::size_t values =
      static_cast<std::size_t>(numberOfTargetSamples(targets)) * outputSize();
  std::vector<float> errors(P);
  // Four particles at a time: four independent sums, each still in sample order.
  int p = 0;
  for (; p + 4 <= P; p += 4) {
    const float* o0 = outputs.data() + p * values;
    const float* o1 = o0 + values;
    const float* o2 = o1 + values;
    const float* o3 = o2 + values;
    double sum0 = 0.0, sum1 = 0.0, sum2 = 0.0, sum3 = 0.0;
    for (std::size_t i = 0; i < values; ++i) {
      const double target = targets[i];
      const double d0 = o0[i] - target;
      const double d1 = o1[i] - target;
      const double d2 = o2[i] - target;
      const double d3 = o3[i] - target;
      sum0 = sum0 + d0 * d0;
      sum1 = sum1 + d1 * d1;
      sum2 = sum2 + d2 * d2;
      sum3 = sum3 + d3 * d3;
    }
    errors[p] = static_cast<float>(sum0 / values);
    errors[p + 1] = static_cast<float>(sum1 / values);
    errors[p + 2] = static_cast<float>(sum2 / values);
    errors[p + 3] = static_cast<float>(sum3 / values);
  }
  for (; p < P; ++p) {
    const float* o = outputs.data() + p * values;
    double sum = 0.0;
    for (std::size_t i = 0; i < values; ++i) {
      const double d = o[i] - static_cast<double>(targets[i]);
      sum = sum + d * d;
    }
    errors[p] = static_cast<float>(sum / values);
  }
  return errors;
}
