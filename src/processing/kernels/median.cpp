// The thresholded median, vectorised with Highway and dispatched at run time to the best
// instruction set the processor has (AVX2 on most machines, SSE4 or plain C++ elsewhere).
//
// Every lane of a vector is one pixel, so a row is done 8 to 32 pixels at a time with the
// same compare-exchange steps. Work shared between neighbouring windows is done once:
// - each column of the window is sorted once per row and kept for the windows around it;
// - radius 1: the median of a 3 x 3 window is the median of its three columns' largest
//   minimum, middle median and smallest maximum;
// - radius 2: sorted columns are merged in pairs, kept for the windows that share them; each
//   window merges what it shares with its right neighbour, and only the ranks that can still
//   be its median are kept; the median then comes from that list and the window's first
//   column as the smallest of k + 1 maxima;
// - radius 3: two output rows at once, which share six of their seven rows (see
//   median_networks.h). Only the sorted columns and pairs, which several windows read, are
//   kept in rows; what a single window merges stays in its registers, as memory traffic
//   rather than compare-exchanges limits these kernels.
#include "processing/kernels/median.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <type_traits>
#include <utility>
#include <vector>

#include "processing/kernels/median_networks.h"
#include "processing/kernels/sorting_networks.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "processing/kernels/median.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "processing/kernels/network_steps-inl.h"

#ifndef CORVEX_MEDIAN_PLANS_
#define CORVEX_MEDIAN_PLANS_
namespace corvex::kernels {
namespace {

constexpr int kSmallestCap = 65000;

// The networks of the radius-2 window, side 5. Column c of a window is c columns right of
// its left edge; S is the merge of every column but the first (4 columns), shared with the
// window to the right, which has the same 4 columns plus one of its own.
struct Radius2Plan {
  static constexpr int kSide = 5;
  static constexpr int kMedianRank = kSide * kSide / 2;
  static constexpr int kSharedValues = 4 * kSide;
  static constexpr int kPairValues = 2 * kSide;

  // S's ranks that the last step reads: kMedianRank - kSide .. kMedianRank for the median,
  // and its smallest and largest for the window's range.
  static constexpr std::array<bool, kMaxWires> kSharedRanks = [] {
    std::array<bool, kMaxWires> ranks = Ranks(kMedianRank - kSide, kMedianRank);
    ranks[0] = ranks[kSharedValues - 1] = true;
    return ranks;
  }();
  static constexpr Network kColumn = SortingNetwork(kSide);
  // S = pair(1, 2) + pair(3, 4).
  static constexpr Network kShared = Pruned(MergingNetwork(kPairValues, kPairValues), kSharedRanks);
  static constexpr std::array<bool, kMaxWires> kPairRanks =
      Either(ReadRanks(kShared, 0, kPairValues), ReadRanks(kShared, kPairValues, kPairValues));
  static constexpr Network kPair = Pruned(MergingNetwork(kSide, kSide), kPairRanks);
};

// Rows of `width` values, one per rank of a sorted list, kept for the windows of a row.
class RankRows {
 public:
  RankRows(int ranks, int width)
      : width_(width), values_(static_cast<std::size_t>(ranks) * width) {}
  std::uint16_t* operator[](int rank) {
    return values_.data() + static_cast<std::size_t>(rank) * width_;
  }

 private:
  int width_;
  std::vector<std::uint16_t> values_;
};

}  // namespace
}  // namespace corvex::kernels
#endif  // CORVEX_MEDIAN_PLANS_

