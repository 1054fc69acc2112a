#pragma once

#include <string>

// The one way ombra fails: the message and a newline on standard error, a flush,
// then exit(status). The shell sees status modulo 256 (-1 is 255, 973 is 205).
[[noreturn]] void fatal(const std::string& message, int status);

// The last step of fatal, after the message is out. Tests and fuzzing harnesses install one
// that throws, so that a failing reader can be called again and again in one process; the
// programs never install one. A handler that returns still ends the process with exit.
using FatalHandler = void (*)(const std::string& message, int status);
// Installs handler (nullptr: plain exit) and returns the one it replaces.
FatalHandler setFatalHandler(FatalHandler handler);

// What the throwing handler of the tests throws: the message and the status given to fatal.
struct FatalError {
  std::string message;
  int status;
};
// A FatalHandler that throws FatalError{message, status}.
[[noreturn]] void throwFatalError(const std::string& message, int status);
