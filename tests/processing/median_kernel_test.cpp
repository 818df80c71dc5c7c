// The SIMD median kernels against the plain implementations they replace, value for value:
// every radius and a range of powers on frames that stress sorting networks (ties, extremes,
// the 65000 cap), the label band's rows, and the guider's hot-pixel filter. Below them, the
// compile-time networks themselves, checked on every input of 0s and 1s.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "camera/exposures.h"
#include "processing/kernel_frames.h"
#include "processing/kernels/median.h"
#include "processing/kernels/median_networks.h"
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
      // Radius 3 does two rows at a time; from row 11 the last row has no partner.
      for (const auto& setting : {std::pair{0, 0}, {6, 10}, {10, 0}, {-3, 0}, {11, 0}, {4, 11}}) {
        // Plain copies: clang 14's lambdas cannot capture structured bindings.
        const int power = setting.first;
        const int firstRow = setting.second;
        if ((power < 0 || power > 10) && radius != 2) continue;
        if (firstRow == 11 && radius != 3) continue;
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

// Each window sorted in full: the rule at its plainest, for images of any size.
void PlainThresholdedMedian(const std::vector<std::uint16_t>& in, std::vector<std::uint16_t>& out,
                            int width, int rows, int radius, int firstRow, int num, int den) {
  std::vector<int> window;
  for (int y = firstRow + radius; y < rows - radius; ++y) {
    for (int x = radius; x < width - radius; ++x) {
      window.clear();
      for (int v = y - radius; v <= y + radius; ++v) {
        for (int u = x - radius; u <= x + radius; ++u) window.push_back(in[v * width + u]);
      }
      std::sort(window.begin(), window.end());
      const int median = window[window.size() / 2];
      const long range = window.back() - std::min(window.front(), 65000);
      const int value = in[y * width + x];
      if (range * num / den < std::abs(median - value)) out[y * width + x] = median;
    }
  }
}

TEST(MedianKernel, ImagesOfOtherSizesMatchTheWindowSortedInFull) {
  // Narrow and odd widths (a last vector overlapping the one before; for radius 3 a last block
  // whose right window lies past the image, and images of several tiles of blocks, the last
  // narrower than a vector) and heights that leave a last row without a partner, down to a
  // single row of windows.
  constexpr std::pair<int, int> kSizes[] = {{64, 7},  {64, 8},   {67, 9},   {71, 10},
                                            {267, 9}, {300, 12}, {389, 11}, {800, 10}};
  std::uint32_t seed = 500;
  for (const auto& frame : KernelTestFrames()) {
    for (const auto& [width, rows] : kSizes) {
      testing::Lcg random(seed++);
      std::vector<std::uint16_t> in(static_cast<std::size_t>(width) * rows);
      for (int i = 0; i < width * rows; ++i) {
        in[i] = static_cast<std::uint16_t>(frame.value(random, i % width, i / width));
      }
      for (int radius : {1, 2, 3}) {
        // 30001 / 65535: products whose high halves are equal or one apart, decided by
        // their low halves.
        for (const auto& [num, den] : {std::pair{3, 5}, {0, 1}, {1, 1}, {30001, 65535}}) {
          if (testing::kSanitized && num != 3) continue;
          std::vector<std::uint16_t> plain = in;
          PlainThresholdedMedian(in, plain, width, rows, radius, 0, num, den);
          ForEachInstructionSet([&](const char* instructions) {
            std::vector<std::uint16_t> fast = in;
            kernels::ThresholdedMedian(in.data(), fast.data(), width, rows, radius, 0, num, den);
            const auto at =
                std::mismatch(fast.begin(), fast.end(), plain.begin()).first - fast.begin();
            ASSERT_EQ(at, width * rows)
                << instructions << ", " << frame.name << ", " << width << " x " << rows
                << ", radius " << radius << ", " << num << "/" << den
                << ", first difference at column " << at % width << " row " << at / width;
          });
        }
      }
    }
  }
}

// ---- The networks, on every input of 0s and 1s (which decides them for all inputs) ----

// Runs the network's exchanges on `wires` in place, each keeping what it is marked to keep.
template <class WireList>
void RunExchanges(const kernels::Network& net, WireList& wires) {
  for (std::size_t i = 0; i < net.size; ++i) {
    const kernels::Exchange e = net.steps[i];
    const int low = std::min(wires[e.low], wires[e.high]);
    const int high = std::max(wires[e.low], wires[e.high]);
    if (e.keep != kernels::Keep::kHigh) wires[e.low] = low;
    if (e.keep != kernels::Keep::kLow) wires[e.high] = high;
  }
}

std::vector<int> Apply(const kernels::Network& net, std::vector<int> wires) {
  RunExchanges(net, wires);
  return wires;
}

// Two sorted lists of 0s and 1s, of `la` and `lb` values ending in `onesA` and `onesB` ones,
// one after the other.
std::vector<int> SortedPair(int la, int onesA, int lb, int onesB) {
  std::vector<int> in(la + lb, 0);
  for (int i = la - onesA; i < la; ++i) in[i] = 1;
  for (int i = la + lb - onesB; i < la + lb; ++i) in[i] = 1;
  return in;
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
        const std::vector<int> out = Apply(net, SortedPair(la, onesA, lb, onesB));
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
      const std::vector<int> out = Apply(median, SortedPair(10, onesA, 10, onesB));
      for (int r = 7; r <= 12; ++r) ASSERT_EQ(out[median.order[r]], r >= 20 - onesA - onesB);
    }
  }
}

