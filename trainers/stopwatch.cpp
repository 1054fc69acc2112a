#include "trainers/stopwatch.h"

#include <sys/time.h>

#include <iostream>

namespace {
std::uint64_t nowMicros() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  return static_cast<std::uint64_t>(tv.tv_sec) * 1000000u + static_cast<std::uint64_t>(tv.tv_usec);
}
}  // namespace

void Stopwatch::start() {
  if (quiet) return;
  startMicros = nowMicros();
  running = true;
}

double Stopwatch::elapsed() {
  if (quiet) return 0.0;
  if (running) stopMicros = nowMicros();
  return static_cast<double>(stopMicros - startMicros) / 1000000.0;
}

double Stopwatch::stop() {
  if (quiet) return 0.0;
  double seconds = elapsed();
  running = false;
  return seconds;
}

void Stopwatch::print(const std::string& label) {
  if (quiet) return;
  std::cout << label << ": " << elapsed() << " s" << std::endl;
}
