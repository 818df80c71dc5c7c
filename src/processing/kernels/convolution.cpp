// The convolutions and the unsharp mask, built for each instruction set Highway targets and
// dispatched at run time. The loops are plain C++ shaped for the compiler's vectoriser: a
// window's taps are unrolled at compile time so that a vector of pixels takes every tap in
// registers, divisions are by constants (the filters' 1, 16 and 80) or replaced by a
// multiplication with an exact correction, and the clip is a pair of selects. The unsharp
// mask's box sums are running sums, whose cost per pixel is the same for every radius.
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
  const int top = firstRow + radius;
  const int bottom = rows - 2 - radius;
  if (n <= 0 || top > bottom) return;
  // The box sums come from running sums, so that their cost does not grow with the radius.
  // Each input row is turned once into its prefix sums (prefix[x] is the sum of the values
  // left of x); `window` holds, for every x, the sum of those prefixes over the window's
  // rows, kept up to date by adding the row that enters below and taking away the one that
  // leaves above. A box sum is then window[x + side] - window[x]. The sums are unsigned and
  // may wrap round: a box sum is below 2^31, so the difference modulo 2^32 is exact.
  const std::size_t span = static_cast<std::size_t>(width) + 1;
  std::vector<std::uint32_t> store(span * static_cast<std::size_t>(side + 2));
  std::uint32_t* window = store.data();
  std::uint32_t* entering = window + span;
  // The prefixes of the window's rows, by row number modulo side: the slot a row enters is
  // the one of the row that leaves.
  std::vector<std::uint32_t*> slots(static_cast<std::size_t>(side));
  for (int s = 0; s < side; ++s) slots[s] = entering + span * static_cast<std::size_t>(s + 1);
  const auto prefixes = [width](const std::uint16_t* row, std::uint32_t* prefix) {
    std::uint32_t sum = 0;
    prefix[0] = 0;
    for (int x = 0; x < width; ++x) {
      sum += row[x];
      prefix[x + 1] = sum;
    }
  };
  std::fill(window, window + span, 0u);
  for (int r = top - radius; r <= top + radius; ++r) {
    std::uint32_t* prefix = slots[r % side];
    prefixes(in + static_cast<std::ptrdiff_t>(r) * width, prefix);
    for (std::size_t x = 0; x < span; ++x) window[x] += prefix[x];
  }

  // The mean's division: a single-precision estimate (box sums stay below 2^24 for every
  // radius the program offers, and are exact in a float), off by at most one, then put right.
  const float reciprocal = 1.0f / static_cast<float>(area);
  // v + (v - m) x power fits in 32 bits for |power| <= 32767.
  const bool narrow = std::abs(power) <= 32767;
  for (int y = top;; ++y) {
    const std::uint32_t* HWY_RESTRICT leftEdge = window;
    const std::uint32_t* HWY_RESTRICT rightEdge = window + side;
    const std::uint16_t* HWY_RESTRICT centre = in + static_cast<std::ptrdiff_t>(y) * width + radius;
    std::uint16_t* HWY_RESTRICT result = out + static_cast<std::ptrdiff_t>(y) * width + radius;
    if (narrow) {
      for (int i = 0; i < n; ++i) {
        const int s = static_cast<int>(rightEdge[i] - leftEdge[i]);
        int mean = static_cast<int>(static_cast<float>(s) * reciprocal);
        mean -= mean * area > s ? 1 : 0;
        mean += (mean + 1) * area <= s ? 1 : 0;
        const int v = centre[i];
        result[i] = Clip(v + (v - mean) * power);
      }
    } else {
      for (int i = 0; i < n; ++i) {
        const int s = static_cast<int>(rightEdge[i] - leftEdge[i]);
        const int v = centre[i];
        const long long sharpened = v + static_cast<long long>(v - s / area) * power;
        result[i] = Clip(static_cast<int>(std::clamp<long long>(sharpened, -1, 65535)));
      }
    }
    if (y == bottom) break;
    // Row y + radius + 1 enters the window and row y - radius leaves it.
    std::uint32_t*& slot = slots[(y - radius) % side];
    prefixes(in + static_cast<std::ptrdiff_t>(y + radius + 1) * width, entering);
    const std::uint32_t* HWY_RESTRICT added = entering;
    const std::uint32_t* HWY_RESTRICT removed = slot;
    std::uint32_t* HWY_RESTRICT sums = window;
    for (std::size_t x = 0; x < span; ++x) sums[x] += added[x] - removed[x];
    std::swap(slot, entering);
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
