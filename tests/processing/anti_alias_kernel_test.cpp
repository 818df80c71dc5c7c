// The anti-alias filter's kernels on every instruction set: the 5 x 5 byte median against the
// histogram median it replaces, and the filter's rows against a plain pixel-by-pixel sum, on
// planes of the high and of the low bytes of the kernel test frames (the whole range,
// extremes, few values and ties), with pixels outside their area untouched; and the
// multiply-shift divisions against true division over every value they can meet.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "processing/kernel_frames.h"
#include "processing/kernels/anti_alias.h"
#include "processing/reference_kernels.h"

namespace corvex {
namespace {

using testing::ForEachInstructionSet;
using testing::KernelTestFrames;

TEST(AntiAliasKernel, MedianMatchesTheHistogramMedian) {
  std::vector<std::uint8_t> in(kImageValues), fast(kImageValues), plain(kImageValues);
  std::uint32_t seed = 300;
  for (const auto& frame : KernelTestFrames()) {
    for (const int shift : {8, 0}) {
      if (testing::kSanitized && shift == 0) continue;
      testing::Lcg random(seed++);
      for (int i = 0; i < kImageValues; ++i) {
        in[i] = static_cast<std::uint8_t>(frame.value(random, i % kImageStride, i / kImageStride) >>
                                          shift);
      }
      // Outside rows 3-286 and columns 3-508 `out` keeps what it had.
      std::fill(plain.begin(), plain.end(), 77);
      reference::MedianOf25(in.data(), plain.data());
      ForEachInstructionSet([&](const char* instructions) {
        std::fill(fast.begin(), fast.end(), 77);
        kernels::Median5x5Bytes(in.data(), fast.data(), kImageStride, 3, 286, 3, 508);
        const auto at = std::mismatch(fast.begin(), fast.end(), plain.begin()).first - fast.begin();
        ASSERT_EQ(at, kImageValues)
            << instructions << ", " << frame.name << " >> " << shift
            << ", first difference at column " << at % kImageStride << " row " << at / kImageStride;
      });
    }
  }
}

TEST(AntiAliasKernel, DivisionsAreExactOverTheirWholeRange) {
  for (int sum = 0; sum <= 156 * 255; ++sum) ASSERT_EQ(kernels::LowPassOf(sum), sum / 156) << sum;
  for (int sum = 0; sum <= 3 * 255; ++sum) ASSERT_EQ(kernels::ThirdOf(sum), sum / 3) << sum;
}

// One filtered pixel the way the filter was first written: the 7 x 7 sum, true divisions.
int PlainAntiAlias(const std::vector<std::uint8_t> (&planes)[3], int median, int x, int y) {
  static constexpr int kKernel[7][7] = {
      {0, 1, 2, 3, 2, 1, 0}, {1, 2, 3, 4, 3, 2, 1}, {2, 3, 6, 9, 6, 3, 2}, {3, 4, 9, 12, 9, 4, 3},
      {2, 3, 6, 9, 6, 3, 2}, {1, 2, 3, 4, 3, 2, 1}, {0, 1, 2, 3, 2, 1, 0}};
  int details = 0;
  for (const auto& plane : planes) {
    int sum = 0;
    for (int dy = -3; dy <= 3; ++dy) {
      for (int dx = -3; dx <= 3; ++dx)
        sum += plane[(y + dy) * kImageStride + x + dx] * kKernel[dy + 3][dx + 3];
    }
    const int low = std::min(sum / 156, 255);
    const int value = plane[y * kImageStride + x];
    details += low < value ? value - low : 0;
  }
  return std::min(median + details / 3, 255);
}

TEST(AntiAliasKernel, RowsMatchThePlainSum) {
  std::vector<std::uint8_t> planes[3], medians[3], out[3], plain[3];
  for (int p = 0; p < 3; ++p) {
    for (auto* v : {&planes[p], &medians[p], &out[p], &plain[p]}) v->assign(kImageValues, 0);
  }
  std::uint32_t seed = 500;
  for (const auto& frame : KernelTestFrames()) {
    for (const int shift : {8, 0}) {
      if (testing::kSanitized && shift == 0) continue;
      testing::Lcg random(seed++);
      for (int p = 0; p < 3; ++p) {
        for (int i = 0; i < kImageValues; ++i) {
          planes[p][i] = static_cast<std::uint8_t>(
              frame.value(random, i % kImageStride, i / kImageStride) >> shift);
          // Medians across the range, often high enough that the sum saturates.
          medians[p][i] = static_cast<std::uint8_t>(random.In(0, 3) == 0 ? 255 - random.In(0, 20)
                                                                         : random.In(0, 255));
        }
      }
      for (int p = 0; p < 3; ++p) {
        std::fill(plain[p].begin(), plain[p].end(), 77);
        for (int y = 3; y <= 286; ++y) {
          for (int x = 3; x <= 508; ++x) {
            plain[p][y * kImageStride + x] = static_cast<std::uint8_t>(
                PlainAntiAlias(planes, medians[p][y * kImageStride + x], x, y));
          }
        }
      }
      const std::uint8_t* const in[3] = {planes[0].data(), planes[1].data(), planes[2].data()};
      const std::uint8_t* const median[3] = {medians[0].data(), medians[1].data(),
                                             medians[2].data()};
      std::uint8_t* const result[3] = {out[0].data(), out[1].data(), out[2].data()};
      ForEachInstructionSet([&](const char* instructions) {
        for (auto& plane : out) std::fill(plane.begin(), plane.end(), 77);
        for (int y = 3; y <= 286; ++y)
          kernels::AntiAliasRow(in, median, result, kImageStride, y, 3, 508);
        for (int p = 0; p < 3; ++p) {
          const auto at =
              std::mismatch(out[p].begin(), out[p].end(), plain[p].begin()).first - out[p].begin();
          ASSERT_EQ(at, kImageValues) << instructions << ", " << frame.name << " >> " << shift
                                      << ", plane " << p << ", first difference at column "
                                      << at % kImageStride << " row " << at / kImageStride;
        }
      });
    }
  }
}

}  // namespace
}  // namespace corvex
