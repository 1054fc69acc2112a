// ombra-score: every job of a workload log scored by a saved network, finished or live.

#include <csignal>
#include <new>

#include "common/fatal.h"
#include "score/exit_status.h"
#include "score/score_cli.h"

int main(int argc, char** argv) {
  // A closed output pipe is reported as a write error, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    return runScore(argc, argv);
  } catch (const std::bad_alloc&) {
    fatal("Out of memory", ombra_status::kFailure);
  }
}
