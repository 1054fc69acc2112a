#pragma once

#include <cstdint>
#include <string>

// Wall-clock interval timer. A quiet stopwatch measures and prints nothing.
class Stopwatch {
 public:
  void start();
  double stop();
  double elapsed();
  void print(const std::string& label);
  void setQuiet() { quiet = true; }

 private:
  std::uint64_t startMicros = 0;
  std::uint64_t stopMicros = 0;
  bool running = false;
  bool quiet = false;
};
