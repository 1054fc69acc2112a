#pragma once
// How an algorithm parameters file is read (trainers/parameters.cpp knows the keys of each
// trainer family and what their values must be).

#include <optional>
#include <string>
#include <vector>

// One key of a trainer's list: where its number goes and whether it is a termination key.
// The training options keep the number as read (option) and are checked once the file is read.
struct ParameterKey {
  const char* text;
  float* floatField;
  int* intField;
  bool termination;
  std::optional<double>* option = nullptr;
};

// The termination keys form a group: the first of them found in a file switches the two
// others off before its own value is stored, so a file naming only "Iterations" has no
// time limit. Later termination keys are stored plainly.
struct TerminationGroup {
  int* iterations;
  float* mse;
  float* time;
  bool seen = false;
};

// Reads fileName line by line into the fields of keys (a line may hold several; a later line
// overrides an earlier one). Fatal (ombra_status::kParametersFile) when the file cannot be opened,
// is a directory, holds NUL bytes, or holds text but no key; lines without a key, and a line too
// long to read (which ends the reading), are reported on standard error with the listed keys.
void readParametersFile(const std::string& fileName, const std::vector<ParameterKey>& keys,
                        TerminationGroup& group, const std::vector<std::string>& listedKeys);
