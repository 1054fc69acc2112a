#include "common/terminal_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <mutex>

namespace progress {

namespace {

using Clock = std::chrono::steady_clock;

std::mutex lock;
std::string shown;  // the status line on the screen now; empty: none
Clock::time_point lastShown;

// "\r" back to the start of the line, then erase to its end.
const char* const kErase = "\r\033[K";

// One column short of the terminal's width: a line that fills the last column would make
// some terminals wrap, and "\r" would then rewrite only the second row.
size_t width() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col - 1u;
  return 79;
}

void draw(const std::string& text) {
  shown = text.substr(0, width());
  std::cerr << kErase << shown << std::flush;
  lastShown = Clock::now();
}

void erase() {
  if (shown.empty()) return;
  std::cerr << kErase << std::flush;
  shown.clear();
}

}  // namespace

bool enabled() {
  static const bool terminal = isatty(STDERR_FILENO) == 1;
  return terminal;
}

bool due() {
  if (!enabled()) return false;
  std::lock_guard<std::mutex> guard(lock);
  return shown.empty() || Clock::now() - lastShown >= std::chrono::milliseconds(100);
}

void show(const std::string& text) {
  if (!enabled()) return;
  std::lock_guard<std::mutex> guard(lock);
  if (text.empty()) {
    erase();
  } else {
    draw(text);
  }
}

void clear() {
  if (!enabled()) return;
  std::lock_guard<std::mutex> guard(lock);
  erase();
}

void printLine(const std::string& line) {
  std::lock_guard<std::mutex> guard(lock);
  const std::string status = shown;
  erase();
  std::cerr << line << std::endl;
  if (!status.empty()) draw(status);
}

}  // namespace progress
