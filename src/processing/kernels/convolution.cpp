// The convolutions and the unsharp mask, built for each instruction set Highway targets and
// dispatched at run time. The loops are plain C++ shaped for the compiler's vectoriser: a
// window's taps are unrolled at compile time so that a vector of pixels takes every tap in
// registers, divisions are by constants (the filters' 1, 16 and 80) or replaced by a
// multiplication with an exact correction, and the clip is a pair of selects.
#include "processing/kernels/convolution.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <utility>
#include <vector>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "processing/kernels/convolution.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace corvex::kernels {
namespace HWY_NAMESPACE {
namespace {

constexpr int kClipAbove = 65280;

HWY_INLINE std::uint16_t Clip(int value) {
  const int low = value < 0 ? 0 : value;
  return static_cast<std::uint16_t>(value > kClipAbove ? 65535 : low);
}

// The weighted sum of one output row, column radius + i of `in` for i = 0 .. n - 1. `rows`
// are the window's input rows, from its left edge.
template <int R, int... T>
HWY_INLINE void WindowSums(const std::uint16_t* const* rows, const int* k, int* sums, int n,
                           std::integer_sequence<int, T...>) {
  constexpr int kSide = 2 * R + 1;
  const int weights[] = {k[T]...};
  for (int i = 0; i < n; ++i) {
    sums[i] = ((rows[T / kSide][i + T % kSide] * weights[T]) + ...);
  }
}

// kDivisor 0: the divisor is given at run time (no filter uses another, so it stays scalar).
template <int R, int kDivisor>
void ConvolveRows(const std::uint16_t* in, std::uint16_t* out, int width, int rows,
                  const int* kernel, int divisor, int firstRow) {
  constexpr int kSide = 2 * R + 1;
  const int n = width - 2 * R;
  std::vector<int> sums(static_cast<std::size_t>(std::max(n, 0)));
  for (int y = firstRow + R; y <= rows - 1 - R; ++y) {
    const std::uint16_t* window[kSide];
    for (int r = 0; r < kSide; ++r) window[r] = in + static_cast<std::ptrdiff_t>(y - R + r) * width;
    WindowSums<R>(window, kernel, sums.data(), n, std::make_integer_sequence<int, kSide * kSide>());
    std::uint16_t* row = out + static_cast<std::ptrdiff_t>(y) * width + R;
    if constexpr (kDivisor != 0) {
      for (int i = 0; i < n; ++i) row[i] = Clip(sums[i] / kDivisor);
    } else {
      for (int i = 0; i < n; ++i) row[i] = Clip(sums[i] / divisor);
    }
  }
}

template <int R>
void ConvolveRadius(const std::uint16_t* in, std::uint16_t* out, int width, int rows,
                    const int* kernel, int divisor, int firstRow) {
  switch (divisor) {
    case 1:
      return ConvolveRows<R, 1>(in, out, width, rows, kernel, divisor, firstRow);
    case 16:
      return ConvolveRows<R, 16>(in, out, width, rows, kernel, divisor, firstRow);
    case 80:
      return ConvolveRows<R, 80>(in, out, width, rows, kernel, divisor, firstRow);
    default:
      return ConvolveRows<R, 0>(in, out, width, rows, kernel, divisor, firstRow);
  }
}

}  // namespace

void ConvolveImpl(const std::uint16_t* in, std::uint16_t* out, int width, int rows, int radius,
                  const int* kernel, int divisor, int firstRow) {
  if (radius == 1) ConvolveRadius<1>(in, out, width, rows, kernel, divisor, firstRow);
  if (radius == 2) ConvolveRadius<2>(in, out, width, rows, kernel, divisor, firstRow);
}

void UnsharpImpl(const std::uint16_t* in, std::uint16_t* out, int width, int rows, int radius,
                 int power, int firstRow) {
  const int side = 2 * radius + 1;
  const int area = side * side;
  const int n = width - 2 * radius;
  if (n <= 0) return;
  // The mean's division: a single-precision estimate (box sums stay below 2^24 for every
  // radius the program offers, and are exact in a float), off by at most one, then put right.
  const float reciprocal = 1.0f / static_cast<float>(area);
  // v + (v - m) x power fits in 32 bits for |power| <= 32767.
  const bool narrow = std::abs(power) <= 32767;
  std::vector<int> columns(static_cast<std::size_t>(width)), box(static_cast<std::size_t>(n));
  for (int y = firstRow + radius; y <= rows - 2 - radius; ++y) {
    std::fill(columns.begin(), columns.end(), 0);
    for (int r = y - radius; r <= y + radius; ++r) {
      const std::uint16_t* row = in + static_cast<std::ptrdiff_t>(r) * width;
      for (int x = 0; x < width; ++x) columns[x] += row[x];
    }
    int sum = 0;
    for (int x = 0; x < side; ++x) sum += columns[x];
    for (int i = 0; i < n; ++i) {
      box[i] = sum;
      if (i + side < width) sum += columns[i + side] - columns[i];
    }
    const std::uint16_t* centre = in + static_cast<std::ptrdiff_t>(y) * width + radius;
    std::uint16_t* result = out + static_cast<std::ptrdiff_t>(y) * width + radius;
    if (narrow) {
      for (int i = 0; i < n; ++i) {
        const int s = box[i];
        int mean = static_cast<int>(static_cast<float>(s) * reciprocal);
        mean -= mean * area > s ? 1 : 0;
        mean += (mean + 1) * area <= s ? 1 : 0;
        const int v = centre[i];
        result[i] = Clip(v + (v - mean) * power);
      }
    } else {
      for (int i = 0; i < n; ++i) {
        const int v = centre[i];
        const long long sharpened = v + static_cast<long long>(v - box[i] / area) * power;
        result[i] = Clip(static_cast<int>(std::clamp<long long>(sharpened, -1, 65535)));
      }
    }
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace corvex::kernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace corvex::kernels {

HWY_EXPORT(ConvolveImpl);
HWY_EXPORT(UnsharpImpl);

void Convolve(const std::uint16_t* in, std::uint16_t* out, int width, int rows, int radius,
              const int* kernel, int divisor, int firstRow) {
  HWY_DYNAMIC_DISPATCH(ConvolveImpl)(in, out, width, rows, radius, kernel, divisor, firstRow);
}

void Unsharp(const std::uint16_t* in, std::uint16_t* out, int width, int rows, int radius,
             int power, int firstRow) {
  HWY_DYNAMIC_DISPATCH(UnsharpImpl)(in, out, width, rows, radius, power, firstRow);
}

}  // namespace corvex::kernels
#endif
