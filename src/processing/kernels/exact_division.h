// Integer division by a small constant through one single-precision multiplication, for loops
// the compiler vectorises: a vector of 32-bit integers has no division instruction, and the
// compiler's exact replacement (a 32 x 32 -> 64-bit multiplication on every other lane, then
// shuffles and a sign fix) costs several times as much as a conversion to float and back.
//
// Why it is exact: with n an integer, (n + 1/2) / d lies at least 1/(2d) away from every
// integer. The float result carries two roundings (of 1/d and of the product), a relative
// error below 2^-23, so while |n| + 1/2 < 2^22 it is off by less than 1/(2d) and truncates to
// the same integer as n / d. Callers keep |n| below kExactDivisionLimit.
#pragma once

#include <cmath>

#include <hwy/base.h>

namespace corvex::kernels {

inline constexpr int kExactDivisionLimit = 1 << 22;

// n / d rounded towards zero, as the integer division n / d, for |n| < kExactDivisionLimit.
template <int D>
HWY_INLINE int DivideTowardsZero(int n) {
  const float value = static_cast<float>(n);
  return static_cast<int>((value + std::copysign(0.5f, value)) * (1.0f / D));
}

// n / d for 0 <= n < kExactDivisionLimit.
template <int D>
HWY_INLINE int DivideDown(int n) {
  return static_cast<int>((static_cast<float>(n) + 0.5f) * (1.0f / D));
}

}  // namespace corvex::kernels
