// ombra-evaluate: how well a saved network finds failed or cancelled jobs, beside baselines.

#include <csignal>
#include <new>

#include "common/fatal.h"
#include "evaluate/evaluate_cli.h"

int main(int argc, char** argv) {
  // A closed report pipe is reported as a write error at the end, not a silent death.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    return runEvaluate(argc, argv);
  } catch (const std::bad_alloc&) {
    fatal("Out of memory", ombra_status::kFailure);
  }
}
