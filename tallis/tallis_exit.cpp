#include "tallis/tallis_exit.h"

#include <cstdlib>

namespace {

TallisExitHandler exitHandler = nullptr;

}  // namespace

TallisExitHandler setTallisExitHandler(TallisExitHandler handler) {
  TallisExitHandler previous = exitHandler;
  exitHandler = handler;
  return previous;
}

void throwTallisExit(int status) { throw TallisExit{status}; }

void endTallis(int status) {
  if (exitHandler != nullptr) exitHandler(status);
  std::exit(status);
}
