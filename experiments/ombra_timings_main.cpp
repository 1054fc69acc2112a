#include <cstdlib>
#include <ctime>
#include <exception>
#include <new>
#include <string>

#include "common/fatal.h"
#include "common/memory_limit.h"
#include "common/ombra_status.h"
#include "experiments/timings_cli.h"

int main(int argc, char** argv) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  // As in ombra: memory that runs out ends the run with a message, not std::bad_alloc.
  std::set_new_handler(outOfMemory);
  try {
    return runTimings(argc, argv);
  } catch (const std::exception& error) {
    fatal(std::string("Unexpected error: ") + error.what(), ombra_status::kFailure);
  }
}
