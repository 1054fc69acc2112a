#include "common/number_scanner.h"

#include <charconv>
#include <cstdint>
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

// Powers of ten that are exact in float (5^10 < 2^24).
const float exactPowersOfTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                  1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

// The characters a float extraction takes: an optional sign, digits with at most one
// decimal point, then, only after a digit, 'e' or 'E' with an optional sign and digits.
// The taken characters are a number when the mantissa has a digit and an exponent, if
// begun, has one too; otherwise the extraction fails (and stores 0).
//
// While scanning, the significant digits and the decimal exponent are gathered. When the
// digits fit in 24 bits and the exponent is at most 10 either way, both are exact floats and
// one correctly rounded multiplication or division gives the correctly rounded value, as
// strtof would (the values of a training data file, 6 significant digits, nearly all do).
bool NumberScanner::readFloat(float& value) {
  if (failure || !skipWhitespace()) return false;
  const char* start = position;
  const char* p = start;
  const bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  uint32_t digits = 0;
  int exponent10 = 0;
  bool exact = true;  // every significant digit is in digits
  bool mantissaDigits = false;
  while (p != end && isDigit(*p)) {
    mantissaDigits = true;
    if (digits < 100000000u) {
      digits = digits * 10 + static_cast<uint32_t>(*p - '0');
    } else {
      exact = false;
    }
    ++p;
  }
  if (p != end && *p == '.') {
    ++p;
    while (p != end && isDigit(*p)) {
      mantissaDigits = true;
      if (digits < 100000000u) {
        digits = digits * 10 + static_cast<uint32_t>(*p - '0');
        --exponent10;
      } else {
        exact = false;
      }
      ++p;
    }
  }
  bool exponentComplete = true;
  if (mantissaDigits && p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool negativeExponent = false;
    if (p != end && (*p == '+' || *p == '-')) negativeExponent = *p++ == '-';
    exponentComplete = false;
    int written = 0;
    while (p != end && isDigit(*p)) {
      exponentComplete = true;
      if (written < 10000) written = written * 10 + (*p - '0');
      ++p;
    }
    exponent10 += negativeExponent ? -written : written;
  }
  if (!mantissaDigits || !exponentComplete) {
    value = 0.0f;
    return fail(p);
  }
  position = p;
  if (exact && digits < (1u << 24) && exponent10 >= -10 && exponent10 <= 10) {
    float magnitude = static_cast<float>(digits);
    if (exponent10 >= 0) {
      magnitude = magnitude * exactPowersOfTen[exponent10];
    } else {
      magnitude = magnitude / exactPowersOfTen[-exponent10];
    }
    value = negative ? -magnitude : magnitude;
    return true;
  }
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
