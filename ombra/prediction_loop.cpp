#include <cctype>
#include <cerrno>
#include <iostream>
#include <istream>
#include <ostream>
#include <vector>

#include "common/fatal.h"
#include "common/file_contents.h"
#include "common/ombra_status.h"
#include "ombra/driver.h"

namespace {

enum class Read { value, endOfInput, notANumber };

Read readValue(std::istream& in, float& value) {
  in >> std::ws;
  if (in.peek() == std::char_traits<char>::eof()) return Read::endOfInput;
  return (in >> value) ? Read::value : Read::notANumber;
}

// Answers that cannot be written (a full disk, a closed pipe) end the run instead of being
// lost while the loop goes on reading.
void checkWritten(std::ostream& out) {
  if (out) return;
  const std::string reason = systemReason(errno);
  fatal("Error writing standard output" + (reason.empty() ? "" : ": " + reason),
        ombra_status::kFailure);
}

// What stood where value j of count was expected, for the message: the word that is not a
// number (at most 20 characters), or, when extraction took every character of it, a number
// beyond the float range or one the input cut short.
std::string describeValue(std::istream& in, size_t j, size_t count) {
  const bool atEnd = in.eof();  // "-" or "1e" cut short by the end of the input
  in.clear();
  std::string word;
  for (int c = in.get(); c != std::char_traits<char>::eof() && !std::isspace(c) && word.size() < 20;
       c = in.get()) {
    word += std::isprint(c) ? static_cast<char>(c) : '?';
  }
  const std::string position = "value " + std::to_string(j + 1) + " of " + std::to_string(count);
  if (word.empty()) return position + (atEnd ? " is cut short" : " lies beyond the float range");
  return "'" + word + "', " + position;
}

}  // namespace

// "Input:", inputSize() values separated by any white space, "Output: " and every output
// followed by a space. The loop ends cleanly at the end of the input between two vectors;
// a value that is not a number, or input that ends inside a vector, is an error.
int predictionLoop(NN& network, std::istream& in, std::ostream& out) {
  std::vector<float> input(static_cast<size_t>(network.inputSize()));
  for (;;) {
    if (out) errno = 0;  // a failed write leaves its reason (maybe an earlier one: the banner)
    out << "Input:";
    out.flush();  // the prompt must be visible before the program waits
    checkWritten(out);
    for (size_t j = 0; j < input.size(); ++j) {
      switch (readValue(in, input[j])) {
        case Read::value:
          break;
        case Read::endOfInput:
          if (out) errno = 0;
          out << std::endl;  // end the prompt's line
          checkWritten(out);
          if (j == 0) return ombra_status::kDone;
          fatal("Input ended after " + std::to_string(j) + " of " + std::to_string(input.size()) +
                    " values",
                ombra_status::kFailure);
        case Read::notANumber:
          out << std::endl;
          fatal("Input value is not a number: " + describeValue(in, j, input.size()),
                ombra_status::kFailure);
      }
    }
    if (out) errno = 0;
    out << "Output: ";
    for (float output : network.predict(input)) out << static_cast<double>(output) << ' ';
    out << std::endl;
    checkWritten(out);
  }
}
