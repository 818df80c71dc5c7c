#include "processing/reference_kernels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "processing/colour_synthesis.h"
#include "processing/sensor_geometry.h"

namespace corvex::reference {

namespace {

constexpr int kHotPixelMinimumCap = 65000;
constexpr float kHotPixelThreshold = 0.6f;

std::uint16_t Clip(long value) {
  if (value > 65280) return 65535;
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

}  // namespace

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

void FilterGuiderHotPixels(GuiderBuffer& image, GuiderBuffer& scratch) {
  constexpr int kWidth = kReadoutWidth;
  std::copy(image.begin(), image.end(), scratch.begin());
  const auto median3 = [](int a, int b, int c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
  };
  // Each column's three values (rows above, here, below) sorted once and shared by the three
  // pixels whose neighbourhoods hold them. The median of the nine is then the median of the
  // largest low, the middle middle and the smallest high.
  std::array<int, kWidth> low, middle, high;
  for (int row = 1; row < kImageRows - 1; ++row) {
    const std::uint16_t* above = image.data() + (row - 1) * kWidth;
    const std::uint16_t* here = above + kWidth;
    const std::uint16_t* below = here + kWidth;
    for (int col = 0; col < kWidth; ++col) {
      const int a = above[col], b = here[col], c = below[col];
      low[col] = std::min({a, b, c});
      high[col] = std::max({a, b, c});
      middle[col] = median3(a, b, c);
    }
    for (int col = 1; col < kWidth - 1; ++col) {
      const int centre = here[col];
      const int smallest = std::min({low[col - 1], low[col], low[col + 1], kHotPixelMinimumCap});
      const int largest = std::max({high[col - 1], high[col], high[col + 1]});
      const int median = median3(std::max({low[col - 1], low[col], low[col + 1]}),
                                 median3(middle[col - 1], middle[col], middle[col + 1]),
                                 std::min({high[col - 1], high[col], high[col + 1]}));
      const int threshold =
          static_cast<int>(static_cast<float>(largest - smallest) * kHotPixelThreshold);
      const int difference = median > centre ? median - centre : centre - median;
      scratch[row * kWidth + col] =
          static_cast<std::uint16_t>(difference > threshold ? median : centre);
    }
  }
  std::copy(scratch.begin(), scratch.end(), image.begin());
}

void MedianOf25(const std::uint8_t* in, std::uint8_t* out) {
  constexpr int kRank = 12;  // 12 values below the 13th largest of 25
  for (int y = 3; y <= 286; ++y) {
    int counts[256] = {};
    int value = 0;
    int below = 0;  // values in the window smaller than `value`
    const auto column = [&](int x, int delta) {
      for (int row = y - 2; row <= y + 2; ++row) {
        const int v = in[row * kImageStride + x];
        counts[v] += delta;
        if (v < value) below += delta;
      }
    };
    for (int x = 1; x <= 5; ++x) column(x, 1);
    for (int x = 3; x <= 508; ++x) {
      while (below > kRank) below -= counts[--value];
      while (below + counts[value] <= kRank) below += counts[value++];
      out[y * kImageStride + x] = static_cast<std::uint8_t>(value);
      column(x - 2, -1);
      column(x + 3, 1);
    }
  }
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

void SynthesizeRows(const ImageBuffer& image, ImageBuffer& luminance,
                    const MutablePlaneView& planes, bool pixelOffset, bool lineOffset,
                    bool labelled) {
  constexpr int kSynthesisRows = kImageRows - 1;
  constexpr int kImageColumns = 510;
  bool rowPhase = lineOffset;
  for (int y = 0; y < kSynthesisRows; ++y) {
    bool columnPhase = pixelOffset;
    const int base = y * kImageStride;
    for (int x = 0; x < kImageColumns; ++x) {
      const int i = base + x;
      if (y == 0 || x == 0 || (labelled && y < kLabelBandRows)) {
        luminance[i] = image[i];
        planes.red[i] = planes.green[i] = planes.blue[i] = 0;
      } else {
        const SynthesisPixel pixel = SynthesizePixel(image, x, y, columnPhase, rowPhase);
        luminance[i] = pixel.luminance;
        planes.red[i] = pixel.red;
        planes.green[i] = pixel.green;
        planes.blue[i] = pixel.blue;
      }
      columnPhase = !columnPhase;
    }
    for (int x = kImageColumns; x < kImageStride; ++x) {
      planes.red[base + x] = planes.green[base + x] = planes.blue[base + x] = 0;
      luminance[base + x] = image[base + x];
    }
    rowPhase = !rowPhase;
  }
  const int last = kSynthesisRows * kImageStride;
  std::fill(luminance.begin() + last, luminance.begin() + kImageValues, 0);
  for (std::uint8_t* plane : {planes.red, planes.green, planes.blue}) {
    std::fill(plane + last, plane + kImageValues, 0);
    if (labelled) {
      std::fill(plane, plane + kLabelBandValues, 255);
    } else {
      std::fill(plane, plane + kImageStride, 0);
    }
  }
}

}  // namespace corvex::reference
