#include "processing/colour_adjustments.h"

#include <algorithm>

#include "processing/kernels/anti_alias.h"
#include "processing/sensor_geometry.h"

namespace corvex {

namespace {

constexpr int kLowPassKernel[3][3] = {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}};
constexpr int kBalanceKeepFrom = 245;
constexpr int kStartBinPixels = 5000;

using Plane = std::uint8_t*;

std::array<Plane, 3> Planes(const MutablePlaneView& view) {
  return {view.red, view.green, view.blue};
}

// The 13th largest of a 5 x 5 window of bytes, for rows 3-286 and columns 3-508.
void MedianOf25(const std::uint8_t* in, std::uint8_t* out) {
  kernels::Median5x5Bytes(in, out, kImageStride, 3, 286, 3, 508);
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
  const auto results = Planes(detail);
  const auto medians = Planes(scratch);
  // Outside rows 3-286 and columns 3-508 a pixel keeps its value, so only that area is
  // computed and copied back. The medians go to the scratch planes, each row's result to the
  // detail planes; a row is copied into the planes once no later row's low pass reads it.
  for (int p = 0; p < 3; ++p) MedianOf25(plane[p], medians[p]);
  const std::uint8_t* const in[3] = {plane[0], plane[1], plane[2]};
  const std::uint8_t* const median[3] = {medians[0], medians[1], medians[2]};
  std::uint8_t* const out[3] = {results[0], results[1], results[2]};
  const auto copyBack = [&](int y) {
    for (int p = 0; p < 3; ++p)
      std::copy_n(results[p] + y * kImageStride + 3, 506, plane[p] + y * kImageStride + 3);
  };
  for (int y = 3; y <= 286; ++y) {
    if (progress) progress(y / 2);
    kernels::AntiAliasRow(in, median, out, kImageStride, y, 3, 508);
    if (y - 3 >= 3) copyBack(y - 3);
  }
  for (int y = 284; y <= 286; ++y) copyBack(y);
  if (progress) progress(570 / 2);
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
