#pragma once
// One policy for SIGTERM, SIGHUP and SIGINT (kill, a closed terminal, Ctrl-C) while a program
// has something half made: the helper processes it waits for are stopped, its temporary files
// and folders are removed, and then the process ends by the signal, with the status a shell
// expects (143, 129, 130). A signal that was ignored when the first cleanup was registered
// (nohup) stays ignored, and so does one the program handles itself. The handlers are in place
// only while something is registered.

#include <sys/types.h>

#include <csignal>
#include <string>

// SIGTERM, SIGHUP and SIGINT held back while the object lives: a file created and registered
// inside such a block is never left behind by a signal that arrives in between.
class TerminationSignalsBlocked {
 public:
  TerminationSignalsBlocked();
  ~TerminationSignalsBlocked();
  TerminationSignalsBlocked(const TerminationSignalsBlocked&) = delete;
  TerminationSignalsBlocked& operator=(const TerminationSignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

class PendingCleanup {
 public:
  enum Kind { file, folder, child };

  PendingCleanup() = default;
  // Registers a file or a (by then empty) folder to remove, or a child process to kill and
  // reap. A path longer than the system's limit cannot be registered: it could not be
  // created either.
  PendingCleanup(Kind kind, const std::string& path);
  PendingCleanup(Kind kind, pid_t process);
  ~PendingCleanup() { release(); }
  PendingCleanup(PendingCleanup&& other) noexcept;
  PendingCleanup& operator=(PendingCleanup&& other) noexcept;
  PendingCleanup(const PendingCleanup&) = delete;
  PendingCleanup& operator=(const PendingCleanup&) = delete;

  // The thing is done with (renamed into place, removed, reaped): nothing to do on a signal.
  void release();

 private:
  int slot_ = -1;
};
