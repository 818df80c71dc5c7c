#include "processing/colour_adjustments.h"

#include <algorithm>

#include "processing/sensor_geometry.h"

namespace corvex {

namespace {

constexpr int kAntiAliasKernel[7][7] = {
    {0, 1, 2, 3, 2, 1, 0}, {1, 2, 3, 4, 3, 2, 1}, {2, 3, 6, 9, 6, 3, 2}, {3, 4, 9, 12, 9, 4, 3},
    {2, 3, 6, 9, 6, 3, 2}, {1, 2, 3, 4, 3, 2, 1}, {0, 1, 2, 3, 2, 1, 0}};
constexpr int kAntiAliasDivisor = 156;
constexpr int kLowPassKernel[3][3] = {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}};
constexpr int kBalanceKeepFrom = 245;
constexpr int kStartBinPixels = 5000;

using Plane = std::uint8_t*;

std::array<Plane, 3> Planes(const MutablePlaneView& view) {
  return {view.red, view.green, view.blue};
}

// The 13th largest of a 5 x 5 window of bytes, by a sliding 256-bin histogram per row that
// follows the median from one window to the next (it moves only a little).
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

}  // namespace

MutablePlaneView ViewOf(ColourPlanes& planes) {
  return {planes.red.data(), planes.green.data(), planes.blue.data()};
}

void CopyPlanes(const MutablePlaneView& from, const MutablePlaneView& to) {
  const auto in = Planes(from);
  const auto out = Planes(to);
  for (int p = 0; p < 3; ++p) std::copy_n(in[p], kImageValues, out[p]);
}

void AntiAliasPass(const MutablePlaneView& planes, const MutablePlaneView& detail,
                   const MutablePlaneView& scratch, const std::function<void(int)>& progress) {
  const auto plane = Planes(planes);
  const auto details = Planes(detail);
  const auto medians = Planes(scratch);
  // Outside the computed area a pixel keeps its value: no detail, its own value as median.
  for (int p = 0; p < 3; ++p) {
    std::fill_n(details[p], kImageValues, 0);
    std::copy_n(plane[p], kImageValues, medians[p]);
  }
  // The low pass is summed a kernel entry at a time across the whole row, which the compiler
  // can vectorise; the result is the same as the 7 x 7 sum pixel by pixel.
  int sums[kImageStride];
  for (int y = 3; y <= 286; ++y) {
    if (progress) progress(y / 2);
    for (int p = 0; p < 3; ++p) {
      const std::uint8_t* in = plane[p];
      std::fill(std::begin(sums), std::end(sums), 0);
      for (int dy = -3; dy <= 3; ++dy) {
        for (int dx = -3; dx <= 3; ++dx) {
          const int k = kAntiAliasKernel[dy + 3][dx + 3];
          if (k == 0) continue;
          const std::uint8_t* row = in + (y + dy) * kImageStride + dx;
          for (int x = 3; x <= 508; ++x) sums[x] += row[x] * k;
        }
      }
      std::uint8_t* out = details[p] + y * kImageStride;
      const std::uint8_t* values = in + y * kImageStride;
      for (int x = 3; x <= 508; ++x) {
        const int low = std::min(sums[x] / kAntiAliasDivisor, 255);
        out[x] = static_cast<std::uint8_t>(low < values[x] ? values[x] - low : 0);
      }
    }
  }
  for (int p = 0; p < 3; ++p) MedianOf25(plane[p], medians[p]);
  if (progress) progress(570 / 2);
  for (int i = 0; i < kImageValues; ++i) {
    const int d = (details[0][i] + details[1][i] + details[2][i]) / 3;
    for (int p = 0; p < 3; ++p)
      plane[p][i] = static_cast<std::uint8_t>(std::min(medians[p][i] + d, 255));
  }
}

void LowPassColourPass(const MutablePlaneView& planes, const MutablePlaneView& scratch) {
  const auto plane = Planes(planes);
  const auto out = Planes(scratch);
  for (int p = 0; p < 3; ++p) {
    std::copy_n(plane[p], kImageValues, out[p]);
    for (int y = 1; y <= 288; ++y) {
      for (int x = 1; x <= 510; ++x) {
        int sum = 0;
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            sum += plane[p][(y + dy) * kImageStride + x + dx] * kLowPassKernel[dy + 1][dx + 1];
          }
        }
        out[p][y * kImageStride + x] = static_cast<std::uint8_t>(std::min(sum / 16, 255));
      }
    }
    std::copy_n(out[p], kImageValues, plane[p]);
  }
}

void BalancePass(const MutablePlaneView& planes, int red, int green, int blue,
                 const std::function<void(int row)>& progress) {
  const auto plane = Planes(planes);
  const int offsets[3] = {2 * red, 2 * green, 2 * blue};
  for (int i = 0; i < kImageValues; ++i) {
    if (progress && i % kImageStride == 0) progress(i / kImageStride);
    if (plane[0][i] == 0 && plane[1][i] == 0 && plane[2][i] == 0) continue;
    for (int p = 0; p < 3; ++p) {
      const int value = plane[p][i];
      if (value >= kBalanceKeepFrom) continue;
      plane[p][i] =
          static_cast<std::uint8_t>(offsets[p] >= value ? 0 : std::min(value - offsets[p], 255));
    }
  }
}

void ChromaticPass(const MutablePlaneView& planes, const MutablePlaneView& scratch, int redH,
                   int redV, int blueH, int blueV, int firstRow) {
  const std::pair<std::uint8_t*, std::uint8_t*> shifted[2] = {{planes.red, scratch.red},
                                                              {planes.blue, scratch.blue}};
  const int horizontal[2] = {redH, blueH};
  const int vertical[2] = {redV, blueV};
  for (int p = 0; p < 2; ++p) {
    std::uint8_t* plane = shifted[p].first;
    std::uint8_t* work = shifted[p].second;
    std::copy_n(plane, kImageValues, work);
    const int h = horizontal[p];
    for (int y = firstRow; y < kImageRows; ++y) {
      for (int x = 0; x < kImageStride; ++x) {
        const int from = x + h;
        if (from >= 0 && from < kImageStride)
          work[y * kImageStride + x] = plane[y * kImageStride + from];
      }
    }
    std::copy_n(work, kImageValues, plane);
    const int v = vertical[p];
    for (int y = firstRow; y < kImageRows; ++y) {
      const int from = y + v;
      if (from < firstRow || from >= kImageRows) continue;
      std::copy_n(plane + from * kImageStride, kImageStride, work + y * kImageStride);
    }
    std::copy_n(work, kImageValues, plane);
  }
}

ColourStartBins ColourHistogramStarts(const PlaneView& planes) {
  const std::uint8_t* const all[3] = {planes.red, planes.green, planes.blue};
  int starts[3];
  for (int p = 0; p < 3; ++p) {
    int counts[128] = {};
    for (int i = kLabelBandValues; i < kImageValues; ++i) ++counts[all[p][i] / 2];
    starts[p] = 1;
    for (int j = 1; j <= 119; ++j) {
      if (counts[j] > kStartBinPixels) {
        starts[p] = j;
        break;
      }
    }
  }
  return {starts[0], starts[1], starts[2]};
}

}  // namespace corvex
