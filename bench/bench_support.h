#pragma once

// Shared by the benchmarks: case labels, medians, and the network files of a case in a
// scratch folder.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace bench {

// "12-10-1" for layers {12, 10, 1}.
inline std::string topologyName(const std::vector<int>& layers) {
  std::string name;
  for (size_t l = 0; l < layers.size(); ++l) name += (l ? "-" : "") + std::to_string(layers[l]);
  return name;
}

inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// A fresh folder, removed with its files when the object goes.
using test_support::ScratchFolder;

// The network configuration file: layer sizes separated by blanks.
inline void writeConfiguration(const std::string& name, const std::vector<int>& layers) {
  std::ofstream out(name);
  for (int size : layers) out << size << " ";
  out << "\n";
}

// A training data file of samples training samples and no others: inputs uniform in [0, 10],
// targets 0 or 1 from a random linear rule, all drawn from rand() after srand(seed).
inline void writeLinearRuleSamples(const std::string& name, const std::vector<int>& layers,
                                   int samples, unsigned seed) {
  const int n = layers.front();
  const int m = layers.back();
  std::srand(seed);
  std::vector<double> rule(n);
  for (double& r : rule) r = std::rand() / 2147483648.0 - 0.5;
  std::ofstream out(name);
  out << samples << " 0 0\n" << n << " " << m << "\n";
  for (int j = 0; j < n; ++j) out << "-1.25 11.25\n";
  for (int k = 0; k < m; ++k) out << "-0.125 1.125\n";
  for (int s = 0; s < samples; ++s) {
    double sum = 0;
    for (int j = 0; j < n; ++j) {
      double x = 10.0 * (std::rand() / 2147483648.0);
      sum += rule[j] * (x - 5.0);
      out << x << "\t";
    }
    for (int k = 0; k < m; ++k) out << (sum > 0 ? 1 : 0) << "\t";
    out << "\n";
  }
}

}  // namespace bench
