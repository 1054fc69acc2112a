#include <csignal>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <new>
#include <string>

#include "common/fatal.h"
#include "common/memory_limit.h"
#include "common/ombra_status.h"
#include "ombra/driver.h"
#include "trainer_table/trainer_table.h"

int main(int argc, char** argv) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  // A file size limit (ulimit -f) makes a write fail with EFBIG, reported like a full disk,
  // instead of killing the process with SIGXFSZ.
  std::signal(SIGXFSZ, SIG_IGN);
  // Likewise a reader that closes the pipe of a file or of the answers: EPIPE, reported.
  std::signal(SIGPIPE, SIG_IGN);
  // Sizes from the input files are checked before allocating; should memory run out anyway,
  // the run ends with a message rather than an uncaught std::bad_alloc.
  std::set_new_handler(outOfMemory);
  try {
    return runOmbra(argc, argv, trainerTable());
  } catch (const std::exception& error) {
    fatal(std::string("Unexpected error: ") + error.what(), ombra_status::kFailure);
  }
}
