// tallis: builds a training data file from a workload log.

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <iostream>
#include <new>

#include "tallis/exit_status.h"
#include "tallis/tallis_cli.h"

int main(int argc, char** argv) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  // A file size limit (ulimit -f) makes a write fail with EFBIG, reported like a full disk,
  // instead of killing the process with SIGXFSZ.
  std::signal(SIGXFSZ, SIG_IGN);
  // A reader that closes the pipe of the progress lines does not stop the training file.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    return runTallis(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "Out of memory" << std::endl;
    return tallis_status::kFailure;
  } catch (const std::exception& error) {
    // Exception and the writer's errors alike: the message, and no file left behind.
    std::cerr << error.what() << std::endl;
    return tallis_status::kFailure;
  }
}
