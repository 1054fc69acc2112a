#pragma once

// The logistic function on eight lanes at once, for the particle-swarm evaluation loops,
// where one scalar expf per neuron and sample would cost more than all the weighted sums.
//
// exp uses a Cody-Waite range reduction and a degree-7 polynomial in single precision:
// exp(x) = 2^n * p(r), x = n*ln2 + r, |r| <= ln2/2. Against the C library's expf it stays
// within 1 ulp for every float input; the sigmoid built on it, 1 / (1 + exp(-x)), stays
// within 4 ulps of the same expression with expf (rounding 1 + e for large e adds the
// rest). tests/trainers/fast_exp_test.cpp checks both across the float range.
// Overflow and underflow behave like expf: exp(x) is +inf above 88.7228 and 0 below -103.98
// (subnormal in between), so sigmoid(-100) is 0 and sigmoid(100) is exactly 1. NaN stays
// NaN. Multiplications and additions are written out separately and -ffp-contract=off
// keeps them unfused, so every lane computes exactly what the scalar formula would.

#include <cstring>

// Everything here is compiled for AVX2: callers are AVX2 functions too (target attribute),
// chosen at run time with __builtin_cpu_supports("avx2"). clang has no GCC target pragma and
// takes the same attribute through its own.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace fastexp {

constexpr int kLanes = 8;
typedef float Floats __attribute__((vector_size(kLanes * sizeof(float))));
typedef int Ints __attribute__((vector_size(kLanes * sizeof(int))));

#define FASTEXP_INLINE inline __attribute__((always_inline))

FASTEXP_INLINE Floats splat(float value) {
  Floats lanes = {value, value, value, value, value, value, value, value};
  return lanes;
}

FASTEXP_INLINE Floats load(const float* source) {
  Floats lanes;
  std::memcpy(&lanes, source, sizeof lanes);
  return lanes;
}

FASTEXP_INLINE void store(float* destination, Floats lanes) {
  std::memcpy(destination, &lanes, sizeof lanes);
}

FASTEXP_INLINE Floats exp(Floats x) {
  // Inputs outside [-104, 89] give 0 or +inf anyway; clamping keeps n in the exponent range.
  // A NaN compares false and is clamped too; it is put back at the end.
  const Floats low = splat(-104.0f);
  const Floats high = splat(89.0f);
  Floats clamped = x > low ? x : low;
  clamped = clamped < high ? clamped : high;

  // n = round(x / ln2): adding and subtracting 1.5 * 2^23 rounds to the nearest integer.
  const Floats roundingShift = splat(12582912.0f);
  Floats n = clamped * splat(1.44269504088896341f) + roundingShift;
  n = n - roundingShift;
  // r = x - n*ln2 in two steps: n*0.693359375 is exact, the second term carries the rest.
  Floats r = clamped - n * splat(0.693359375f);
  r = r - n * splat(-2.12194440e-4f);

  Floats p = splat(1.9875691500e-4f);
  p = p * r + splat(1.3981999507e-3f);
  p = p * r + splat(8.3334519073e-3f);
  p = p * r + splat(4.1665795894e-2f);
  p = p * r + splat(1.6666665459e-1f);
  p = p * r + splat(5.0000001201e-1f);
  p = p * (r * r) + r;
  p = p + splat(1.0f);

  // 2^n as two factors, each a normal float, so that subnormal results round once and
  // results above the float range become +inf.
  Ints exponent = __builtin_convertvector(n, Ints);
  Ints half = exponent >> 1;
  Ints rest = exponent - half;
  const Ints bias = {127, 127, 127, 127, 127, 127, 127, 127};
  Floats scale1 = reinterpret_cast<Floats>((half + bias) << 23);
  Floats scale2 = reinterpret_cast<Floats>((rest + bias) << 23);
  Floats result = (p * scale1) * scale2;
  return x == x ? result : x;
}

// 1 / (1 + e^-x), the neuron activation, in single precision.
FASTEXP_INLINE Floats sigmoid(Floats x) {
  const Floats one = splat(1.0f);
  return one / (one + exp(-x));
}

#undef FASTEXP_INLINE

}  // namespace fastexp

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