HWY_BEFORE_NAMESPACE();
namespace corvex::kernels {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;
using D = hn::ScalableTag<std::uint16_t>;
using V = hn::Vec<D>;

using network_steps::Run;
using network_steps::Sweep;
using network_steps::Unrolled;

// Loads rank rows into wires offset .. offset + count - 1, where the network reads them.
template <const Network& kNet, int kOffset, int kCount, std::size_t W>
HWY_INLINE void Load(std::array<V, W>& w, RankRows& rows, int x) {
  const D d;
  Unrolled<kCount>([&](auto p) {
    if constexpr (kNet.inputs[kOffset + p]) w[kOffset + p] = hn::LoadU(d, rows[p] + x);
  });
}

// Stores the ranks a later step reads.
template <const Network& kNet, int kCount, std::size_t W>
HWY_INLINE void Store(const std::array<V, W>& w, const std::array<bool, kMaxWires>& read,
                      RankRows& rows, int x) {
  const D d;
  Unrolled<kCount>([&](auto p) {
    if (read[p]) hn::StoreU(w[kNet.order[p]], d, rows[p] + x);
  });
}

V Median3(V a, V b, V c) {
  return hn::Max(hn::Min(a, b), hn::Min(hn::Max(a, b), c));
}

// The value where range x num < den x |median - value|, else the pixel's own. Both products
// can take 32 bits, so they are compared by their high 16 bits, then their low.
HWY_INLINE V Choose(V median, V smallest, V largest, V value, V num, V den) {
  const D d;
  const V range = hn::Sub(largest, hn::Min(smallest, hn::Set(d, kSmallestCap)));
  const V distance = hn::Or(hn::SaturatedSub(median, value), hn::SaturatedSub(value, median));
  const V rangeHigh = hn::MulHigh(range, num);
  const V rangeLow = hn::Mul(range, num);
  const V distanceHigh = hn::MulHigh(distance, den);
  const V distanceLow = hn::Mul(distance, den);
  const auto less = hn::Or(hn::Lt(rangeHigh, distanceHigh),
                           hn::And(hn::Eq(rangeHigh, distanceHigh), hn::Lt(rangeLow, distanceLow)));
  return hn::IfThenElse(less, median, value);
}

void Radius1(const std::uint16_t* in, std::uint16_t* out, int width, int rows, int firstRow, V num,
             V den) {
  const D d;
  const int lanes = static_cast<int>(hn::Lanes(d));
  RankRows sorted(3, width);
  std::uint16_t* low = sorted[0];
  std::uint16_t* middle = sorted[1];
  std::uint16_t* high = sorted[2];
  for (int y = firstRow + 1; y <= rows - 2; ++y) {
    const std::uint16_t* here = in + static_cast<std::ptrdiff_t>(y) * width;
    Sweep(0, width - 1, lanes, [&](int x) {
      const V a = hn::LoadU(d, here - width + x);
      const V b = hn::LoadU(d, here + x);
      const V c = hn::LoadU(d, here + width + x);
      const V ab = hn::Min(a, b);
      hn::StoreU(hn::Min(ab, c), d, low + x);
      hn::StoreU(Median3(a, b, c), d, middle + x);
      hn::StoreU(hn::Max(hn::Max(a, b), c), d, high + x);
    });
    Sweep(1, width - 2, lanes, [&](int x) {
      const V l0 = hn::LoadU(d, low + x - 1), l1 = hn::LoadU(d, low + x),
              l2 = hn::LoadU(d, low + x + 1);
      const V h0 = hn::LoadU(d, high + x - 1), h1 = hn::LoadU(d, high + x),
              h2 = hn::LoadU(d, high + x + 1);
      const V median = Median3(hn::Max(hn::Max(l0, l1), l2),
                               Median3(hn::LoadU(d, middle + x - 1), hn::LoadU(d, middle + x),
                                       hn::LoadU(d, middle + x + 1)),
                               hn::Min(hn::Min(h0, h1), h2));
      const V smallest = hn::Min(hn::Min(l0, l1), l2);
      const V largest = hn::Max(hn::Max(h0, h1), h2);
      const V value = hn::LoadU(d, here + x);
      hn::StoreU(Choose(median, smallest, largest, value, num, den), d,
                 out + static_cast<std::ptrdiff_t>(y) * width + x);
    });
  }
}

void Radius2(const std::uint16_t* in, std::uint16_t* out, int width, int rows, int firstRow, V num,
             V den) {
  using Plan = Radius2Plan;
  constexpr int R = 2;
  constexpr int k = Plan::kSide;
  constexpr int kPairs = Plan::kPairValues;
  const D d;
  const int lanes = static_cast<int>(hn::Lanes(d));
  RankRows columns(k, width), pairs(kPairs, width);
  for (int y = firstRow + R; y <= rows - 1 - R; ++y) {
    const std::uint16_t* top = in + static_cast<std::ptrdiff_t>(y - R) * width;
    // Every column of the row's windows, sorted.
    Sweep(0, width - 1, lanes, [&](int x) {
      std::array<V, k> w;
      Unrolled<k>([&](auto i) { w[i] = hn::LoadU(d, top + i * width + x); });
      Run<Plan::kColumn>(w);
      Unrolled<k>([&](auto i) { hn::StoreU(w[Plan::kColumn.order[i]], d, columns[i] + x); });
    });
    // Columns x and x + 1 merged.
    Sweep(0, width - 2, lanes, [&](int x) {
      std::array<V, kPairs> w;
      Unrolled<k>([&](auto i) {
        w[i] = hn::LoadU(d, columns[i] + x);
        w[k + i] = hn::LoadU(d, columns[i] + x + 1);
      });
      Run<Plan::kPair>(w);
      Store<Plan::kPair, kPairs>(w, Plan::kPairRanks, pairs, x);
    });
    // Each window: its shared columns merged, then the median with its first column.
    std::uint16_t* outRow = out + static_cast<std::ptrdiff_t>(y) * width;
    const std::uint16_t* inRow = in + static_cast<std::ptrdiff_t>(y) * width;
    Sweep(R, width - 1 - R, lanes, [&](int x) {
      std::array<V, Plan::kSharedValues> s;
      Load<Plan::kShared, 0, kPairs>(s, pairs, x - R + 1);
      Load<Plan::kShared, kPairs, kPairs>(s, pairs, x + 1);
      Run<Plan::kShared>(s);
      const auto shared = [&](int rank) { return s[Plan::kShared.order[rank]]; };
      std::array<V, k> first;
      Unrolled<k>([&](auto i) { first[i] = hn::LoadU(d, columns[i] + x - R); });
      // The median of the union of two sorted lists: the smallest over j of the larger of
      // the shared list's (median - j)-th and the first column's (j - 1)-th value.
      V median = shared(Plan::kMedianRank);
      Unrolled<k>([&](auto i) {
        median = hn::Min(median, hn::Max(shared(Plan::kMedianRank - 1 - i), first[i]));
      });
      const V smallest = hn::Min(shared(0), first[0]);
      const V largest = hn::Max(shared(Plan::kSharedValues - 1), first[k - 1]);
      hn::StoreU(Choose(median, smallest, largest, hn::LoadU(d, inRow + x), num, den), d,
                 outRow + x);
    });
  }
}

// One own row (the top row of the upper window or the bottom row of the lower): its sorted
// pairs are kept for the windows, each of which merges two of them into the quad on its
// left, one and a value into the triple on its right, and those into its seven values.
class OwnRow {
 public:
  explicit OwnRow(int width) : pairs_(2, width) {}

