#include "common/number_scanner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Every read until the first failure: the values as bit patterns, then what the failing
// read left in its variable.
template <class Number>
std::vector<uint32_t> throughStream(const std::string& text) {
  std::istringstream stream(text);
  std::vector<uint32_t> reads;
  for (;;) {
    Number value = static_cast<Number>(-777);
    const bool ok = static_cast<bool>(stream >> value);
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    reads.push_back(bits);
    if (!ok) return reads;
  }
}

std::vector<uint32_t> throughScanner(const std::string& text, bool asInt) {
  NumberScanner scanner(text.data(), text.data() + text.size());
  std::vector<uint32_t> reads;
  for (;;) {
    float floatValue = -777.0f;
    int intValue = -777;
    const bool ok = asInt ? scanner.readInt(intValue) : scanner.readFloat(floatValue);
    uint32_t bits;
    if (asInt) {
      std::memcpy(&bits, &intValue, sizeof bits);
    } else {
      std::memcpy(&bits, &floatValue, sizeof bits);
    }
    reads.push_back(bits);
    if (!ok) {
      // Once failed, always failed, and nothing more is stored.
      float again = -555.0f;
      EXPECT_FALSE(scanner.readFloat(again));
      EXPECT_EQ(again, -555.0f);
      return reads;
    }
  }
}

void expectLikeStream(const std::string& text) {
  SCOPED_TRACE("text: \"" + text + "\"");
  EXPECT_EQ(throughScanner(text, false), throughStream<float>(text));
  EXPECT_EQ(throughScanner(text, true), throughStream<int>(text));
}

TEST(NumberScanner, FormsTheStreamAccepts) {
  for (const char* text :
       {"1 2 3", "+1 -1 +0 -0", "1e+06 1e6 1E6 1.5e-3 -2.5E+2", ".5 -.5 +.5 5. -5.", "0012 000.25",
        "400\t0.25\t-3.5\t1.23457e+06\t\n", "  \n\t\v\f\r 7", "3.40282e+38", "1.17549e-38",
        "1e-45 1e-46 1e-50 -1e-50", "123456789012 1e10 -99999999999999999999",
        "0.1 0.2 0.3 3.14159 2.71828 -0.000123457",
        "16777215 16777216 16777217 1677721.7 0.16777217e+10 -16777217e-10",
        "9.99999e-11 1e-10 1e10 1e11 123456e5 123456e-5 1.00000000000000000001",
        "0e500 -0e-500 0.0000000000000000000000001 1000000000000 3e+07 1.23457e+07"}) {
    expectLikeStream(text);
  }
}

TEST(NumberScanner, StopsWhereTheStreamStops) {
  for (const char* text :
       {"1.2.3", "12abc 4", "1-2", "1+2",  "3.5 x", "1e",   "1e+",   "1e+x",  "1ex",
        "1e5e3", "1e5.5",   ".",   "-",    "+",     "-.",   ".e5",   "e5",    "+-1",
        "--1",   "inf",     "nan", "-inf", "0x1p3", "0x10", "1e39",  "-1e39", "1e400",
        "5,5",   "",        "   ", "1 2 ", "1,2",   "\x01", "1\0002"}) {
    expectLikeStream(text);
  }
  expectLikeStream(std::string("4\0 5", 4));
}

TEST(NumberScanner, FormattedDoublesOfEveryMagnitude) {
  std::srand(1);
  std::ostringstream text;
  for (int k = 0; k < 20000; ++k) {
    const double mantissa = (std::rand() / (RAND_MAX + 1.0)) * 2.0 - 1.0;
    const int exponent = std::rand() % 90 - 50;
    text << mantissa * std::pow(10.0, exponent) << (k % 3 == 0 ? "\t" : k % 3 == 1 ? " " : "\n");
  }
  expectLikeStream(text.str());
}

// Random text from the characters a number can be made of, with other characters mixed in.
TEST(NumberScanner, FuzzedTextReadsLikeTheStream) {
  std::srand(2);
  const char* pieces[] = {"0", "1",  "5",  "9",  "00", "12345678", ".",   "e",  "E",          "+",
                          "-", " ",  " ",  "\t", "\n", "e+",       "e-",  "x",  "a",          "inf",
                          ",", "38", "39", "45", "46", "e-4",      "e40", "\r", "99999999999"};
  const int pieceCount = sizeof pieces / sizeof pieces[0];
  for (int trial = 0; trial < 20000; ++trial) {
    std::string text;
    const int length = 1 + std::rand() % 12;
    for (int k = 0; k < length; ++k) text += pieces[std::rand() % pieceCount];
    expectLikeStream(text);
    if (HasFailure()) return;
  }
}

TEST(NumberScanner, CurrentIsWhereReadingStopped) {
  const std::string text = "  12abc";
  NumberScanner scanner(text.data(), text.data() + text.size());
  float value;
  ASSERT_TRUE(scanner.readFloat(value));
  EXPECT_EQ(value, 12.0f);
  EXPECT_EQ(scanner.current(), text.data() + 4);
  EXPECT_FALSE(scanner.failed());
  EXPECT_FALSE(scanner.readFloat(value));
  EXPECT_TRUE(scanner.failed());
}

}  // namespace
