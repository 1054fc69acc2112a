#pragma once

// Reads numbers from text in memory exactly as formatted stream extraction (operator>> on
// float or int, classic locale) reads them from a stream: leading whitespace is skipped, the
// same characters make up a number ("+1", "-.5", "1.", "1e+06", "0012"), reading stops at
// the same character ("1.2.3" gives 1.2 and then .3), a token that is not a number fails,
// and after a failure every later read fails too, like a stream whose failbit is set.
//
// The common case is parsed in place with std::from_chars; anything unusual (a result out
// of float range) goes through a stream, so both always agree.
class NumberScanner {
 public:
  NumberScanner(const char* begin, const char* stop) : position(begin), end(stop) {}

  // True and the value on success. On a failed extraction stores what the stream stores
  // (0, or the largest float of that sign on overflow) and returns false; at the end of the
  // text, or once failed, returns false and leaves value unchanged.
  bool readFloat(float& value);
  bool readInt(int& value);

  bool failed() const { return failure; }
  // The first character not yet read.
  const char* current() const { return position; }

 private:
  bool skipWhitespace();
  bool fail(const char* stop);

  const char* position;
  const char* end;
  bool failure = false;
};
