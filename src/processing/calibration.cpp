#include "processing/calibration.h"

#include <algorithm>
#include <cmath>

#include "processing/sensor_geometry.h"

namespace corvex {

namespace {

constexpr std::uint16_t kDarkKeepFrom = 65500;
constexpr std::uint16_t kFlatKeepFrom = 65534;

}  // namespace

void SubtractDark(ImageBuffer& image, const ImageBuffer& dark, bool keepBright) {
  // Without branches, so that the compiler does it a vector at a time.
  std::uint16_t* const values = image.data();
  const std::uint16_t* const darks = dark.data();
  const int keepFrom = keepBright ? kDarkKeepFrom : 65536;
  for (int i = 0; i < kImageValues; ++i) {
    const int v = values[i];
    const int subtracted = v > darks[i] ? v - darks[i] : 0;
    values[i] = static_cast<std::uint16_t>(v >= keepFrom ? v : subtracted);
  }
}

double FlatLevel(const ImageBuffer& flat) {
  double sum = 0;
  for (int run = 0; run <= 10; ++run) {
    const int start = 2619 + 290 * run;
    for (int i = start; i < start + 491; ++i) sum += flat[i];
  }
  return 0.0002 * sum;
}

void ApplyFlat(ImageBuffer& image, const ImageBuffer& flat, double level, int firstRow,
               const std::function<void(int row)>& progress) {
  for (int row = std::max(firstRow, 1); row < kImageRows; ++row) {
    if (progress) progress(row);
    for (int col = 5; col <= 509; ++col) {
      const int i = row * kImageStride + col;
      const int f = flat[i];
      std::uint16_t& v = image[i];
      if (f == 0 || v >= kFlatKeepFrom) continue;
      const double corrected = std::trunc(static_cast<double>(v) / f * level);
      v = corrected >= 65535 ? 65535 : static_cast<std::uint16_t>(corrected);
    }
  }
}

void MergePass(ImageBuffer& base, ImageBuffer& merge, const MutablePlaneView* basePlanes,
               const MutablePlaneView* mergePlanes, const MergePositions& at, bool average) {
  const int firstRow = HasLabelBand(base) || HasLabelBand(merge) ? kLabelBandRows : 0;
  const bool planes = basePlanes != nullptr && mergePlanes != nullptr;
  for (int y = firstRow; y < kImageRows; ++y) {
    const int my = at.mergeY + (y - at.baseY);
    if (my <= firstRow || my >= kImageRows) continue;
    for (int x = 0; x < kImageStride; ++x) {
      const int mx = at.mergeX + (x - at.baseX);
      if (mx <= 0 || mx >= 510) continue;
      const int i = y * kImageStride + x;
      const int j = my * kImageStride + mx;
      const int sum = base[i] + merge[j];
      base[i] = static_cast<std::uint16_t>(average ? sum / 2 : std::min(sum, 65535));
      if (planes) {
        basePlanes->red[i] =
            static_cast<std::uint8_t>((basePlanes->red[i] + mergePlanes->red[j]) / 2);
        basePlanes->green[i] =
            static_cast<std::uint8_t>((basePlanes->green[i] + mergePlanes->green[j]) / 2);
        basePlanes->blue[i] =
            static_cast<std::uint8_t>((basePlanes->blue[i] + mergePlanes->blue[j]) / 2);
      }
    }
  }
  CopyImage(base, merge);
  if (planes) {
    std::copy_n(basePlanes->red, kImageValues, mergePlanes->red);
    std::copy_n(basePlanes->green, kImageValues, mergePlanes->green);
    std::copy_n(basePlanes->blue, kImageValues, mergePlanes->blue);
  }
}

}  // namespace corvex
