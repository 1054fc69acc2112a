#include "evaluate/status_board.h"

#include <algorithm>
#include <cstdio>

#include "common/terminal_progress.h"

StatusBoard::StatusBoard() : start_(std::chrono::steady_clock::now()) {}

std::function<void(const std::string&)> StatusBoard::part(const std::string& name) {
  if (!progress::enabled()) return {};
  set(name, "starting");
  return [this, name](const std::string& text) { set(name, text); };
}

void StatusBoard::finish(const std::string& name) {
  if (!progress::enabled()) return;
  std::lock_guard<std::mutex> guard(lock_);
  parts_.erase(std::remove_if(parts_.begin(), parts_.end(),
                              [&name](const auto& part) { return part.first == name; }),
               parts_.end());
  draw(true);
}

void StatusBoard::set(const std::string& name, const std::string& text) {
  std::lock_guard<std::mutex> guard(lock_);
  auto part = std::find_if(parts_.begin(), parts_.end(),
                           [&name](const auto& entry) { return entry.first == name; });
  if (part == parts_.end()) {
    parts_.emplace_back(name, text);
  } else {
    part->second = text;
  }
  draw(false);
}

void StatusBoard::draw(bool now) {
  if (!now && !progress::due()) return;
  if (parts_.empty()) {
    progress::clear();
    return;
  }
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count());
  std::string line = seconds;
  for (const auto& part : parts_) line += " | " + part.first + ": " + part.second;
  progress::show(line);
}