// The networks of the 7 x 7 median, chained as the kernel chains them: only the ranks a
// step stores reach the next, and everything else it loads is poisoned (a 2 among 0s and
// 1s), so that an exchange wrongly pruned shows. Every column of six is sorted first (the
// test above covers that network), so sorted columns of 0s and 1s - 7 ones counts for each
// of seven columns - are all the inputs the merging steps can see.
using Plan = kernels::Radius3Plan;
constexpr int kPoison = 2;

// Runs `net` on two lists, the first on its wires from 0 and the second from `offset`, loaded
// as the kernel loads them, and returns its outputs by rank, those not in `keep` poisoned as
// the kernel leaves them unstored.
using Wires = std::array<int, kernels::kMaxWires>;
Wires Merged(const kernels::Network& net, const Wires& a, int offset, const Wires& b,
             const std::array<bool, kernels::kMaxWires>& keep) {
  Wires wires;
  wires.fill(kPoison);
  for (int i = 0; i < net.wires; ++i) {
    if (net.inputs[i]) wires[i] = i < offset ? a[i] : b[i - offset];
  }
  RunExchanges(net, wires);
  Wires ranked;
  ranked.fill(kPoison);
  for (int r = 0; r < net.wires; ++r) {
    if (keep[r]) ranked[r] = wires[net.order[r]];
  }
  return ranked;
}

// A sorted column of six with `ones` 1s, the ranks the kernel does not keep poisoned.
Wires Column(int ones) {
  Wires column;
  column.fill(kPoison);
  for (int i = 0; i < Plan::kColumnValues; ++i) {
    if (Plan::kColumnRanks[i]) column[i] = i >= Plan::kColumnValues - ones ? 1 : 0;
  }
  return column;
}

Wires Pair(int onesLeft, int onesRight) {
  return Merged(Plan::kPair, Column(onesLeft), Plan::kColumnValues, Column(onesRight),
                Plan::kPairRanks);
}

// A sorted list of `length` with `ones` 1s.
Wires Sorted(int length, int ones) {
  Wires list;
  list.fill(kPoison);
  for (int i = 0; i < length; ++i) list[i] = i >= length - ones ? 1 : 0;
  return list;
}

