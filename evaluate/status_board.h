#pragma once
// ombra-evaluate's status line on a terminal: the time since the start and what each piece
// of work running at the moment is doing, "12.3 s | logistic regression: Newton step 4 |
// gradient-boosted trees: round 80 ... | importance: 3 of 26 attributes". Nothing when
// standard error is not a terminal.

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class StatusBoard {
 public:
  StatusBoard();
  // The function that sets what part `name` is doing (empty when no terminal shows it).
  std::function<void(const std::string&)> part(const std::string& name);
  // Part `name` is done: it leaves the line.
  void finish(const std::string& name);

 private:
  void set(const std::string& name, const std::string& text);
  void draw(bool now);

  std::mutex lock_;
  std::chrono::steady_clock::time_point start_;
  std::vector<std::pair<std::string, std::string>> parts_;
};
