// Integer division by a small constant through one single-precision multiplication and a
// truncation, for loops on float vectors: a vector of integers has no division instruction,
// while a float product and a truncation are one instruction each. A vector loop that
// multiplies its lanes by kRoundedUpRatio<N, D> and truncates them (hwy::Trunc) gives each
// lane exactly what ScaleTowardsZero<N, D> gives, the two being the same IEEE operations.
//
// Why it is exact: c = kRoundedUpRatio<N, D> is N / D rounded up to a float, so
// c = N / D (1 + e) with 0 <= e < 2^-23. Take n >= 0 (negative n mirror it, the product and
// the truncation being symmetric) and N n = qD + t with 0 <= t < D. The exact product n c is
// at least q, and rounding to nearest keeps it there, q being a float. It is at most
// (q + 1 - 1/D)(1 + 2^-23), and rounding adds at most a factor 1 + 2^-24: below q + 1 while
// (q + 1 - 1/D) 2^-22 < 1/D, that is while N n <= 2^22 - D. So n c truncates to q, the
// integer N n / D, for every |N n| < kExactDivisionLimit, which leaves room to spare.
#pragma once

#include <bit>
#include <cstdint>

namespace corvex::kernels {

inline constexpr int kExactDivisionLimit = 1 << 21;

namespace detail {

constexpr float RoundedUpRatio(int n, int d) {
  float ratio = static_cast<float>(static_cast<double>(n) / d);
  // float x int is exact in double (24 + 12 bits), so the comparison is exact.
  if (static_cast<double>(ratio) * d < n) {
    ratio = std::bit_cast<float>(std::bit_cast<std::uint32_t>(ratio) + 1u);
  }
  return ratio;
}

}  // namespace detail

// The least float not below N / D.
template <int N, int D>
inline constexpr float kRoundedUpRatio = detail::RoundedUpRatio(N, D);

// N n / D rounded towards zero, as the integer expression N * n / D, for
// |N n| < kExactDivisionLimit.
template <int N, int D>
inline int ScaleTowardsZero(int n) {
  return static_cast<int>(static_cast<float>(n) * kRoundedUpRatio<N, D>);
}

}  // namespace corvex::kernels
