// The median of the anti-alias colour filter: each pixel of an 8-bit plane becomes the
// median of the 5 x 5 window around it.
#pragma once

#include <cstdint>

namespace corvex::kernels {

// out at rows firstRow..lastRow, columns firstCol..lastCol takes the 13th largest of the 25
// values of `in` in the 5 x 5 window around it; every window must lie inside the plane
// (rows are `stride` bytes apart) and lastCol - firstCol at least 59. The rest of `out` is
// left alone; `in` and `out` must not overlap.
void Median5x5Bytes(const std::uint8_t* in, std::uint8_t* out, int stride, int firstRow,
                    int lastRow, int firstCol, int lastCol);

}  // namespace corvex::kernels
