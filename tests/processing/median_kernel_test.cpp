// The SIMD median kernels against the plain implementations they replace, value for value:
// every radius and a range of powers on frames that stress sorting networks (ties, extremes,
// the 65000 cap), the label band's rows, and the guider's hot-pixel filter. Below them, the
// compile-time networks themselves, checked on every input of 0s and 1s.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "camera/exposures.h"
#include "processing/kernel_frames.h"
#include "processing/kernels/median.h"
#include "processing/kernels/sorting_networks.h"
#include "processing/reference_kernels.h"
#include "processing/spatial_filters.h"

namespace corvex {
namespace {

using testing::FillFrame;
using testing::ForEachInstructionSet;
using testing::KernelTestFrames;

// Where two images differ first, or -1.
int FirstDifference(const ImageBuffer& a, const ImageBuffer& b) {
  for (int i = 0; i < kImageValues; ++i) {
    if (a[i] != b[i]) return i;
  }
  return -1;
}

TEST(MedianKernel, MatchesThePlainFilterForEveryRadiusAndPower) {
  ImageBuffer in, fast, plain;
  std::uint32_t seed = 1;
  for (const auto& frame : KernelTestFrames()) {
    FillFrame(in, frame, seed++);
    for (int radius : {1, 2, 3}) {
      // A labelled frame's first ten rows stay out of the pass. Powers outside 1-10 take the
      // rule of 0 or 10.
      for (const auto& setting : {std::pair{0, 0}, {6, 10}, {10, 0}, {-3, 0}, {11, 0}}) {
        // Plain copies: clang 14's lambdas cannot capture structured bindings.
        const int power = setting.first;
        const int firstRow = setting.second;
        if ((power < 0 || power > 10) && radius != 2) continue;
        if (testing::kSanitized && power != 6) continue;
        CopyImage(in, plain);
        reference::MedianPass(in, plain, radius, power, firstRow);
        ForEachInstructionSet([&](const char* instructions) {
          CopyImage(in, fast);
          MedianPass(in, fast, radius, power, firstRow);
          const int at = FirstDifference(fast, plain);
          ASSERT_EQ(at, -1) << instructions << ", " << frame.name << ", radius " << radius
                            << ", power " << power << ", first difference at column "
                            << at % kImageStride << " row " << at / kImageStride;
        });
      }
    }
  }
}

TEST(MedianKernel, GuiderHotPixelFilterMatchesThePlainFilter) {
  GuiderBuffer in, fast, plain, scratch;
  std::uint32_t seed = 100;
  for (const auto& frame : KernelTestFrames()) {
    testing::Lcg random(seed++);
    for (int i = 0; i < kGuiderValues; ++i) {
      in[i] = plain[i] = static_cast<std::uint16_t>(frame.value(random, i % 500, i / 500));
    }
    reference::FilterGuiderHotPixels(plain, scratch);
    ForEachInstructionSet([&](const char* instructions) {
      CopyGuiderImage(in, fast);
      FilterGuiderHotPixels(fast, scratch);
      ASSERT_TRUE(std::equal(fast.begin(), fast.end(), plain.begin()))
          << instructions << ", " << frame.name;
    });
  }
  // Its threshold, trunc(range x 0.6f) in single precision, is 3 x range / 5 for every range.
  for (int range = 0; range <= 65535; ++range) {
    ASSERT_EQ(static_cast<int>(static_cast<float>(range) * 0.6f), 3 * range / 5) << range;
  }
}

// ---- The networks, on every input of 0s and 1s (which decides them for all inputs) ----

std::vector<int> Apply(const kernels::Network& net, std::vector<int> wires) {
  for (std::size_t i = 0; i < net.size; ++i) {
    const kernels::Exchange e = net.steps[i];
    const int low = std::min(wires[e.low], wires[e.high]);
    const int high = std::max(wires[e.low], wires[e.high]);
    if (e.keep != kernels::Keep::kHigh) wires[e.low] = low;
    if (e.keep != kernels::Keep::kLow) wires[e.high] = high;
  }
  return wires;
}

TEST(SortingNetworks, SortAndMergeEveryInput) {
  for (int n = 1; n <= 12; ++n) {
    const kernels::Network net = kernels::SortingNetwork(n);
    for (int bits = 0; bits < (1 << n); ++bits) {
      std::vector<int> in(n);
      for (int i = 0; i < n; ++i) in[i] = (bits >> i) & 1;
      const std::vector<int> out = Apply(net, in);
      std::sort(in.begin(), in.end());
      for (int i = 0; i < n; ++i) ASSERT_EQ(out[net.order[i]], in[i]) << n << " " << bits;
    }
  }
  // Sorted lists of 0s and 1s differ only in how many 1s they end with.
  for (const auto& [la, lb] : {std::pair{1, 1}, {3, 5}, {7, 7}, {10, 10}, {14, 14}, {14, 28}}) {
    const kernels::Network net = kernels::MergingNetwork(la, lb);
    for (int onesA = 0; onesA <= la; ++onesA) {
      for (int onesB = 0; onesB <= lb; ++onesB) {
        std::vector<int> in(la + lb, 0);
        for (int i = la - onesA; i < la; ++i) in[i] = 1;
        for (int i = la + lb - onesB; i < la + lb; ++i) in[i] = 1;
        const std::vector<int> out = Apply(net, in);
        for (int r = 0; r < la + lb; ++r) {
          ASSERT_EQ(out[net.order[r]], r >= la + lb - onesA - onesB ? 1 : 0) << la << "+" << lb;
        }
      }
    }
  }
}

TEST(SortingNetworks, PruningKeepsTheChosenRanksAndDropsTheRest) {
  const kernels::Network full = kernels::MergingNetwork(10, 10);
  const kernels::Network median = kernels::Pruned(full, kernels::Ranks(7, 12));
  EXPECT_LT(median.Operations(), full.Operations() * 3 / 4);
  for (int onesA = 0; onesA <= 10; ++onesA) {
    for (int onesB = 0; onesB <= 10; ++onesB) {
      std::vector<int> in(20, 0);
      for (int i = 10 - onesA; i < 10; ++i) in[i] = 1;
      for (int i = 20 - onesB; i < 20; ++i) in[i] = 1;
      const std::vector<int> out = Apply(median, in);
      for (int r = 7; r <= 12; ++r) ASSERT_EQ(out[median.order[r]], r >= 20 - onesA - onesB);
    }
  }
}

}  // namespace
}  // namespace corvex
