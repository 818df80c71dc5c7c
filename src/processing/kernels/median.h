// The thresholded median of 16-bit images (the median filter and the guider's hot-pixel
// filter), one pixel per SIMD lane.
#pragma once

#include <cstdint>

namespace corvex::kernels {

// For each pixel of rows firstRow + radius .. rows - 1 - radius and columns radius ..
// width - 1 - radius: when range x num / den, rounded down, is less than the distance of the
// pixel's value from its window's median, `out` takes the median; elsewhere `out` is left
// alone (it starts as a copy of `in`, and must not overlap it). The window is the
// (2 radius + 1)^2 square around the pixel; its range is its largest value less its smallest,
// the smallest taken as at most 65000 so that saturated stars still count as outliers.
// radius 1, 2 or 3; width at least 64 (rows are `width` values apart); num >= 0, den >= 1.
void ThresholdedMedian(const std::uint16_t* in, std::uint16_t* out, int width, int rows,
                       int radius, int firstRow, int num, int den);

}  // namespace corvex::kernels
