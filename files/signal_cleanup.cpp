#include "files/signal_cleanup.h"

#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstring>

namespace {

const int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
const int kSignalCount = 3;

// What the handler undoes, in fixed buffers: a signal handler may only make async-signal-safe
// calls. A slot is filled before its kind is set and freed by clearing the kind, both with the
// signals blocked, so the handler never sees half a slot.
struct Slot {
  volatile sig_atomic_t kind;  // -1: free
  pid_t pid;
  char path[PATH_MAX + 1];
};
const int kSlots = 32;
Slot slots[kSlots];
bool slotsReady = false;
int slotsInUse = 0;
// The process that registered: a child between fork and exec shares the handler and the
// slots, and must not remove its parent's files.
pid_t owner = 0;
struct sigaction previousActions[kSignalCount];

extern "C" void cleanUpAndEnd(int number) {
  if (getpid() == owner) {
    // Children first: a helper still writing into a folder would keep it from going.
    for (Slot& slot : slots) {
      if (slot.kind == PendingCleanup::child) {
        kill(slot.pid, SIGKILL);
        waitpid(slot.pid, nullptr, 0);
      }
    }
    for (Slot& slot : slots) {
      if (slot.kind == PendingCleanup::file) unlink(slot.path);
    }
    for (Slot& slot : slots) {
      if (slot.kind == PendingCleanup::folder) rmdir(slot.path);
    }
  }
  // The signal is blocked while this handler runs: with the default action back, it ends the
  // process as soon as the handler returns.
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = SIG_DFL;
  sigaction(number, &action, nullptr);
  raise(number);
}

void installHandlers() {
  owner = getpid();
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = cleanUpAndEnd;
  sigemptyset(&action.sa_mask);
  for (int signal : kSignals) sigaddset(&action.sa_mask, signal);
  for (int k = 0; k < kSignalCount; ++k) {
    sigaction(kSignals[k], nullptr, &previousActions[k]);
    if (previousActions[k].sa_handler == SIG_DFL) sigaction(kSignals[k], &action, nullptr);
  }
}

void restoreHandlers() {
  for (int k = 0; k < kSignalCount; ++k) sigaction(kSignals[k], &previousActions[k], nullptr);
}

// A free slot filled by fill, or -1 when none is free.
template <class Fill>
int occupy(PendingCleanup::Kind kind, Fill fill) {
  TerminationSignalsBlocked blocked;
  if (!slotsReady) {
    for (Slot& slot : slots) slot.kind = -1;
    slotsReady = true;
  }
  for (int k = 0; k < kSlots; ++k) {
    if (slots[k].kind != -1) continue;
    fill(slots[k]);
    slots[k].kind = kind;
    if (slotsInUse++ == 0) installHandlers();
    return k;
  }
  return -1;
}

}  // namespace

TerminationSignalsBlocked::TerminationSignalsBlocked() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kSignals) sigaddset(&set, signal);
  sigprocmask(SIG_BLOCK, &set, &previous_);
}

TerminationSignalsBlocked::~TerminationSignalsBlocked() {
  sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

PendingCleanup::PendingCleanup(Kind kind, const std::string& path) {
  if (path.size() > PATH_MAX) return;
  slot_ = occupy(kind, [&path](Slot& slot) {
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.pid = 0;
  });
}

PendingCleanup::PendingCleanup(Kind kind, pid_t process) {
  slot_ = occupy(kind, [process](Slot& slot) {
    slot.path[0] = '\0';
    slot.pid = process;
  });
}

PendingCleanup::PendingCleanup(PendingCleanup&& other) noexcept : slot_(other.slot_) {
  other.slot_ = -1;
}

PendingCleanup& PendingCleanup::operator=(PendingCleanup&& other) noexcept {
  if (this != &other) {
    release();
    slot_ = other.slot_;
    other.slot_ = -1;
  }
  return *this;
}

void PendingCleanup::release() {
  if (slot_ < 0) return;
  TerminationSignalsBlocked blocked;
  slots[slot_].kind = -1;
  slot_ = -1;
  if (--slotsInUse == 0) restoreHandlers();
}
