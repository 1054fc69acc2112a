#pragma once
// Permutation importance: how much the network's ROC AUC on the evaluated samples drops when
// one attribute's columns are shuffled across the samples (the same shuffle for all columns of
// the attribute, so a one-hot user stays one user), averaged over several shuffles.

#include <functional>
#include <string>
#include <vector>

#include "evaluate/column_groups.h"
#include "evaluate/evaluated_network.h"
#include "evaluate/metrics.h"
#include "evaluate/task_pool.h"

struct Importance {
  std::string name;
  double drop;  // mean drop of ROC AUC; nan when the AUC is undefined
};

// Shuffles draw from rand() (seeded once by the program) on the calling thread, in the order
// attribute by attribute, shuffle by shuffle; the shuffled samples are then scored on the
// pool's threads, so the figures are the same for any number of threads. Largest drop first;
// ties keep the column order. Progress lines on standard error, the count of attributes done
// through status (may be empty).
std::vector<Importance> permutationImportance(
    const NN_evaluated& network, const std::vector<float>& scaledInputs,
    const std::vector<uint8_t>& positive, int output, const std::vector<ColumnGroup>& groups,
    int shuffles, TaskPool& pool, const std::function<void(const std::string&)>& status);
