#include "common/text_lines.h"

#include <sstream>

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

int numbersOnLine(const std::string& line) {
  std::istringstream in(line);
  double value;
  int count = 0;
  while (in >> value) ++count;
  return in.eof() ? count : -1;
}
