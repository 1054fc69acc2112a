#include "evaluate/importance.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "common/terminal_progress.h"

namespace {

// Fisher-Yates with rand(): every order of 0 .. n-1 about equally likely.
std::vector<uint32_t> shuffledOrder(size_t n) {
  std::vector<uint32_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = static_cast<uint32_t>(i);
  for (size_t i = n; i > 1; --i) {
    const size_t draw = (static_cast<size_t>(std::rand()) << 31 | std::rand()) % i;
    std::swap(order[i - 1], order[draw]);
  }
  return order;
}

// The orders of the shuffles drawn at once: about 64 MiB of them.
constexpr size_t kOrderBytes = size_t{64} << 20;

}  // namespace

std::vector<Importance> permutationImportance(
    const NN_evaluated& network, const std::vector<float>& scaledInputs,
    const std::vector<uint8_t>& positive, int output, const std::vector<ColumnGroup>& groups,
    int shuffles, TaskPool& pool, const std::function<void(const std::string&)>& status) {
  const size_t n = static_cast<size_t>(network.inputSize());
  const size_t rows = scaledInputs.size() / n;
  const std::vector<float> baseOutputs = network.outputsOf(scaledInputs, output);
  const double baseAuc = Ranking(baseOutputs, positive).rocAuc();
  const size_t tasks = groups.size() * static_cast<size_t>(shuffles);
  const size_t batch = std::max<size_t>(1, kOrderBytes / std::max<size_t>(1, rows * 4));
  // drops[g * shuffles + s]: the drop of shuffle s of attribute g.
  std::vector<double> drops(tasks);
  std::vector<Importance> result;
  const auto start = std::chrono::steady_clock::now();
  auto lastReport = start;
  for (size_t first = 0; first < tasks; first += batch) {
    const size_t last = std::min(tasks, first + batch);
    std::vector<std::vector<uint32_t>> orders;
    for (size_t t = first; t < last; ++t) orders.push_back(shuffledOrder(rows));
    std::vector<std::future<void>> done;
    for (size_t t = first; t < last; ++t) {
      done.push_back(pool.run([&, t] {
        const std::vector<int>& columns = groups[t / shuffles].columns;
        const std::vector<uint32_t>& order = orders[t - first];
        // Only the rows the shuffle changes go through the network again: a row's output
        // depends on that row alone, so the others keep their outputs bit for bit (a 0/1
        // column that is mostly 0 changes few rows).
        std::vector<size_t> changed;
        std::vector<float> shuffled;
        for (size_t r = 0; r < rows; ++r) {
          const bool same = std::all_of(columns.begin(), columns.end(), [&](int c) {
            return scaledInputs[order[r] * n + c] == scaledInputs[r * n + c];
          });
          if (same) continue;
          changed.push_back(r);
          shuffled.insert(shuffled.end(), scaledInputs.begin() + r * n,
                          scaledInputs.begin() + (r + 1) * n);
          for (int c : columns) shuffled[shuffled.size() - n + c] = scaledInputs[order[r] * n + c];
        }
        std::vector<float> outputs = baseOutputs;
        const std::vector<float> recomputed = network.outputsOf(shuffled, output);
        for (size_t k = 0; k < changed.size(); ++k) outputs[changed[k]] = recomputed[k];
        drops[t] = baseAuc - Ranking(outputs, positive).rocAuc();
      }));
    }
    for (size_t t = first; t < last; ++t) {
      try {
        done[t - first].get();
      } catch (...) {
        // The other shuffles of the batch still read the orders: let them end first.
        for (std::future<void>& other : done) {
          if (other.valid()) other.wait();
        }
        throw;
      }
      if ((t + 1) % shuffles != 0) continue;
      // Attribute g is done: its drops are added in shuffle order.
      const size_t g = t / shuffles;
      double sum = 0;
      for (int s = 0; s < shuffles; ++s) sum += drops[g * shuffles + s];
      result.push_back({groups[g].name, sum / shuffles});
      const std::string count =
          std::to_string(g + 1) + " of " + std::to_string(groups.size()) + " attributes";
      if (status) status(count);
      const auto now = std::chrono::steady_clock::now();
      if (now - lastReport > std::chrono::seconds(2) || g + 1 == groups.size()) {
        std::ostringstream line;
        line << "importance: " << count << ", "
             << std::chrono::duration<double>(now - start).count() << " s";
        progress::printLine(line.str());
        lastReport = now;
      }
    }
  }
  // A nan drop (AUC undefined) sorts last.
  std::stable_sort(result.begin(), result.end(), [](const Importance& a, const Importance& b) {
    return a.drop > b.drop || (!std::isnan(a.drop) && std::isnan(b.drop));
  });
  return result;
}
