// Integer convolutions of 16-bit images (3 x 3 and 5 x 5 kernels) and the unsharp mask's
// box-mean sharpening, on rows of `width` values.
#pragma once

#include <cstdint>

namespace corvex::kernels {

// For rows firstRow + radius .. rows - 1 - radius and columns radius .. width - 1 - radius:
// the sum of the (2 radius + 1)^2 window weighted by `kernel` (row by row), divided by
// `divisor` (rounded towards 0), as the pixel of `out`: above 65280 it becomes 65535, below
// 0 it becomes 0. The rest of `out` is left alone; `in` and `out` must not overlap.
// radius 1 or 2; divisor not 0.
void Convolve(const std::uint16_t* in, std::uint16_t* out, int width, int rows, int radius,
              const int* kernel, int divisor, int firstRow);

// For rows firstRow + radius .. rows - 2 - radius and columns radius .. width - 1 - radius:
// v + (v - m) x power, cut to 0-65535 as above, where v is the pixel and m the mean of its
// (2 radius + 1)^2 window rounded down. The rest of `out` is left alone. radius >= 1 with
// (2 radius + 1)^2 x 65535 below 2^31.
void Unsharp(const std::uint16_t* in, std::uint16_t* out, int width, int rows, int radius,
             int power, int firstRow);

}  // namespace corvex::kernels
