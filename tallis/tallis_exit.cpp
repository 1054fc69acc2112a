#include "tallis/tallis_exit.h"

#include <cstdlib>
#include <exception>
#include <iostream>
#include <new>

#include "tallis/exit_status.h"

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

int runEndingOnError(int (*run)(int, char**), int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::cerr << "Out of memory" << std::endl;
    return tallis_status::kFailure;
  } catch (const std::exception& error) {
    // Exception and the writer's errors alike: the message, and no file left behind.
    std::cerr << error.what() << std::endl;
    return tallis_status::kFailure;
  }
}
