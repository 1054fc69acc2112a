#include "score/input_encoder.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "common/number_scanner.h"
#include "sample_builder/number_format.h"

namespace {

// 10^k for k = 0 ... 20, exact in double.
const double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9, 1e10,
                               1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20};
// 10^e for e = -15 ... 15 (the doubles nearest to them), at [e + 15].
const double kBounds[] = {1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9, 1e-8, 1e-7, 1e-6, 1e-5,
                          1e-4,  1e-3,  1e-2,  1e-1,  1e0,   1e1,   1e2,  1e3,  1e4,  1e5,  1e6,
                          1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13, 1e14, 1e15};

// The text itself, read as ombra reads it: every case the arithmetic below leaves. Where
// from_chars takes the text, it rounds as the reader does (the reader's own fast path gives the
// same correctly rounded float); anything else goes through the reader itself: a value beyond
// the float range reads as the largest float of its sign (what the stream stores), one that is
// not a number at all as nan.
float throughText(double value) {
  char text[kMaxFormattedDouble];
  const char* end = formatDouble(text, value);
  float read = std::nanf("");
  const std::from_chars_result parsed = std::from_chars(text, end, read);
  if (parsed.ec == std::errc() && parsed.ptr == end) return read;
  NumberScanner scanner(text, end);
  if (scanner.readFloat(read) || std::fabs(read) == FLT_MAX) return read;
  return std::nanf("");
}

// True when the double lies exactly halfway between two floats: its 29 bits beyond a float's
// 23-bit mantissa are 1 followed by zeros.
bool isFloatMidpoint(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return (bits & 0x1fffffffu) == 0x10000000u;
}

}  // namespace

// tallis writes six significant digits, m * 10^p with m < 10^6 (correctly rounded, ties to
// even); ombra reads that as the float nearest to it. Both steps are done here without text.
// m: the value times 10^(5 - e), one multiplication or division by an exact power of ten,
// within 1e-9 of the exact product, rounded to a whole number: certain unless the fraction
// lies within 1e-6 of one half. Then m * 10^p is one correctly rounded double operation, and
// rounding that double to float gives the float nearest to m * 10^p unless the double lies
// exactly halfway between two floats (had the exact value lain on the other side of that
// midpoint, the midpoint would have been the nearer double). The cases left go through the
// text: values beyond [1e-15, 1e15), near-ties and midpoints.
float asInTrainingData(double value) {
  const double magnitude = std::fabs(value);
  // Whole numbers below 10^6 are written with every digit and are exact floats.
  if (magnitude < 1e6 && magnitude == std::floor(magnitude)) return static_cast<float>(value);
  // Below half the smallest float even after rounding to six digits: a zero of the value's sign.
  if (magnitude < 1e-46) return value < 0 ? -0.0f : 0.0f;
  if (!(magnitude >= 1e-15 && magnitude < 1e15)) return throughText(value);
  // e = floor(log10(magnitude)), from the binary exponent and one comparison; a bound that
  // rounded above the value shows as too few digits below and costs one step more.
  int binary = 0;
  std::frexp(magnitude, &binary);  // 2^(binary - 1) <= magnitude < 2^binary
  int e = static_cast<int>(std::floor((binary - 1) * 0.30102999566398120));
  if (e < 15 && magnitude >= kBounds[e + 16]) ++e;
  double scaled = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int shift = 5 - e;
    scaled = shift >= 0 ? magnitude * kPowersOfTen[shift] : magnitude / kPowersOfTen[-shift];
    if (scaled >= 99999.5 || e == -15) break;
    --e;
  }
  const double fraction = scaled - std::floor(scaled);
  if (!(scaled >= 99999.5 && scaled < 1e6) || std::fabs(fraction - 0.5) < 1e-6) {
    return throughText(value);
  }
  const double whole = std::nearbyint(scaled);
  const int p = e - 5;
  const double written = p >= 0 ? whole * kPowersOfTen[p] : whole / kPowersOfTen[-p];
  if (isFloatMidpoint(written)) return throughText(value);
  const float result = static_cast<float>(written);
  return value < 0 ? -result : result;
}

InputEncoder::InputEncoder(const std::vector<InputColumn>& inputs,
                           const std::vector<float>& inputRanges) {
  for (size_t j = 0; j < inputs.size(); ++j) {
    low_.push_back(inputRanges[2 * j]);
    high_.push_back(inputRanges[2 * j + 1]);
    const int column = static_cast<int>(j);
    if (inputs[j].row->columns == Columns::perUser) {
      userColumns_.push_back(column);
      columnsOfUser_[inputs[j].user].push_back(column);
    } else {
      rows_.push_back(inputs[j].row);
      rowColumns_.push_back(column);
    }
  }
}

// As NN::scaleInputs: ((x - min) + (x - min)) / (max - min) - 1, in float.
float InputEncoder::scaledAt(size_t column, float value) const {
  const float shifted = value - low_[column];
  return (shifted + shifted) / (high_[column] - low_[column]) - 1.0f;
}

void InputEncoder::encode(const JobData& job, const double* values, float* scaled) const {
  for (size_t r = 0; r < rows_.size(); ++r) {
    const size_t column = static_cast<size_t>(rowColumns_[r]);
    scaled[column] = scaledAt(column, asInTrainingData(values[r]));
  }
  if (userColumns_.empty()) return;
  // A user the card does not list gets zeros everywhere, as tallis gives a user id that is
  // not in its table: a new user.
  for (int column : userColumns_) scaled[column] = scaledAt(static_cast<size_t>(column), 0.0f);
  const auto user = columnsOfUser_.find(job.userID);
  if (user == columnsOfUser_.end()) return;
  for (int column : user->second) scaled[column] = scaledAt(static_cast<size_t>(column), 1.0f);
}
