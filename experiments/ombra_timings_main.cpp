#include <cstdlib>
#include <ctime>

#include "experiments/timings_cli.h"

int main(int argc, char** argv) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  return runTimings(argc, argv);
}
