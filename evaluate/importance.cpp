#include "evaluate/importance.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iostream>

namespace {

// Fisher-Yates with rand(): every order of 0 .. n-1 about equally likely.
std::vector<size_t> shuffledOrder(size_t n) {
  std::vector<size_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = i;
  for (size_t i = n; i > 1; --i) {
    const size_t draw = (static_cast<size_t>(std::rand()) << 31 | std::rand()) % i;
    std::swap(order[i - 1], order[draw]);
  }
  return order;
}

}  // namespace

std::vector<Importance> permutationImportance(const NN_evaluated& network,
                                              const std::vector<float>& scaledInputs,
                                              const std::vector<uint8_t>& positive, int output,
                                              const std::vector<ColumnGroup>& groups,
                                              int shuffles) {
  const size_t n = static_cast<size_t>(network.inputSize());
  const size_t rows = scaledInputs.size() / n;
  const double baseAuc = Ranking(network.outputsOf(scaledInputs, output), positive).rocAuc();
  std::vector<float> shuffled = scaledInputs;
  std::vector<Importance> result;
  const auto start = std::chrono::steady_clock::now();
  auto lastReport = start;
  for (size_t g = 0; g < groups.size(); ++g) {
    const std::vector<int>& columns = groups[g].columns;
    double sum = 0;
    for (int s = 0; s < shuffles; ++s) {
      const std::vector<size_t> order = shuffledOrder(rows);
      for (size_t r = 0; r < rows; ++r) {
        for (int c : columns) shuffled[r * n + c] = scaledInputs[order[r] * n + c];
      }
      sum += baseAuc - Ranking(network.outputsOf(shuffled, output), positive).rocAuc();
    }
    for (size_t r = 0; r < rows; ++r) {
      for (int c : columns) shuffled[r * n + c] = scaledInputs[r * n + c];
    }
    result.push_back({groups[g].name, sum / shuffles});
    const auto now = std::chrono::steady_clock::now();
    if (now - lastReport > std::chrono::seconds(2) || g + 1 == groups.size()) {
      std::cerr << "importance: " << g + 1 << " of " << groups.size() << " attributes, "
                << std::chrono::duration<double>(now - start).count() << " s" << std::endl;
      lastReport = now;
    }
  }
  // A nan drop (AUC undefined) sorts last.
  std::stable_sort(result.begin(), result.end(), [](const Importance& a, const Importance& b) {
    return a.drop > b.drop || (!std::isnan(a.drop) && std::isnan(b.drop));
  });
  return result;
}
