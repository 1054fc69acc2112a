#include "score/scoring_network.h"

#include "nn/batch_forward.h"

float ScoringNetwork::outputOf(const float* scaledInput) {
  feedForward(scaledInput, weights.data(), outputBuffer.data());
  return outputBuffer[0];
}

void ScoringNetwork::outputsOf(const float* scaledInputs, size_t count, float* results) const {
  forwardOutputs(layers, weights.data(), outputRanges.data(), scaledInputs, count, 0, results);
}
