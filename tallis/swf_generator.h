#pragma once
// A synthetic workload log in the Standard Workload Format, made for demos, tests and
// benchmarks: users and applications with their own failure tendencies, and failures that
// follow recent history (a user+application pair that just failed tends to fail again, a quick
// resubmission after a failure too), so the look-back attributes carry signal.
// The same options always give the same log: all randomness comes from one seeded generator.

#include <cstdint>
#include <ostream>

struct SwfGeneratorOptions {
  long long jobs = 4000;
  int users = 30;
  int applicationsPerUser = 6;  // distinct applications each user runs
  int applications = 0;         // size of the shared application pool; 0: users * 2
  uint64_t seed = 1;
};

// Writes a header of ";" lines, then one 18-column job line per job, in submit order; stops
// early when the stream fails. Throws Exception, before allocating anything, when the users,
// applications and pairs would not fit the machine's memory.
void generateSwfLog(const SwfGeneratorOptions& options, std::ostream& out);
