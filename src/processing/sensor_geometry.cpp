#include "processing/sensor_geometry.h"

#include <algorithm>
#include <cmath>

namespace corvex {

int BlackLevel(const ImageBuffer& image) {
  long sum = 0;
  for (int row = 20; row <= 219; ++row) {
    for (int col = 3; col <= 5; ++col) sum += image[row * kImageStride + col];
  }
  return static_cast<int>(sum / 600);
}

bool HasLabelBand(const ImageBuffer& image) {
  return image[4] + image[5] == 2 * kLabelMarkerValue;
}

void ResampleRows(const std::uint8_t* source, int sourceRows, int rowBytes, std::uint8_t* target,
                  int targetRows, float factor) {
  for (int n = 0; n < targetRows; ++n) {
    const float s = static_cast<float>(n) / factor;
    const int r = std::min(static_cast<int>(std::floor(s)), sourceRows - 1);
    const float f = s - static_cast<float>(r);
    const int second = n == targetRows - 1 ? r : std::min(r + 1, sourceRows - 1);
    const std::uint8_t* a = source + r * rowBytes;
    const std::uint8_t* b = source + second * rowBytes;
    std::uint8_t* out = target + n * rowBytes;
    for (int i = 0; i < rowBytes; ++i) {
      const float v = static_cast<float>(a[i]) + static_cast<float>(b[i] - a[i]) * f;
      out[i] = static_cast<std::uint8_t>(std::min(static_cast<int>(v), 255));
    }
  }
}

}  // namespace corvex