  // Pairs starting at first .. last - 1.
  void Pair(const std::uint16_t* row, int first, int last, int lanes) {
    const D d;
    row_ = row;
    Sweep(first, last - 1, lanes, [&](int x) {
      const V a = hn::LoadU(d, row + x);
      const V b = hn::LoadU(d, row + x + 1);
      hn::StoreU(hn::Min(a, b), d, pairs_[0] + x);
      hn::StoreU(hn::Max(a, b), d, pairs_[1] + x);
    });
  }

  // The seven values around x, smallest first.
  HWY_INLINE std::array<V, 7> Seven(int x) {
    using Plan = Radius3Plan;
    const D d;
    std::array<V, 4> quad;
    Load<Plan::kRowQuad, 0, 2>(quad, pairs_, x - 3);
    Load<Plan::kRowQuad, 2, 2>(quad, pairs_, x - 1);
    Run<Plan::kRowQuad>(quad);
    std::array<V, 3> triple;
    Load<Plan::kRowTriple, 0, 2>(triple, pairs_, x + 1);
    triple[2] = hn::LoadU(d, row_ + x + 3);
    Run<Plan::kRowTriple>(triple);
    std::array<V, 7> w;
    Unrolled<4>([&](auto i) { w[i] = quad[Plan::kRowQuad.order[i]]; });
    Unrolled<3>([&](auto i) { w[4 + i] = triple[Plan::kRowTriple.order[i]]; });
    Run<Plan::kRowSeven>(w);
    std::array<V, 7> sorted;
    Unrolled<7>([&](auto i) { sorted[i] = w[Plan::kRowSeven.order[i]]; });
    return sorted;
  }

