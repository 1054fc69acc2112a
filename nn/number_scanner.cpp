#include "nn/number_scanner.h"

#include <charconv>
#include <locale>
#include <sstream>
#include <string>

namespace {

// The classic locale's white space.
inline bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Converts a token through a stream: the reference for every case the fast path leaves.
template <class Number>
bool extractThroughStream(const char* begin, const char* end, Number& value) {
  std::istringstream stream(std::string(begin, end));
  stream.imbue(std::locale::classic());
  stream >> value;
  return !stream.fail();
}

}  // namespace

bool NumberScanner::skipWhitespace() {
  while (position != end && isSpace(*position)) ++position;
  if (position != end) return true;
  failure = true;
  return false;
}

bool NumberScanner::fail(const char* stop) {
  position = stop;
  failure = true;
  return false;
}

// The characters a float extraction takes: an optional sign, digits with at most one
// decimal point, then, only after a digit, 'e' or 'E' with an optional sign and digits.
// The taken characters are a number when the mantissa has a digit and an exponent, if
// begun, has one too; otherwise the extraction fails (and stores 0).
bool NumberScanner::readFloat(float& value) {
  if (failure || !skipWhitespace()) return false;
  const char* start = position;
  const char* p = start;
  if (*p == '+' || *p == '-') ++p;
  bool mantissaDigits = false;
  bool decimalPoint = false;
  bool exponent = false;
  bool exponentDigits = false;
  while (p != end) {
    const char c = *p;
    if (isDigit(c)) {
      mantissaDigits = true;
      exponentDigits = exponent;
      ++p;
    } else if (c == '.' && !decimalPoint && !exponent) {
      decimalPoint = true;
      ++p;
    } else if ((c == 'e' || c == 'E') && !exponent && mantissaDigits) {
      exponent = true;
      ++p;
      if (p != end && (*p == '+' || *p == '-')) ++p;
    } else {
      break;
    }
  }
  if (!mantissaDigits || exponent != exponentDigits) {
    value = 0.0f;
    return fail(p);
  }
  position = p;
  const char* number = (*start == '+') ? start + 1 : start;  // from_chars takes no '+'
  float parsed;
  const std::from_chars_result result = std::from_chars(number, p, parsed);
  if (result.ec == std::errc() && result.ptr == p) {
    value = parsed;
    return true;
  }
  if (extractThroughStream(start, p, value)) return true;
  return fail(p);
}

// An int extraction takes an optional sign and the digits after it.
bool NumberScanner::readInt(int& value) {
  if (failure || !skipWhitespace()) return false;
  const char* start = position;
  const char* p = start;
  if (*p == '+' || *p == '-') ++p;
  while (p != end && isDigit(*p)) ++p;
  if (p == start) {
    value = 0;
    return fail(p);
  }
  position = p;
  if (extractThroughStream(start, p, value)) return true;
  return fail(p);
}
