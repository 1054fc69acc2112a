#include "trainers/fast_exp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "trainers/pso_tiles.h"

namespace {

// Distance in representable floats: 0 for equal values, 1 for neighbours.
std::int64_t ulpDistance(float a, float b) {
  auto ordered = [](float f) {
    std::int32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits < 0 ? -static_cast<std::int64_t>(bits & 0x7fffffff) : std::int64_t{bits};
  };
  const std::int64_t d = ordered(a) - ordered(b);
  return d < 0 ? -d : d;
}

float referenceSigmoid(float x) { return 1.0f / (1.0f + expf(-x)); }

__attribute__((target("avx2"))) std::vector<float> laneExp(const std::vector<float>& x) {
  std::vector<float> y(x.size());
  for (std::size_t i = 0; i + fastexp::kLanes <= x.size(); i += fastexp::kLanes)
    fastexp::store(&y[i], fastexp::exp(fastexp::load(&x[i])));
  return y;
}

__attribute__((target("avx2"))) std::vector<float> laneSigmoid(const std::vector<float>& x) {
  std::vector<float> y(x.size());
  for (std::size_t i = 0; i + fastexp::kLanes <= x.size(); i += fastexp::kLanes)
    fastexp::store(&y[i], fastexp::sigmoid(fastexp::load(&x[i])));
  return y;
}

// Every 211th float with |x| < 120 (about 9 million values, both signs, subnormals
// included), padded to whole lanes.
std::vector<float> sweep() {
  std::vector<float> x;
  for (std::uint64_t bits = 0; bits <= 0xffffffffu; bits += 211) {
    const std::uint32_t b = static_cast<std::uint32_t>(bits);
    float f;
    std::memcpy(&f, &b, sizeof f);
    if (std::fabs(f) < 120.0f) x.push_back(f);
  }
  while (x.size() % fastexp::kLanes != 0) x.push_back(0.0f);
  return x;
}

class FastExp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!psotiles::available()) GTEST_SKIP() << "this processor has no AVX2";
  }
};

TEST_F(FastExp, ExpIsWithinOneUlpOfExpfAcrossTheFloatRange) {
  const std::vector<float> x = sweep();
  const std::vector<float> y = laneExp(x);
  std::int64_t worst = 0;
  std::size_t worstAt = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const std::int64_t d = ulpDistance(y[i], expf(x[i]));
    if (d > worst) worst = d, worstAt = i;
  }
  EXPECT_LE(worst, 1) << "at x = " << x[worstAt] << ": " << y[worstAt] << " against "
                      << expf(x[worstAt]);
}

TEST_F(FastExp, SigmoidIsWithinFourUlpsOfTheExpfSigmoidAcrossTheFloatRange) {
  const std::vector<float> x = sweep();
  const std::vector<float> y = laneSigmoid(x);
  std::int64_t worst = 0;
  std::size_t worstAt = 0;
  std::size_t equal = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const std::int64_t d = ulpDistance(y[i], referenceSigmoid(x[i]));
    if (d == 0) ++equal;
    if (d > worst) worst = d, worstAt = i;
  }
  EXPECT_LE(worst, 4) << "at x = " << x[worstAt] << ": " << y[worstAt] << " against "
                      << referenceSigmoid(x[worstAt]);
  EXPECT_GT(equal, x.size() * 99 / 100);  // nearly every value is the same float
}

TEST_F(FastExp, OverflowAndUnderflowBehaveLikeExpf) {
  const std::vector<float> x = {-100.0f, 100.0f, -1e30f, 1e30f, 88.72f, 88.73f, -103.0f, -110.0f};
  const std::vector<float> e = laneExp(x);
  EXPECT_LE(ulpDistance(e[0], expf(-100.0f)), 1);  // subnormal
  EXPECT_EQ(e[1], INFINITY);
  EXPECT_EQ(e[2], 0.0f);
  EXPECT_EQ(e[3], INFINITY);
  EXPECT_LE(ulpDistance(e[4], expf(88.72f)), 1);  // just below the float maximum
  EXPECT_EQ(e[5], INFINITY);
  EXPECT_LE(ulpDistance(e[6], expf(-103.0f)), 1);
  EXPECT_EQ(e[7], 0.0f);

  const std::vector<float> s = laneSigmoid(x);
  EXPECT_EQ(s[0], 0.0f);
  EXPECT_EQ(s[1], 1.0f);
  EXPECT_EQ(s[2], 0.0f);
  EXPECT_EQ(s[3], 1.0f);
  EXPECT_EQ(laneSigmoid(std::vector<float>(8, 0.0f))[3], 0.5f);
}

TEST_F(FastExp, NaNStaysNaN) {
  std::vector<float> x(8, 1.0f);
  x[5] = NAN;
  EXPECT_TRUE(std::isnan(laneExp(x)[5]));
  EXPECT_TRUE(std::isnan(laneSigmoid(x)[5]));
  EXPECT_EQ(laneExp(x)[4], expf(1.0f));
}

}  // namespace
