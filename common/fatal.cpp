#include "common/fatal.h"

#include <cstdlib>
#include <iostream>

#include "common/terminal_progress.h"

namespace {

FatalHandler fatalHandler = nullptr;

}  // namespace

FatalHandler setFatalHandler(FatalHandler handler) {
  FatalHandler previous = fatalHandler;
  fatalHandler = handler;
  return previous;
}

void throwFatalError(const std::string& message, int status) { throw FatalError{message, status}; }

void fatal(const std::string& message, int status) {
  progress::clear();  // a status line on the terminal would run into the message
  std::cout.flush();
  std::cerr << message << '\n';
  std::cerr.flush();
  if (fatalHandler != nullptr) fatalHandler(message, status);
  std::exit(status);
}
