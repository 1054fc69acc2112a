#include "nn/network.h"

// x' = 2 (x - min) / (max - min) - 1, written as a sum so that every backend rounds alike.
std::vector<float> NN::scaleInputs(std::vector<float>& inputs) const {
  const size_t n = static_cast<size_t>(inputSize());
  const size_t rows = inputs.size() / n;
  const float* ranges = inputRanges.data();
  for (size_t row = 0; row < rows; ++row) {
    float* values = inputs.data() + row * n;
    for (size_t j = 0; j < n; ++j) {
      const float minimum = ranges[2 * j];
      const float maximum = ranges[2 * j + 1];
      const float shifted = values[j] - minimum;
      values[j] = (shifted + shifted) / (maximum - minimum) - 1.0f;
    }
  }
  return inputs;
}

// t' = (t - min) / (max - min): targets in [0, 1], the sigmoid's range.
std::vector<float> NN::scaleTarget(const float* target) const {
  const int m = outputSize();
  std::vector<float> scaled(m);
  for (int j = 0; j < m; ++j) {
    const float minimum = outputRanges[2 * j];
    const float maximum = outputRanges[2 * j + 1];
    scaled[j] = (target[j] - minimum) / (maximum - minimum);
  }
  return scaled;
}