 private:
  RankRows pairs_;
  const std::uint16_t* row_ = nullptr;
};

void Radius3(const std::uint16_t* in, std::uint16_t* out, int width, int rows, int firstRow, V num,
             V den) {
  using Plan = Radius3Plan;
  constexpr int kColumn = Plan::kColumnValues;
  constexpr int kPair = Plan::kPairValues;
  constexpr int kTriple = Plan::kTripleValues;
  constexpr int kQuad = Plan::kQuadValues;
  const D d;
  const int lanes = static_cast<int>(hn::Lanes(d));
  RankRows columns(kColumn, width), pairs(kPair, width);
  OwnRow topRow(width), bottomRow(width);
  const int firstOut = firstRow + 3;
  const int lastOut = rows - 4;
  // The windows' centres; the kept rows of a 512-column image (some 22 kB) stay in the
  // first-level cache from step to step.
  const int first = 3;
  const int last = width - 4;
  for (int y = firstOut; y <= lastOut; y += 2) {
    // A last row without a partner is done as the upper row of a pair whose lower row is
    // computed from valid rows (the bottom row stands in for the missing one) and not stored.
    const bool pairComplete = y + 1 <= lastOut;
    const std::uint16_t* middle = in + static_cast<std::ptrdiff_t>(y - 2) * width;
    const std::uint16_t* top = in + static_cast<std::ptrdiff_t>(y - 3) * width;
    const std::uint16_t* bottom =
        in + static_cast<std::ptrdiff_t>(pairComplete ? y + 4 : y + 3) * width;
    // The six shared values of every column, sorted.
    Sweep(first - 3, last + 3, lanes, [&](int x) {
      std::array<V, kColumn> w;
      Unrolled<kColumn>([&](auto i) { w[i] = hn::LoadU(d, middle + i * width + x); });
      Run<Plan::kColumn>(w);
      Store<Plan::kColumn, kColumn>(w, Plan::kColumnRanks, columns, x);
    });
    // Columns x and x + 1.
    Sweep(first - 3, last + 1, lanes, [&](int x) {
      std::array<V, kPair> w;
      Load<Plan::kPair, 0, kColumn>(w, columns, x);
      Load<Plan::kPair, kColumn, kColumn>(w, columns, x + 1);
      Run<Plan::kPair>(w);
      Store<Plan::kPair, kPair>(w, Plan::kPairRanks, pairs, x);
    });
    topRow.Pair(top, first - 3, last + 3, lanes);
    bottomRow.Pair(bottom, first - 3, last + 3, lanes);
    // Each window pair: the shared core, then each window's median with its own row.
    Sweep(first, last, lanes, [&](int x) {
      // The quad of columns x - 3 .. x and the triple of x + 1 .. x + 3, merged into the
      // core; each is the window's own, so they stay in registers.
      std::array<V, kQuad> quad;
      Load<Plan::kQuad, 0, kPair>(quad, pairs, x - 3);
      Load<Plan::kQuad, kPair, kPair>(quad, pairs, x - 1);
      Run<Plan::kQuad>(quad);
      std::array<V, kTriple> triple;
      Load<Plan::kTriple, 0, kPair>(triple, pairs, x + 1);
      Load<Plan::kTriple, kPair, kColumn>(triple, columns, x + 3);
      Run<Plan::kTriple>(triple);
      std::array<V, Plan::kCoreValues> c;
      Unrolled<kQuad>([&](auto i) {
        if constexpr (Plan::kCore.inputs[i]) c[i] = quad[Plan::kQuad.order[i]];
      });
      Unrolled<kTriple>([&](auto i) {
        if constexpr (Plan::kCore.inputs[kQuad + i]) c[kQuad + i] = triple[Plan::kTriple.order[i]];
      });
      Run<Plan::kCore>(c);
      const auto core = [&](int rank) { return c[Plan::kCore.order[rank]]; };
      const auto finish = [&](OwnRow& own, int row) {
        const std::array<V, 7> seven = own.Seven(x);
        // The median of the union of two sorted lists: the smallest over j of the larger
        // of the core's (median - j)-th and the own row's (j - 1)-th value.
        V median = core(Plan::kMedianRank);
        Unrolled<7>([&](auto i) {
          median = hn::Min(median, hn::Max(core(Plan::kMedianRank - 1 - i), seven[i]));
        });
        const V smallest = hn::Min(core(0), seven[0]);
        const V largest = hn::Max(core(Plan::kCoreValues - 1), seven[6]);
        const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(row) * width + x;
        hn::StoreU(Choose(median, smallest, largest, hn::LoadU(d, in + at), num, den), d, out + at);
      };
      finish(topRow, y);
      if (pairComplete) finish(bottomRow, y + 1);
    });
  }
}

}  // namespace

void ThresholdedMedianImpl(const std::uint16_t* in, std::uint16_t* out, int width, int rows,
                           int radius, int firstRow, int num, int den) {
  const D d;
  // Beyond num / den = 1 nothing changes (no pixel is further from the median than the
  // window's range), and below 0 the rule is that of 0.
  den = std::clamp(den, 1, 65535);
  num = std::clamp(num, 0, den);
  const V numV = hn::Set(d, static_cast<std::uint16_t>(num));
  const V denV = hn::Set(d, static_cast<std::uint16_t>(den));
  switch (radius) {
    case 1:
      Radius1(in, out, width, rows, firstRow, numV, denV);
      break;
    case 2:
      Radius2(in, out, width, rows, firstRow, numV, denV);
      break;
    case 3:
      Radius3(in, out, width, rows, firstRow, numV, denV);
      break;
    default:
      break;
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace corvex::kernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace corvex::kernels {

HWY_EXPORT(ThresholdedMedianImpl);

void ThresholdedMedian(const std::uint16_t* in, std::uint16_t* out, int width, int rows, int radius,
                       int firstRow, int num, int den) {
  HWY_DYNAMIC_DISPATCH(ThresholdedMedianImpl)(in, out, width, rows, radius, firstRow, num, den);
}

}  // namespace corvex::kernels
#endif
