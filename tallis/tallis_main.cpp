// tallis: builds a training data file from a workload log.

#include <csignal>
#include <cstdlib>
#include <ctime>

#include "tallis/tallis_cli.h"
#include "tallis/tallis_exit.h"

int main(int argc, char** argv) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  // A file size limit (ulimit -f) makes a write fail with EFBIG, reported like a full disk,
  // instead of killing the process with SIGXFSZ.
  std::signal(SIGXFSZ, SIG_IGN);
  // A reader that closes the pipe of the progress lines does not stop the training file.
  std::signal(SIGPIPE, SIG_IGN);
  return runEndingOnError(runTallis, argc, argv);
}
