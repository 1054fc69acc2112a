// A job's values reach the network as they reached it in training: the text tallis writes,
// read as ombra reads it, scaled as ombra scales it.
#include "score/input_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "common/number_scanner.h"
#include "sample_builder/number_format.h"

namespace {

// The text path itself.
float writtenAndRead(double value) {
  const std::string text = formatDouble(value);
  NumberScanner scanner(text.data(), text.data() + text.size());
  float read = std::nanf("");
  if (scanner.readFloat(read) || std::fabs(read) == FLT_MAX) return read;
  return std::nanf("");
}

bool sameFloat(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

TEST(InputEncoder, ValuesTakeTheTextPathBitForBit) {
  // Where the arithmetic is closest to a wrong answer: six-digit ties (0.1234565 is written
  // 0.123456 or 0.123457 by the exact binary value), values that round up to the next power
  // of ten, the ends of the range the arithmetic takes, doubles halfway between two floats.
  std::vector<double> values = {0,        -0.0,       0.1234565, 999999.5,  9999995,  0.99999951,
                                1e-15,    9.9999e-16, 1e15,      999999e9,  123456.5, 1.5e-5,
                                31536000, 17.2729,    -3.25,     1e300,     -1e-300,  0.1,
                                16777217, 2.5,        0.7,       1.0000005, 5e-324};
  std::mt19937_64 random(7);
  for (int k = 0; k < 300000; ++k) {
    const double unit = std::ldexp(static_cast<double>(random() >> 11), -53);
    switch (k % 4) {
      case 0:  // any magnitude from 1e-60 (below the floats) to 1e17
        values.push_back(unit * std::pow(10.0, static_cast<int>(random() % 77) - 60));
        break;
      case 1:  // log-scaled counts and times
        values.push_back(std::log1p(static_cast<double>(random() % 100000000)));
        break;
      case 2:  // smoothed shares
        values.push_back((random() % 1000 + 0.5) / (random() % 1000 + 1.0));
        break;
      default:  // six-digit ties, give or take the last bit
        values.push_back(std::nextafter((random() % 1000000 + 0.5) * 1e-6, k % 8 < 4 ? 0.0 : 1.0));
    }
  }
  size_t different = 0;
  for (double value : values) {
    for (double signed_ : {value, -value}) {
      if (!sameFloat(asInTrainingData(signed_), writtenAndRead(signed_)) && ++different < 5) {
        ADD_FAILURE() << std::hexfloat << signed_ << " " << formatDouble(signed_);
      }
    }
  }
  EXPECT_EQ(different, 0u);
}

TEST(InputEncoder, ScalesLikeOmbraAndGivesAnUnlistedUserZeros) {
  const AttributeRow* logrT = findAttribute("logrT");
  const AttributeRow* uID = findAttribute("uID");
  // Inputs: logrT in [0, 10], users 7 and 3 in [0, 1].
  const InputEncoder encoder({{logrT, -1}, {uID, 7}, {uID, 3}}, {0, 10, 0, 1, 0, 1});
  ASSERT_EQ(encoder.rows().size(), 1u);
  JobData job;
  job.userID = 3;
  const double values[] = {2.5};
  float scaled[3];
  encoder.encode(job, values, scaled);
  // 2 * (2.5 - 0) / 10 - 1 = -0.5; user 3's column 1, user 7's -1.
  EXPECT_EQ(scaled[0], -0.5f);
  EXPECT_EQ(scaled[1], -1.0f);
  EXPECT_EQ(scaled[2], 1.0f);
  job.userID = 12;  // not in the card's table: a new user
  encoder.encode(job, values, scaled);
  EXPECT_EQ(scaled[1], -1.0f);
  EXPECT_EQ(scaled[2], -1.0f);
}

}  // namespace
