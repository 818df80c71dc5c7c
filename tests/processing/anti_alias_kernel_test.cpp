// The anti-alias filter's 5 x 5 byte median against the histogram median it replaces, on
// every instruction set: planes of the high and of the low bytes of the kernel test frames
// (the whole range, extremes, few values and ties), and pixels outside its area untouched.
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

}  // namespace
}  // namespace corvex
