#include "driver_fixture.h"

#include <algorithm>

#include "state/image_store.h"

namespace corvex::testing {

int PeakNear(const std::vector<std::uint16_t>& image, int column, int row, int radius) {
  int peak = 0;
  for (int y = std::max(0, row - radius); y <= std::min(kImageRows - 1, row + radius); ++y) {
    for (int x = std::max(0, column - radius); x <= std::min(kImageStride - 1, column + radius);
         ++x) {
      peak = std::max<int>(peak, image[static_cast<std::size_t>(y * kImageStride + x)]);
    }
  }
  return peak;
}

int Median(std::vector<std::uint16_t> image) {
  std::nth_element(image.begin(), image.begin() + static_cast<long>(image.size() / 2), image.end());
  return image[image.size() / 2];
}

}  // namespace corvex::testing
