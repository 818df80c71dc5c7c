#include "processing/spatial_filters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "processing/sensor_geometry.h"

namespace corvex {

namespace {

constexpr int kClipAbove = 65280;
constexpr int kHotPixelMinimumCap = 65000;

constexpr KernelTable kKernels[] = {
    {1, 2, 1, 2, 4, 2, 1, 2, 1},
    {0, 1, 2, 1, 0, 1, 4, 8, 4, 1, 2, 8, 16, 8, 2, 1, 4, 8, 4, 1, 0, 1, 2, 1, 0},
    {0, -1, 0, -1, 5, -1, 0, -1, 0},
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 25,
     -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
    {0, -1, -1, -1, 0, -1, 1, 1, 1, -1, -1, 1, 5, 1, -1, -1, 1, 1, 1, -1, 0, -1, -1, -1, 0},
    {0, 0, -1, 0, 0, 0, -1, -1, -1, 0, -1, -1, 1, 1, 1, 0, 1, 1, 1, 0, 0, 0, 1, 0, 0},
};

std::uint16_t Clip(long value) {
  if (value > kClipAbove) return 65535;
  if (value < 0) return 0;
  return static_cast<std::uint16_t>(value);
}

// A sliding histogram of 16-bit values that follows one rank (the median) as values come and
// go: neighbouring windows have nearly the same median, so it moves only a few steps, and
// the high-byte counts let it jump over empty stretches.
class WindowHistogram {
 public:
  WindowHistogram() : fine_(65536, 0) {}
  void Add(std::uint16_t v) {
    ++coarse_[v >> 8];
    ++fine_[v];
    if (v < value_) ++below_;
  }
  void Remove(std::uint16_t v) {
    --coarse_[v >> 8];
    --fine_[v];
    if (v < value_) --below_;
  }
  // The value with `rank` smaller values below it (rank 0 is the smallest).
  int ValueAtRank(int rank) {
    while (below_ > rank) {  // too high: step down
      if ((value_ & 255) == 0 && value_ > 0 && coarse_[(value_ >> 8) - 1] == 0) {
        value_ -= 256;
        continue;
      }
      --value_;
      below_ -= fine_[value_];
    }
    while (below_ + fine_[value_] <= rank) {  // too low: step up
      below_ += fine_[value_];
      ++value_;
      while ((value_ & 255) == 0 && value_ < 65536 && coarse_[value_ >> 8] == 0) value_ += 256;
    }
    return value_;
  }

 private:
  int coarse_[256] = {};
  std::vector<std::uint8_t> fine_;  // a window holds at most 49 values
  int value_ = 0;  // the value last found
  int below_ = 0;  // how many values of the window are smaller than value_
};

// The most frequent value / 16 over a corner (the lowest such bin), searched from `firstBin`;
// 1 when no bin from there on has a count.
int CornerMode(const ImageBuffer& image, int rowFrom, int rowTo, int colFrom, int colTo,
               int firstBin) {
  std::vector<int> counts(4096, 0);
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
  const int size = 2 * radius + 1;
  for (int y = firstRow + radius; y <= kImageRows - 1 - radius; ++y) {
    for (int x = radius; x <= kImageStride - 1 - radius; ++x) {
      int sum = 0;
      const int* k = kernel.data();
      for (int dy = -radius; dy <= radius; ++dy) {
        const std::uint16_t* row = in.data() + (y + dy) * kImageStride + x - radius;
        for (int dx = 0; dx < size; ++dx) sum += row[dx] * *k++;
      }
      out[y * kImageStride + x] = Clip(sum / divisor);
    }
  }
}

void UnsharpPass(const ImageBuffer& in, ImageBuffer& out, int radius, int power, int firstRow) {
  const int size = 2 * radius + 1;
  const double area = static_cast<double>(size) * size;
  const auto column = [&](int y, int x) {
    int sum = 0;
    for (int row = y - radius; row <= y + radius; ++row) sum += in[row * kImageStride + x];
    return sum;
  };
  for (int y = firstRow + radius; y <= kImageRows - 2 - radius; ++y) {
    int sum = 0;
    for (int x = 0; x < size; ++x) sum += column(y, x);
    for (int x = radius; x <= kImageStride - 1 - radius; ++x) {
      const int v = in[y * kImageStride + x];
      const int mean = static_cast<int>(std::trunc(sum / area));
      out[y * kImageStride + x] = Clip(v + static_cast<long>(v - mean) * power);
      // Slide the box one column right (not past the row's end: that sum is never used).
      if (x + radius + 1 < kImageStride) sum += column(y, x + radius + 1) - column(y, x - radius);
    }
  }
}

void MedianPass(const ImageBuffer& in, ImageBuffer& out, int radius, int powerTenths,
                int firstRow) {
  const int size = 2 * radius + 1;
  const int count = size * size;
  // Taking the largest value out count / 2 + 1 times leaves the median as the last one taken:
  // the value with count / 2 smaller ones below it.
  const int medianRank = count - (count / 2 + 1);
  WindowHistogram histogram;
  std::vector<int> columnMin(kImageStride), columnMax(kImageStride);
  for (int y = firstRow + radius; y <= kImageRows - 1 - radius; ++y) {
    for (int x = 0; x < kImageStride; ++x) {
      int low = 65535, high = 0;
      for (int row = y - radius; row <= y + radius; ++row) {
        const int v = in[row * kImageStride + x];
        low = std::min(low, v);
        high = std::max(high, v);
      }
      columnMin[x] = low;
      columnMax[x] = high;
    }
    const auto addColumn = [&](int x, bool add) {
      for (int row = y - radius; row <= y + radius; ++row) {
        const std::uint16_t v = in[row * kImageStride + x];
        if (add) {
          histogram.Add(v);
        } else {
          histogram.Remove(v);
        }
      }
    };
    for (int x = 0; x < size; ++x) addColumn(x, true);
    for (int x = radius; x <= kImageStride - 1 - radius; ++x) {
      int low = 65535, high = 0;
      for (int c = x - radius; c <= x + radius; ++c) {
        low = std::min(low, columnMin[c]);
        high = std::max(high, columnMax[c]);
      }
      low = std::min(low, kHotPixelMinimumCap);
      const int v = in[y * kImageStride + x];
      const int median = histogram.ValueAtRank(medianRank);
      // trunc(range x power x 0.1), in integers: the same for every range and power.
      const int threshold = (high - low) * powerTenths / 10;
      if (threshold < std::abs(median - v))
        out[y * kImageStride + x] = static_cast<std::uint16_t>(median);
      addColumn(x - radius, false);
      if (x + radius + 1 < kImageStride) addColumn(x + radius + 1, true);
    }
    for (int x = kImageStride - 2 * radius; x < kImageStride; ++x) addColumn(x, false);
  }
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
