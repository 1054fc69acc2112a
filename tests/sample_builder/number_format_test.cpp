// formatDouble against the output stream's default format, value by value.

#include "sample_builder/number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>

namespace {

std::string streamed(double value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

void expectSameAsStream(double value) {
  EXPECT_EQ(formatDouble(value), streamed(value)) << "bits of a value that differs";
}

TEST(DefaultDoubleFormat, WritesTheDocumentedForms) {
  EXPECT_EQ(formatDouble(400.0), "400");
  EXPECT_EQ(formatDouble(0.25), "0.25");
  EXPECT_EQ(formatDouble(-3.5), "-3.5");
  EXPECT_EQ(formatDouble(1234567.0), "1.23457e+06");
  EXPECT_EQ(formatDouble(1e6), "1e+06");
  EXPECT_EQ(formatDouble(999999.0), "999999");
  EXPECT_EQ(formatDouble(1e-5), "1e-05");
  EXPECT_EQ(formatDouble(0.0001), "0.0001");
  EXPECT_EQ(formatDouble(0.0), "0");
  EXPECT_EQ(formatDouble(-0.0), "-0");
  EXPECT_EQ(formatDouble(-1.0), "-1");
  EXPECT_EQ(formatDouble(2.875), "2.875");
  EXPECT_EQ(formatDouble(31536000.0), "3.1536e+07");
}

TEST(DefaultDoubleFormat, MatchesTheStreamOnSpecialValues) {
  const double values[] = {0.0,
                           -0.0,
                           1.0,
                           -1.0,
                           0.5,
                           1e6,
                           -1e6,
                           999999.4,
                           999999.5,
                           999999.6,
                           1e-5,
                           1e-4,
                           9.999995e-5,
                           0.000123456789,
                           123456.5,
                           1e15,
                           1e16,
                           1e300,
                           -1e-300,
                           5e-324,
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::lowest(),
                           std::numeric_limits<double>::min(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN(),
                           2147483647.0,
                           -2147483648.0,
                           31536000.0,
                           -122505.0,
                           3.2959e+07,
                           0.1,
                           1.0 / 3};
  for (double value : values) expectSameAsStream(value);
}

TEST(DefaultDoubleFormat, MatchesTheStreamOnIntegersAroundTheSwitchToExponents) {
  for (int value = -2000; value <= 2000; ++value) expectSameAsStream(value);
  for (int value = 999000; value <= 1001000; ++value) expectSameAsStream(value);
  for (double value = 1; value < 1e17; value *= 10) {
    expectSameAsStream(value - 1);
    expectSameAsStream(value);
    expectSameAsStream(-value + 0.5);
  }
}

TEST(DefaultDoubleFormat, MatchesTheStreamOnRandomValuesOfEveryMagnitude) {
  std::mt19937_64 random(12345);
  int mismatches = 0;
  for (int n = 0; n < 300000; ++n) {
    uint64_t bits = random();
    double value;
    if (n % 3 == 0) {
      std::memcpy(&value, &bits, sizeof value);  // any double at all
    } else if (n % 3 == 1) {
      value = std::ldexp(static_cast<double>(bits >> 11), -53) * std::pow(10.0, n % 40 - 20);
    } else {
      value = static_cast<double>(static_cast<int64_t>(bits) % 20000000) / (n % 7 + 1);
    }
    if (formatDouble(value) != streamed(value) && ++mismatches < 10) {
      ADD_FAILURE() << formatDouble(value) << " != " << streamed(value);
    }
  }
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
