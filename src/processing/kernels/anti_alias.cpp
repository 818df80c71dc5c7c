// The 5 x 5 byte median runs on the 16-bit median kernel: the block of windows is widened
// to 16 bits, and with a threshold of 0 that kernel puts the median everywhere (a pixel equal
// to its median keeps its value, which is the median). Widening and narrowing cost little
// next to the histogram walk per pixel this replaces, and the sorting networks stay in one
// place.
#include "processing/kernels/anti_alias.h"

#include <cstddef>
#include <vector>

#include "processing/kernels/median.h"

namespace corvex::kernels {

void Median5x5Bytes(const std::uint8_t* in, std::uint8_t* out, int stride, int firstRow,
                    int lastRow, int firstCol, int lastCol) {
  // The block: the output area and the two rows and columns of window around it.
  const int width = lastCol - firstCol + 5;
  const int rows = lastRow - firstRow + 5;
  std::vector<std::uint16_t> block(static_cast<std::size_t>(width) * rows);
  for (int y = 0; y < rows; ++y) {
    const std::uint8_t* from = in + (firstRow - 2 + y) * stride + firstCol - 2;
    std::uint16_t* to = block.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) to[x] = from[x];
  }
  std::vector<std::uint16_t> medians(block);
  ThresholdedMedian(block.data(), medians.data(), width, rows, 2, 0, 0, 1);
  for (int y = 2; y < rows - 2; ++y) {
    const std::uint16_t* from = medians.data() + static_cast<std::size_t>(y) * width;
    std::uint8_t* to = out + (firstRow - 2 + y) * stride + firstCol - 2;
    for (int x = 2; x < width - 2; ++x) to[x] = static_cast<std::uint8_t>(from[x]);
  }
}

}  // namespace corvex::kernels
