// The kernels of the anti-alias colour filter: the 5 x 5 median of an 8-bit plane, and a row
// of the filter's result (each plane's median plus the pixel's mean detail over the three
// planes, the detail being its value above the 7 x 7 low pass).
#pragma once

#include <cstdint>

namespace corvex::kernels {

// out at rows firstRow..lastRow, columns firstCol..lastCol takes the 13th largest of the 25
// values of `in` in the 5 x 5 window around it; every window must lie inside the plane
// (rows are `stride` bytes apart) and lastCol - firstCol at least 63. The rest of `out` is
// left alone; `in` and `out` must not overlap.
void Median5x5Bytes(const std::uint8_t* in, std::uint8_t* out, int stride, int firstRow,
                    int lastRow, int firstCol, int lastCol);

// Row `row` of the filtered planes, columns firstCol..lastCol: out[p] = min(medians[p] + d,
// 255), where d is the mean over the three planes of max(value - low pass, 0) and the low pass
// is the 7 x 7 weighted sum (weights summing to 156) divided by 156. Rows row - 3..row + 3 and
// columns firstCol - 3..lastCol + 3 of `planes` must exist, lastCol - firstCol must be at least
// 63, and `out` must overlap neither `planes` nor `medians`.
void AntiAliasRow(const std::uint8_t* const planes[3], const std::uint8_t* const medians[3],
                  std::uint8_t* const out[3], int stride, int row, int firstCol, int lastCol);

// The two divisions of the row as the vectors do them, a 16 x 16-bit multiply keeping the high
// half and a shift. They equal sum / 156 for every low-pass sum (0..156 x 255) and sum / 3 for
// every sum of three details (0..3 x 255); the kernel tests check each value of both ranges.
inline constexpr std::uint16_t kLowPassMultiplier = 26887;
inline constexpr int kLowPassShift = 6;
inline constexpr std::uint16_t kThirdMultiplier = 43691;
inline constexpr int kThirdShift = 1;

constexpr int LowPassOf(int sum) {
  return static_cast<int>((static_cast<std::uint32_t>(sum) * kLowPassMultiplier) >>
                          (16 + kLowPassShift));
}
constexpr int ThirdOf(int sum) {
  return static_cast<int>((static_cast<std::uint32_t>(sum) * kThirdMultiplier) >>
                          (16 + kThirdShift));
}

}  // namespace corvex::kernels
