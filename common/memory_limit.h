#pragma once

#include <string>

// Sizes read from input files are checked before anything is allocated from them, so that a
// file asking for absurd sizes ends the run with a message instead of std::bad_alloc or the
// system's out-of-memory killer. The budget is the machine's physical memory: a run that
// plans to hold more would only swap or be killed.
double physicalMemoryBytes();

// The most weights a network may have: 2^28, 1 GiB of floats per copy of the weights (a
// trainer holds several). Far above any network these programs train, far below int offsets.
constexpr int kMaxWeights = 1 << 28;

// True when bytes fit in the budget.
bool fitsInMemory(double bytes);

// "<bytes> MiB", rounded up, for messages.
std::string mebibytes(double bytes);

// What the driver installs with std::set_new_handler: an allocation that fails anyway ends
// the run through fatal ("Out of memory", -1) instead of an uncaught std::bad_alloc.
void outOfMemory();
