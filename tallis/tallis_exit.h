#pragma once
// How tallis ends after a command-line message it printed itself ("Wrong attribute function",
// "Error parsing options"): exit(status). Tests and fuzzing harnesses install a handler that
// throws instead, so the option parsing can run again and again in one process; the program
// never installs one. A handler that returns still ends the process with exit.

using TallisExitHandler = void (*)(int status);
// Installs handler (nullptr: plain exit) and returns the one it replaces.
TallisExitHandler setTallisExitHandler(TallisExitHandler handler);

[[noreturn]] void endTallis(int status);

// What the throwing handler of the tests throws.
struct TallisExit {
  int status;
};
[[noreturn]] void throwTallisExit(int status);

// Runs a program's work and ends as tallis does: its status, or after an error (Exception, the
// writer's errors, out of memory) the message on standard error and the failure status.
int runEndingOnError(int (*run)(int, char**), int argc, char** argv);
