#include "nn/fatal.h"

#include <cstdlib>
#include <iostream>

void fatal(const std::string& message, int status) {
  std::cout.flush();
  std::cerr << message << '\n';
  std::cerr.flush();
  std::exit(status);
}
