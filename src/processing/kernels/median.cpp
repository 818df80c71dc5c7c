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
// - radius 3: blocks of 2 x 2 windows, which share a 6 x 6 core (see median_networks.h).
//   The rows are split into even and odd columns so that each lane holds a block; only the
//   sorted columns and pairs, which several blocks read, are kept in rows; what a single
//   block merges stays in its registers, as memory traffic rather than compare-exchanges
//   limits these kernels.
#include "processing/kernels/median.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
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

// Where rank rows lie: two numbers, which a kernel's loop body copies into locals. Vector
// stores may alias any memory, so a row address read through a reference would be read again
// after every store.
struct RankView {
  std::uint16_t* base;
  std::ptrdiff_t width;
  std::uint16_t* operator[](int rank) const { return base + rank * width; }
};

// Rows of `width` values, one per rank of a sorted list, kept for the windows of a row.
class RankRows {
 public:
  RankRows(int ranks, int width)
      : width_(width), values_(static_cast<std::size_t>(ranks) * width) {}
  std::uint16_t* operator[](int rank) { return View()[rank]; }
  RankView View() { return {values_.data(), width_}; }

 private:
  std::ptrdiff_t width_;
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
// Inlines a lambda into its caller (GCC and clang), where the compiler would otherwise call
// it and pass every vector it reads through memory.
#undef CORVEX_INLINE_LAMBDA
#define CORVEX_INLINE_LAMBDA __attribute__((always_inline))
using D = hn::ScalableTag<std::uint16_t>;
using V = hn::Vec<D>;

using network_steps::Run;
using network_steps::Sweep;
using network_steps::Unrolled;

// Loads rank rows into wires offset .. offset + count - 1, where the network reads them.
template <const Network& kNet, int kOffset, int kCount, std::size_t W>
HWY_INLINE void Load(std::array<V, W>& w, RankView rows, int x) {
  const D d;
  Unrolled<kCount>([&](auto p) {
    if constexpr (kNet.inputs[kOffset + p]) w[kOffset + p] = hn::LoadU(d, rows[p] + x);
  });
}

// Stores the ranks a later step reads.
template <const Network& kNet, int kCount, std::size_t W>
HWY_INLINE void Store(const std::array<V, W>& w, const std::array<bool, kMaxWires>& read,
                      RankView rows, int x) {
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
  const RankView sortedView = sorted.View();
  for (int y = firstRow + 1; y <= rows - 2; ++y) {
    const std::uint16_t* here = in + static_cast<std::ptrdiff_t>(y) * width;
    Sweep(0, width - 1, lanes, [&](int x) {
      const RankView ranks = sortedView;
      const std::ptrdiff_t stride = width;
      const std::uint16_t* at = here + x;
      const V a = hn::LoadU(d, at - stride);
      const V b = hn::LoadU(d, at);
      const V c = hn::LoadU(d, at + stride);
      const V ab = hn::Min(a, b);
      hn::StoreU(hn::Min(ab, c), d, ranks[0] + x);
      hn::StoreU(Median3(a, b, c), d, ranks[1] + x);
      hn::StoreU(hn::Max(hn::Max(a, b), c), d, ranks[2] + x);
    });
    std::uint16_t* const outRow = out + static_cast<std::ptrdiff_t>(y) * width;
    Sweep(1, width - 2, lanes, [&](int x) {
      const std::uint16_t* low = sortedView[0];
      const std::uint16_t* middle = sortedView[1];
      const std::uint16_t* high = sortedView[2];
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
      hn::StoreU(Choose(median, smallest, largest, value, num, den), d, outRow + x);
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
  RankRows columnRows(k, width), pairRows(kPairs, width);
  const RankView columnsAt = columnRows.View(), pairsAt = pairRows.View();
  for (int y = firstRow + R; y <= rows - 1 - R; ++y) {
    const std::uint16_t* top = in + static_cast<std::ptrdiff_t>(y - R) * width;
    // Every column of the row's windows, sorted.
    Sweep(0, width - 1, lanes, [&](int x) {
      const RankView columns = columnsAt;
      const std::ptrdiff_t stride = width;
      const std::uint16_t* at = top + x;
      std::array<V, k> w;
      Unrolled<k>([&](auto i) { w[i] = hn::LoadU(d, at + i * stride); });
      Run<Plan::kColumn>(w);
      Unrolled<k>([&](auto i) { hn::StoreU(w[Plan::kColumn.order[i]], d, columns[i] + x); });
    });
    // Columns x and x + 1 merged.
    Sweep(0, width - 2, lanes, [&](int x) {
      const RankView columns = columnsAt, pairs = pairsAt;
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
      const RankView columns = columnsAt, pairs = pairsAt;
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

// Rows of the image with their even and odd columns apart, so that one lane can work on two
// neighbouring windows: half row e holds columns -1, 1, 3, ... and half row o columns 0, 2,
// 4, ... (e[i] = column 2i - 1, o[i] = column 2i), columns outside the image as 0. Eight rows
// are kept, each in slot row % 8, which holds every row a pair of output rows reads.
class SplitRows {
 public:
  SplitRows(int width, int half) : width_(width), half_(half), rows_(16, half) {}

  const std::uint16_t* Even(int row) { return rows_[2 * (row & 7)]; }
  const std::uint16_t* Odd(int row) { return rows_[2 * (row & 7) + 1]; }

  void Split(const std::uint16_t* in, int row) {
    const int slot = row & 7;
    if (held_[slot] == row) return;
    held_[slot] = row;
    const D d;
    const int lanes = static_cast<int>(hn::Lanes(d));
    const std::uint16_t* from = in + static_cast<std::ptrdiff_t>(row) * width_;
    std::uint16_t* even = rows_[2 * slot];
    std::uint16_t* odd = rows_[2 * slot + 1];
    even[0] = 0;
    odd[0] = from[0];
    int i = 1;
    const auto vector = [&](int at) {
      V e, o;
      hn::LoadInterleaved2(d, from + 2 * at - 1, e, o);
      hn::StoreU(e, d, even + at);
      hn::StoreU(o, d, odd + at);
    };
    for (; 2 * i - 1 + 2 * lanes <= width_; i += lanes) vector(i);
    // A last vector overlapping the one before takes what it can of the rest, so that only
    // the two or three columns at the edge and past it are done one by one.
    const int last = (width_ + 1) / 2 - lanes;
    if (i > 1) {
      vector(last);
      i = last + lanes;
    }
    for (; i < half_; ++i) {
      even[i] = 2 * i - 1 < width_ ? from[2 * i - 1] : 0;
      odd[i] = 2 * i < width_ ? from[2 * i] : 0;
    }
  }

 private:
  int width_;
  int half_;
  RankRows rows_;
  std::array<int, 8> held_{-1, -1, -1, -1, -1, -1, -1, -1};
};

void Radius3(const std::uint16_t* in, std::uint16_t* out, int width, int rows, int firstRow, V num,
             V den) {
  using Plan = Radius3Plan;
  constexpr int kColumn = Plan::kColumnValues;
  constexpr int kPair = Plan::kPairValues;
  constexpr int kQuad = Plan::kQuadValues;
  constexpr int kCandidates = Plan::kCandidates;
  constexpr int kRow = Plan::kRowValues;
  const D d;
  const int lanes = static_cast<int>(hn::Lanes(d));
  // Block i is the windows centred on columns 2i - 1 and 2i, one lane each in the split rows.
  // The first is 3 and 4; a last block whose second window would reach past the image is
  // computed from the zeros beyond it and not stored. At least a vector of blocks is swept,
  // the ones past the last from zeros too, so that narrow images need no other path.
  const int firstBlock = 2;
  const int lastBlock = std::max((width - 3) / 2, firstBlock + lanes - 1);
  // Blocks read split columns i - 2 .. i + 2.
  const int half = lastBlock + 3;
  SplitRows split(width, half);
  RankRows evenColumnRows(kColumn, half), oddColumnRows(kColumn, half), pairRows(kPair, half);
  const RankView evenColumnsAt = evenColumnRows.View(), oddColumnsAt = oddColumnRows.View(),
                 pairsAt = pairRows.View();
  std::vector<std::uint16_t> upper(2 * static_cast<std::size_t>(half));
  std::vector<std::uint16_t> lower(2 * static_cast<std::size_t>(half));
  // The last block whose two windows, in every lane, are centred at most on column width - 4.
  const int lastDirect = (width - 2) / 2 - lanes;
  const int firstOut = firstRow + 3;
  const int lastOut = rows - 4;
  for (int y = firstOut; y <= lastOut; y += 2) {
    // A last row without a partner is done as the upper row of a pair whose lower row is
    // computed from valid rows (the bottom row stands in for the missing one) and not stored.
    const bool pairComplete = y + 1 <= lastOut;
    const int bottomRow = pairComplete ? y + 4 : y + 3;
    for (int r = y - 3; r <= y + 3; ++r) split.Split(in, r);
    split.Split(in, bottomRow);
    // The six shared values of every column, sorted, and the columns 2i - 1 and 2i merged.
    std::array<const std::uint16_t*, kColumn> evenIn, oddIn;
    for (int r = 0; r < kColumn; ++r) {
      evenIn[r] = split.Even(y - 2 + r);
      oddIn[r] = split.Odd(y - 2 + r);
    }
    Sweep(0, half - 1, lanes, [&](int i) {
      const auto evenRows = evenIn;
      const auto oddRows = oddIn;
      const RankView evenColumns = evenColumnsAt, oddColumns = oddColumnsAt, pairs = pairsAt;
      std::array<V, kPair> w;
      Unrolled<kColumn>([&](auto r) {
        w[r] = hn::LoadU(d, evenRows[r] + i);
        w[kColumn + r] = hn::LoadU(d, oddRows[r] + i);
      });
      std::array<V, kColumn> even, odd;
      std::copy(w.begin(), w.begin() + kColumn, even.begin());
      std::copy(w.begin() + kColumn, w.end(), odd.begin());
      Run<Plan::kColumn>(even);
      Run<Plan::kColumn>(odd);
      Store<Plan::kColumn, kColumn>(even, Plan::kColumnRanks, evenColumns, i);
      Store<Plan::kColumn, kColumn>(odd, Plan::kColumnRanks, oddColumns, i);
      Unrolled<kColumn>([&](auto r) {
        if constexpr (Plan::kPair.inputs[r]) w[r] = even[Plan::kColumn.order[r]];
        if constexpr (Plan::kPair.inputs[kColumn + r]) w[kColumn + r] = odd[Plan::kColumn.order[r]];
      });
      Run<Plan::kPair>(w);
      Store<Plan::kPair, kPair>(w, Plan::kPairRanks, pairs, i);
    });
    const std::uint16_t* topEven = split.Even(y - 3);
    const std::uint16_t* topOdd = split.Odd(y - 3);
    const std::uint16_t* bottomEven = split.Even(bottomRow);
    const std::uint16_t* bottomOdd = split.Odd(bottomRow);
    // outUpper[c + 1] is column c of output row y, as in the row buffers; a lower row that is
    // not stored goes to its buffer whole.
    std::uint16_t* outUpper = out + static_cast<std::ptrdiff_t>(y) * width - 1;
    std::uint16_t* outLower =
        pairComplete ? out + static_cast<std::ptrdiff_t>(y + 1) * width - 1 : lower.data();
    int firstBuffered = lastBlock + 1;
    Sweep(firstBlock, lastBlock, lanes, [&](int i) {
      const RankView evenColumns = evenColumnsAt, oddColumns = oddColumnsAt, pairs = pairsAt;
      // The core: pairs i - 1 and i merged into the quad, pair i + 1 into that; the block's
      // own, so it stays in registers.
      const V coreSmallest =
          hn::Min(hn::Min(hn::LoadU(d, pairs[0] + i - 1), hn::LoadU(d, pairs[0] + i)),
                  hn::LoadU(d, pairs[0] + i + 1));
      const V coreLargest = hn::Max(
          hn::Max(hn::LoadU(d, pairs[kPair - 1] + i - 1), hn::LoadU(d, pairs[kPair - 1] + i)),
          hn::LoadU(d, pairs[kPair - 1] + i + 1));
      std::array<V, kQuad> quad;
      Load<Plan::kQuad, 0, kPair>(quad, pairs, i - 1);
      Load<Plan::kQuad, kPair, kPair>(quad, pairs, i);
      Run<Plan::kQuad>(quad);
      std::array<V, Plan::kCoreValues> c;
      Load<Plan::kCore, kQuad, kPair>(c, pairs, i + 1);
      Unrolled<kQuad>([&](auto r) {
        if constexpr (Plan::kCore.inputs[r]) c[r] = quad[Plan::kQuad.order[r]];
      });
      Run<Plan::kCore>(c);
      // Each row of the block: the core's candidates merged with the row's six shared values,
      // then each window's median with its own seven. Both rows are stored at the end, so that
      // the own columns the upper and lower windows share are loaded once.
      const auto finish = [&](const std::uint16_t* rowEven, const std::uint16_t* rowOdd,
                              int row) CORVEX_INLINE_LAMBDA {
        std::array<V, kRow> shared = {hn::LoadU(d, rowEven + i - 1), hn::LoadU(d, rowOdd + i - 1),
                                      hn::LoadU(d, rowEven + i),     hn::LoadU(d, rowOdd + i),
                                      hn::LoadU(d, rowEven + i + 1), hn::LoadU(d, rowOdd + i + 1)};
        Run<Plan::kRow>(shared);
        std::array<V, kCandidates + kRow> e;
        Unrolled<kCandidates>([&](auto r) {
          if constexpr (Plan::kEdge.inputs[r]) {
            e[r] = c[Plan::kCore.order[Plan::kFirstCandidate + r]];
          }
        });
        Unrolled<kRow>([&](auto r) {
          if constexpr (Plan::kEdge.inputs[kCandidates + r]) {
            e[kCandidates + r] = shared[Plan::kRow.order[r]];
          }
        });
        Run<Plan::kEdge>(e);
        // Ranks 17 .. 24 of the 42 values of core and row, smallest first.
        const auto edge = [&](int rank) {
          return e[Plan::kEdge.order[Plan::kFirstEdgeRank + rank]];
        };
        const V smallest = hn::Min(coreSmallest, shared[Plan::kRow.order[0]]);
        const V largest = hn::Max(coreLargest, shared[Plan::kRow.order[kRow - 1]]);
        const auto window = [&](RankView columns, int column, const std::uint16_t* corner,
                                const std::uint16_t* values, int at) CORVEX_INLINE_LAMBDA {
          std::array<V, Plan::kSide> own;
          Unrolled<kColumn>([&](auto r) { own[r] = hn::LoadU(d, columns[r] + column); });
          own[kColumn] = hn::LoadU(d, corner + column);
          Run<Plan::kCorner>(own);
          const auto seven = [&](int rank) { return own[Plan::kCorner.order[rank]]; };
          // The median of the union of two sorted lists: the smallest over j of the larger
          // of the edge's (median - j)-th and the own seven's (j - 1)-th value.
          V median = edge(Plan::kEdgeRanks - 1);
          Unrolled<Plan::kSide>([&](auto j) {
            median = hn::Min(median, hn::Max(edge(Plan::kEdgeRanks - 2 - j), seven(j)));
          });
          return Choose(median, hn::Min(smallest, seven(0)),
                        hn::Max(largest, seven(Plan::kSide - 1)), hn::LoadU(d, values + at), num,
                        den);
        };
        // Window 2i - 1 adds column 2i - 4 (odd half, i - 2), window 2i column 2i + 3 (even
        // half, i + 2).
        return std::array<V, 2>{window(oddColumns, i - 2, rowOdd, split.Even(row), i),
                                window(evenColumns, i + 2, rowEven, split.Odd(row), i)};
      };
      const std::array<V, 2> top = finish(topEven, topOdd, y);
      const std::array<V, 2> bottom = finish(bottomEven, bottomOdd, pairComplete ? y + 1 : y);
      // Blocks whose windows all lie inside the image are stored in place (block i is
      // columns 2i - 1 .. 2i + 2 lanes - 2); the last ones go through the row buffers.
      if (i <= lastDirect) {
        hn::StoreInterleaved2(top[0], top[1], d, outUpper + 2 * i);
        hn::StoreInterleaved2(bottom[0], bottom[1], d, outLower + 2 * i);
      } else {
        firstBuffered = std::min(firstBuffered, i);
        hn::StoreInterleaved2(top[0], top[1], d, upper.data() + 2 * i);
        hn::StoreInterleaved2(bottom[0], bottom[1], d, lower.data() + 2 * i);
      }
    });
    // upper[c + 1] and lower[c + 1] hold column c; the windows are centred on columns
    // 3 .. width - 4.
    if (firstBuffered <= lastBlock) {
      const int from = 2 * firstBuffered - 1;
      const std::size_t bytes = static_cast<std::size_t>(width - 3 - from) * sizeof(std::uint16_t);
      std::memcpy(outUpper + from + 1, upper.data() + from + 1, bytes);
      if (pairComplete) std::memcpy(outLower + from + 1, lower.data() + from + 1, bytes);
    }
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
