// Default-format doubles without a stream: integers directly, everything else via to_chars,
// whose general format with precision 6 is the "%.6g" that the stream uses.

#include "sample_builder/number_format.h"

#include <charconv>
#include <cmath>

char* formatDouble(char* out, double value) {
  double magnitude = std::fabs(value);
  // Whole numbers below 1e6 print all their digits and no point: the common case in samples.
  if (magnitude < 1e6 && magnitude == static_cast<double>(static_cast<int>(magnitude))) {
    if (std::signbit(value)) *out++ = '-';
    int whole = static_cast<int>(magnitude);
    char digits[8];
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + whole % 10);
      whole /= 10;
    } while (whole != 0);
    while (count > 0) *out++ = digits[--count];
    return out;
  }
  return std::to_chars(out, out + kMaxFormattedDouble, value, std::chars_format::general, 6).ptr;
}

std::string formatDouble(double value) {
  char text[kMaxFormattedDouble];
  return std::string(text, formatDouble(text, value));
}
