// tallis: builds a training data file from a workload log.

#include <cstdlib>
#include <ctime>
#include <exception>
#include <iostream>

#include "samples/tallis_cli.h"

int main(int argc, char** argv) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  try {
    return runTallis(argc, argv);
  } catch (const std::exception& error) {
    // Exception and the option parser's errors alike: the message, and no file left behind.
    std::cerr << error.what() << std::endl;
    return 1;
  }
}
