#include "processing/spatial_filters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "processing/kernels/convolution.h"
#include "processing/kernels/median.h"
#include "processing/sensor_geometry.h"

namespace corvex {

namespace {

constexpr KernelTable kKernels[] = {
    {1, 2, 1, 2, 4, 2, 1, 2, 1},
    {0, 1, 2, 1, 0, 1, 4, 8, 4, 1, 2, 8, 16, 8, 2, 1, 4, 8, 4, 1, 0, 1, 2, 1, 0},
    {0, -1, 0, -1, 5, -1, 0, -1, 0},
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 25,
     -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, -1, -1, -1, 0, -1, 1, 1, 1, -1, -1, 1, 5, 1, -1, -1, 1, 1, 1, -1, 0, -1, -1, -1, 0},
    {0, 0, -1, 0, 0, 0, -1, -1, -1, 0, -1, -1, 1, 1, 1, 0, 1, 1, 1, 0, 0, 0, 1, 0, 0},
};

// The most frequent value / 16 over a corner (the lowest such bin), searched from `firstBin`;
// 1 when no bin from there on has a count.
int CornerMode(const ImageBuffer& image, int rowFrom, int rowTo, int colFrom, int colTo,
               int firstBin) {
  std::array<int, 4096> counts{};
  for (int row = rowFrom; row <= rowTo; ++row) {
    for (int col = colFrom; col <= colTo; ++col) ++counts[image[row * kImageStride + col] / 16];
  }
  const auto mode = std::max_element(counts.begin() + firstBin, counts.end());
  if (*mode == 0 && firstBin > 0) return 1;
  return static_cast<int>(mode - counts.begin());
}

}  // namespace

const KernelTable& KernelEntries(Kernel kernel) {
  return kKernels[static_cast<int>(kernel)];
}

void ConvolvePass(const ImageBuffer& in, ImageBuffer& out, int radius, const KernelTable& kernel,
                  int divisor, int firstRow) {
  kernels::Convolve(in.data(), out.data(), kImageStride, kImageRows, radius, kernel.data(),
                    divisor, firstRow);
}

void UnsharpPass(const ImageBuffer& in, ImageBuffer& out, int radius, int power, int firstRow) {
  kernels::Unsharp(in.data(), out.data(), kImageStride, kImageRows, radius, power, firstRow);
}

void MedianPass(const ImageBuffer& in, ImageBuffer& out, int radius, int powerTenths,
                int firstRow) {
  // trunc(range x power x 0.1) < |median - v|, in integers: range x power < 10 x |median - v|.
  kernels::ThresholdedMedian(in.data(), out.data(), kImageStride, kImageRows, radius, firstRow,
                             powerTenths, 10);
}

void GradientPass(ImageBuffer& image, int firstRow) {
  const int modes[4] = {
      CornerMode(image, 10, 59, 20, 69, 0), CornerMode(image, 10, 59, 450, 499, 0),
      CornerMode(image, 230, 279, 20, 69, 1), CornerMode(image, 230, 279, 450, 499, 1)};
  const int lowest = *std::min_element(modes, modes + 4);
  const double tl = (modes[0] - lowest) * 16.0;
  const double tr = (modes[1] - lowest) * 16.0;
  const double bl = (modes[2] - lowest) * 16.0;
  const double br = (modes[3] - lowest) * 16.0;
  for (int y = firstRow; y < kImageRows; ++y) {
    for (int x = 0; x < kImageStride; ++x) {
      const double g = ((290.0 - y) * (512.0 - x) * tl + (290.0 - y) * x * tr +
                        y * (512.0 - x) * bl + static_cast<double>(y) * x * br) /
                       148480.0;
      std::uint16_t& value = image[y * kImageStride + x];
      value = value > g ? static_cast<std::uint16_t>(value - static_cast<int>(g)) : 0;
    }
  }
}

}  // namespace corvex