TEST(SortingNetworks, SevenBySevenCoreOnEverySortedColumnPattern) {
  // Columns 0 .. 3 make the quad (from pairs 0-1 and 2-3), columns 4 and 5 the last pair;
  // each quad is computed once for each of its 7^4 patterns. The pairs keep their smallest
  // and largest for the window's range.
  std::vector<Wires> pairs, quads;
  std::vector<int> pairOnes, quadOnes;
  for (int pattern = 0; pattern < 7 * 7; ++pattern) {
    const int c0 = pattern % 7, c1 = pattern / 7;
    pairs.push_back(Pair(c0, c1));
    pairOnes.push_back(c0 + c1);
    const Wires& pair = pairs.back();
    ASSERT_EQ(pair[0], c0 + c1 == Plan::kPairValues ? 1 : 0) << pattern;
    ASSERT_EQ(pair[Plan::kPairValues - 1], c0 + c1 > 0 ? 1 : 0) << pattern;
  }
  for (std::size_t a = 0; a < pairs.size(); ++a) {
    for (std::size_t b = 0; b < pairs.size(); ++b) {
      quads.push_back(Merged(Plan::kQuad, pairs[a], Plan::kPairValues, pairs[b],
                             kernels::ReadRanks(Plan::kCore, 0, Plan::kQuadValues)));
      quadOnes.push_back(pairOnes[a] + pairOnes[b]);
    }
  }
  // Under the sanitizers every seventh quad pattern is enough to reach each step.
  const std::size_t quadStep = testing::kSanitized ? 7 : 1;
  for (std::size_t q = 0; q < quads.size(); q += quadStep) {
    for (std::size_t p = 0; p < pairs.size(); ++p) {
      const Wires core = Merged(Plan::kCore, quads[q], Plan::kQuadValues, pairs[p],
                                kernels::Ranks(Plan::kFirstCandidate, Plan::kMedianRank));
      const int total = quadOnes[q] + pairOnes[p];
      for (int r = Plan::kFirstCandidate; r <= Plan::kMedianRank; ++r) {
        ASSERT_EQ(core[r], r >= Plan::kCoreValues - total ? 1 : 0)
            << "rank " << r << ", quad pattern " << q << ", pair pattern " << p;
      }
    }
  }
}

TEST(SortingNetworks, SevenBySevenEdgeAndOwnValuesOnEveryInput) {
  // The row of six, on every input of 0s and 1s.
  for (int bits = 0; bits < 64; ++bits) {
    Wires row;
    row.fill(kPoison);
    for (int i = 0; i < Plan::kRowValues; ++i) row[i] = (bits >> i) & 1;
    const Wires sorted =
        Merged(Plan::kRow, row, Plan::kRowValues, Wires{}, kernels::Ranks(0, Plan::kRowValues - 1));
    std::sort(row.begin(), row.begin() + Plan::kRowValues);
    for (int r = 0; r < Plan::kRowValues; ++r) ASSERT_EQ(sorted[r], row[r]) << bits;
  }
  // The edge: the core's 14 candidates with the row; its ranks 6 .. 13 are ranks 17 .. 24 of
  // the 42 values whenever the core's ranks below 11 hold 0s and those above 24 hold 1s,
  // which is every case where those ranks matter.
  for (int coreOnes = 0; coreOnes <= Plan::kCoreValues; ++coreOnes) {
    const int candidateOnes =
        std::clamp(coreOnes - (Plan::kCoreValues - 1 - Plan::kMedianRank), 0, Plan::kCandidates);
    for (int rowOnes = 0; rowOnes <= Plan::kRowValues; ++rowOnes) {
      const Wires edge =
          Merged(Plan::kEdge, Sorted(Plan::kCandidates, candidateOnes), Plan::kCandidates,
                 Sorted(Plan::kRowValues, rowOnes),
                 kernels::Ranks(Plan::kFirstEdgeRank, Plan::kFirstEdgeRank + Plan::kEdgeRanks - 1));
      const int all = Plan::kCoreValues + Plan::kRowValues;
      for (int r = 0; r < Plan::kEdgeRanks; ++r) {
        const int rank = Plan::kMedianRank - Plan::kSide + r;
        ASSERT_EQ(edge[Plan::kFirstEdgeRank + r], rank >= all - coreOnes - rowOnes ? 1 : 0)
            << "rank " << rank << ", core ones " << coreOnes << ", row ones " << rowOnes;
      }
    }
  }
  // The own seven: a sorted column with the corner slotted in.
  for (int ones = 0; ones <= Plan::kColumnValues; ++ones) {
    for (int corner = 0; corner <= 1; ++corner) {
      const Wires seven = Merged(Plan::kCorner, Column(ones), Plan::kColumnValues, Wires{corner},
                                 kernels::Ranks(0, Plan::kSide - 1));
      for (int r = 0; r < Plan::kSide; ++r) {
        ASSERT_EQ(seven[r], r >= Plan::kSide - ones - corner ? 1 : 0) << ones << " " << corner;
      }
    }
  }
}

}  // namespace
}  // namespace corvex
