// The thresholded median, vectorised with Highway and dispatched at run time to the best
// instruction set the processor has (AVX2 on most machines, SSE4 or plain C++ elsewhere).
//
// Every lane of a vector is one pixel (radius 1 and 2) or one block of pixels (radius 3), so
// a row is done 8 to 32 lanes at a time with the same compare-exchange steps. Work shared
// between neighbouring windows is done once:
// - radius 1: each column of three is sorted once per row; the median of a window is the
//   median of its three columns' largest minimum, middle median and smallest maximum;
// - radius 2: each column of five is sorted once per row, and sorted columns are merged in
//   pairs, kept for the windows that share them; each window merges what it shares with its
//   right neighbour, and only the ranks that can still be its median are kept; the median
//   then comes from that list and the window's first column as the smallest of k + 1 maxima;
// - radius 3: blocks of 2 x 2 windows, which share a 6 x 6 core (see median_networks.h).
//   The rows are split into even and odd columns so that each lane holds a block; only the
//   sorted columns and pairs, which several blocks read, are kept in rows; what a single
//   block merges stays in its registers. The image is done in tiles of columns, whose rows
//   lie a constant distance apart and stay in the nearest cache.
#include "processing/kernels/median.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "processing/kernels/median_networks.h"
#include "processing/kernels/rank_rows.h"
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

// Rank rows of 16-bit values.
using WordRows = RankRows<std::uint16_t>;
using WordView = RankView<std::uint16_t>;

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
template <const Network& kNet, int kOffset, int kCount, std::size_t W, class Rows>
HWY_INLINE void Load(std::array<V, W>& w, Rows rows, int x) {
  const D d;
  Unrolled<kCount>([&](auto p) {
    if constexpr (kNet.inputs[kOffset + p]) w[kOffset + p] = hn::LoadU(d, rows[p] + x);
  });
}

// Stores the ranks a later step reads.
template <const Network& kNet, int kCount, std::size_t W, class Rows>
HWY_INLINE void Store(const std::array<V, W>& w, const std::array<bool, kMaxWires>& read, Rows rows,
                      int x) {
  const D d;
  Unrolled<kCount>([&](auto p) {
    if (read[p]) hn::StoreU(w[kNet.order[p]], d, rows[p] + x);
  });
}

V Median3(V a, V b, V c) {
  return hn::Max(hn::Min(a, b), hn::Min(hn::Max(a, b), c));
}

// The value where range x num < den x |median - value|, else the pixel's own. Both products
// can take 32 bits, so each is split into its high and low 16 bits, (rh, rl) and (dh, dl).
// The range's product is the smaller when dh > rh, or dh = rh and dl > rl; that is when
// dh >= rh + [dl <= rl]. rh + 1 cannot wrap: rh is at most 65534.
HWY_INLINE V Choose(V median, V smallest, V largest, V value, V num, V den) {
  const D d;
  const V range = hn::Sub(largest, hn::Min(smallest, hn::Set(d, kSmallestCap)));
  const V distance = hn::Or(hn::SaturatedSub(median, value), hn::SaturatedSub(value, median));
  const V rangeHigh = hn::MulHigh(range, num);
  const V rangeLow = hn::Mul(range, num);
  const V distanceHigh = hn::MulHigh(distance, den);
  const V distanceLow = hn::Mul(distance, den);
  const V zero = hn::Zero(d);
  // All ones (minus one) where dl <= rl.
  const V lowNotBelow = hn::VecFromMask(d, hn::Eq(hn::SaturatedSub(distanceLow, rangeLow), zero));
  const V bar = hn::Sub(rangeHigh, lowNotBelow);
  return hn::IfThenElse(hn::Eq(hn::SaturatedSub(bar, distanceHigh), zero), median, value);
}

void Radius1(const std::uint16_t* in, std::uint16_t* out, int width, int rows, int firstRow, V num,
             V den) {
  const D d;
  const int lanes = static_cast<int>(hn::Lanes(d));
  WordRows sorted(3, width);
  const WordView sortedView = sorted.View();
  for (int y = firstRow + 1; y <= rows - 2; ++y) {
    const std::uint16_t* here = in + static_cast<std::ptrdiff_t>(y) * width;
    Sweep(0, width - 1, lanes, [&](int x) {
      const WordView ranks = sortedView;
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
  WordRows columnRows(k, width), pairRows(kPairs, width);
  const WordView columnsAt = columnRows.View(), pairsAt = pairRows.View();
  for (int y = firstRow + R; y <= rows - 1 - R; ++y) {
    const std::uint16_t* top = in + static_cast<std::ptrdiff_t>(y - R) * width;
    // Every column of the row's windows, sorted.
    Sweep(0, width - 1, lanes, [&](int x) {
      const WordView columns = columnsAt;
      const std::ptrdiff_t stride = width;
      const std::uint16_t* at = top + x;
      std::array<V, k> w;
      Unrolled<k>([&](auto i) { w[i] = hn::LoadU(d, at + i * stride); });
      Run<Plan::kColumn>(w);
      Unrolled<k>([&](auto i) { hn::StoreU(w[Plan::kColumn.order[i]], d, columns[i] + x); });
    });
    // Columns x and x + 1 merged.
    Sweep(0, width - 2, lanes, [&](int x) {
      const WordView columns = columnsAt, pairs = pairsAt;
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
      const WordView columns = columnsAt, pairs = pairsAt;
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

// The 7 x 7 median works on tiles of up to kTileBlocks blocks, and keeps all that a tile's
// blocks read in rows of one constant length. The compiler then reaches every row a step
// reads at a fixed offset from one address, instead of working out and keeping an address
// per row, which took more instructions than the compare-exchanges' loads.
constexpr int kTileBlocks = 128;
// A tile's blocks b0 .. b1 read split columns b0 - 2 .. b1 + 2, held from b0 - 2 on.
constexpr std::ptrdiff_t kTileStride = kTileBlocks + 8;

// The rows of one tile. An image row is split into its even and odd columns, so that one
// lane can work on two neighbouring windows: the even half at split column i is image column
// 2i - 1, the odd half column 2i (columns outside the image as 0). Each half is a ring of 8
// rows held twice over (row r in slots r % 8 and r % 8 + 8), so that any 8 consecutive rows
// lie in consecutive slots.
class TileRows {
 public:
  static constexpr int kEvenSlots = 0;
  static constexpr int kOddSlots = 16;
  static constexpr int kEvenColumns = 32;  // the sorted columns, Radius3Plan::kColumnValues rows
  static constexpr int kOddColumns = 38;
  static constexpr int kPairs = 44;  // Radius3Plan::kPairValues rows
  static constexpr int kRows = 56;

  TileRows(int firstBlock, int lastBlock)
      : first_(firstBlock), last_(lastBlock), values_(kRows * kTileStride) {}

  int First() const { return first_; }
  int Last() const { return last_; }
  // The split column held first.
  int Origin() const { return first_ - 2; }
  std::uint16_t* Row(int row) { return values_.data() + row * kTileStride; }
  // Even slots from that of image row `row` on (odd slots kOddSlots rows further).
  std::uint16_t* Slots(int row) { return Row(kEvenSlots + (row & 7)); }

  // Splits the tile's columns of an image row into its slots for that row.
  void Hold(const std::uint16_t* from, int width, int row) {
    const D d;
    const int lanes = static_cast<int>(hn::Lanes(d));
    std::uint16_t* const even = Slots(row);
    std::uint16_t* const odd = even + (kOddSlots - kEvenSlots) * kTileStride;
    constexpr std::ptrdiff_t kTwin = 8 * kTileStride;
    const int count = last_ - first_ + 5;
    int j = 0;
    while (j < count) {
      const int column = Origin() + j;
      if (column >= 1 && j + lanes <= count && 2 * (column + lanes) - 1 <= width) {
        V e, o;
        hn::LoadInterleaved2(d, from + 2 * column - 1, e, o);
        hn::StoreU(e, d, even + j);
        hn::StoreU(e, d, even + kTwin + j);
        hn::StoreU(o, d, odd + j);
        hn::StoreU(o, d, odd + kTwin + j);
        j += lanes;
      } else {
        even[j] = even[kTwin + j] =
            column >= 1 && 2 * column - 1 < width ? from[2 * column - 1] : 0;
        odd[j] = odd[kTwin + j] = 2 * column < width ? from[2 * column] : 0;
        ++j;
      }
    }
  }

 private:
  int first_;
  int last_;
  std::vector<std::uint16_t> values_;
};

// Rank `rank` of rows that start at `base` and lie kTileStride apart.
struct TileView {
  std::uint16_t* base;
  std::uint16_t* operator[](int rank) const { return base + rank * kTileStride; }
};

void Radius3(const std::uint16_t* in, std::uint16_t* out, int width, int rows, int firstRow, V num,
             V den) {
  using Plan = Radius3Plan;
  constexpr int kColumn = Plan::kColumnValues;
  constexpr int kPair = Plan::kPairValues;
  constexpr int kQuad = Plan::kQuadValues;
  constexpr int kCandidates = Plan::kCandidates;
  constexpr int kRow = Plan::kRowValues;
  constexpr std::ptrdiff_t kOdd = (TileRows::kOddSlots - TileRows::kEvenSlots) * kTileStride;
  constexpr int kOddColumns = TileRows::kOddColumns - TileRows::kEvenColumns;
  constexpr int kPairs = TileRows::kPairs - TileRows::kEvenColumns;
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
  // Tiles of kTileBlocks blocks; a last tile narrower than a vector is moved back to be one
  // vector wide (the blocks it shares with the tile before are computed twice, alike).
  std::vector<TileRows> tiles;
  for (int first = firstBlock; first <= lastBlock; first += kTileBlocks) {
    const int last = std::min(first + kTileBlocks - 1, lastBlock);
    tiles.emplace_back(std::min(first, last - lanes + 1), last);
  }
  std::vector<std::uint16_t> upper(2 * static_cast<std::size_t>(half));
  std::vector<std::uint16_t> lower(2 * static_cast<std::size_t>(half));
  // The last block whose two windows, in every lane, are centred at most on column width - 4.
  const int lastDirect = (width - 2) / 2 - lanes;
  const int firstOut = firstRow + 3;
  const int lastOut = rows - 4;
  // Tile by tile, so that what a tile keeps stays in the nearest cache.
  for (TileRows& tile : tiles) {
    std::array<int, 8> held{-1, -1, -1, -1, -1, -1, -1, -1};
    const auto hold = [&](int row) {
      if (held[row & 7] == row) return;
      held[row & 7] = row;
      tile.Hold(in + static_cast<std::ptrdiff_t>(row) * width, width, row);
    };
    for (int y = firstOut; y <= lastOut; y += 2) {
      // A last row without a partner is done as the upper row of a pair whose lower row is
      // computed from valid rows (the bottom row stands in for the missing one) and not stored.
      const bool pairComplete = y + 1 <= lastOut;
      const int bottomRow = pairComplete ? y + 4 : y + 3;
      for (int r = y - 3; r <= y + 3; ++r) hold(r);
      hold(bottomRow);
      // outUpper[c + 1] is column c of output row y, as in the row buffers; a lower row that is
      // not stored goes to its buffer whole.
      std::uint16_t* outUpper = out + static_cast<std::ptrdiff_t>(y) * width - 1;
      std::uint16_t* outLower =
          pairComplete ? out + static_cast<std::ptrdiff_t>(y + 1) * width - 1 : lower.data();
      int firstBuffered = tile.Last() + 1;
      // Rows y - 3 .. y + 4 from `window` on, even halves; the odd ones kOdd further.
      std::uint16_t* const window = tile.Slots(y - 3);
      std::uint16_t* const bottomSlot = tile.Slots(bottomRow);
      std::uint16_t* const lowerSlot = tile.Slots(pairComplete ? y + 1 : y);
      std::uint16_t* const columns = tile.Row(TileRows::kEvenColumns);
      // The six shared values of every column, sorted, and the columns 2i - 1 and 2i merged.
      Sweep(0, tile.Last() + 2 - tile.Origin(), lanes, [&](int at) {
        const TileView image{window + kTileStride + at};
        const TileView ranks{columns + at};
        std::array<V, kColumn> even, odd;
        Unrolled<kColumn>([&](auto r) {
          even[r] = hn::LoadU(d, image[r]);
          odd[r] = hn::LoadU(d, image[r] + kOdd);
        });
        Run<Plan::kColumn>(even);
        Run<Plan::kColumn>(odd);
        Store<Plan::kColumn, kColumn>(even, Plan::kColumnRanks, ranks, 0);
        Store<Plan::kColumn, kColumn>(odd, Plan::kColumnRanks, TileView{ranks[kOddColumns]}, 0);
        std::array<V, kPair> w;
        Unrolled<kColumn>([&](auto r) {
          if constexpr (Plan::kPair.inputs[r]) w[r] = even[Plan::kColumn.order[r]];
          if constexpr (Plan::kPair.inputs[kColumn + r])
            w[kColumn + r] = odd[Plan::kColumn.order[r]];
        });
        Run<Plan::kPair>(w);
        Store<Plan::kPair, kPair>(w, Plan::kPairRanks, TileView{ranks[kPairs]}, 0);
      });
      Sweep(tile.First(), tile.Last(), lanes, [&](int i) {
        // Everything the block reads is at a fixed offset from split column i - 2, where its
        // reach begins: offset 0 is column i - 2, offset 4 column i + 2.
        const int at = i - tile.First();
        const TileView evenColumns{columns + at};
        const TileView oddColumns{evenColumns[kOddColumns]};
        const TileView pairs{evenColumns[kPairs]};
        // The core: pairs i - 1 and i merged into the quad, pair i + 1 into that; the block's
        // own, so it stays in registers.
        const V coreSmallest =
            hn::Min(hn::Min(hn::LoadU(d, pairs[0] + 1), hn::LoadU(d, pairs[0] + 2)),
                    hn::LoadU(d, pairs[0] + 3));
        const V coreLargest =
            hn::Max(hn::Max(hn::LoadU(d, pairs[kPair - 1] + 1), hn::LoadU(d, pairs[kPair - 1] + 2)),
                    hn::LoadU(d, pairs[kPair - 1] + 3));
        std::array<V, kQuad> quad;
        Load<Plan::kQuad, 0, kPair>(quad, pairs, 1);
        Load<Plan::kQuad, kPair, kPair>(quad, pairs, 2);
        Run<Plan::kQuad>(quad);
        std::array<V, Plan::kCoreValues> c;
        Load<Plan::kCore, kQuad, kPair>(c, pairs, 3);
        Unrolled<kQuad>([&](auto r) {
          if constexpr (Plan::kCore.inputs[r]) c[r] = quad[Plan::kQuad.order[r]];
        });
        Run<Plan::kCore>(c);
        // Each row of the block: the core's candidates merged with the row's six shared
        // values, then each window's median with its own seven. Both rows are stored at the
        // end, so that the own columns the upper and lower windows share are loaded once.
        // `row` is the even half of the window's top or bottom row, `values` that of the
        // output row.
        const auto finish = [&](const std::uint16_t* row,
                                const std::uint16_t* values) CORVEX_INLINE_LAMBDA {
          std::array<V, kRow> shared = {hn::LoadU(d, row + 1), hn::LoadU(d, row + kOdd + 1),
                                        hn::LoadU(d, row + 2), hn::LoadU(d, row + kOdd + 2),
                                        hn::LoadU(d, row + 3), hn::LoadU(d, row + kOdd + 3)};
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
          const auto window = [&](TileView own, const std::uint16_t* corner,
                                  const std::uint16_t* value) CORVEX_INLINE_LAMBDA {
            std::array<V, Plan::kSide> seven;
            Unrolled<kColumn>([&](auto r) { seven[r] = hn::LoadU(d, own[r]); });
            seven[kColumn] = hn::LoadU(d, corner);
            Run<Plan::kCorner>(seven);
            const auto sorted = [&](int rank) { return seven[Plan::kCorner.order[rank]]; };
            // The median of the union of two sorted lists: the smallest over j of the larger
            // of the edge's (median - j)-th and the own seven's (j - 1)-th value.
            V median = edge(Plan::kEdgeRanks - 1);
            Unrolled<Plan::kSide>([&](auto j) {
              median = hn::Min(median, hn::Max(edge(Plan::kEdgeRanks - 2 - j), sorted(j)));
            });
            return Choose(median, hn::Min(smallest, sorted(0)),
                          hn::Max(largest, sorted(Plan::kSide - 1)), hn::LoadU(d, value), num, den);
          };
          // Window 2i - 1 adds column 2i - 4 (odd half, offset 0), window 2i column 2i + 3
          // (even half, offset 4); their own values are columns 2i - 1 (even half, offset 2)
          // and 2i (odd half, offset 2).
          return std::array<V, 2>{window(oddColumns, row + kOdd, values + 2),
                                  window(TileView{evenColumns[0] + 4}, row + 4, values + kOdd + 2)};
        };
        const std::array<V, 2> top = finish(window + at, window + 3 * kTileStride + at);
        const std::array<V, 2> bottom = finish(bottomSlot + at, lowerSlot + at);
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
      // 3 .. width - 4, the tile's on 2 b0 - 1 .. 2 b1.
      const int from = 2 * firstBuffered - 1;
      const int to = std::min(width - 4, 2 * tile.Last());
      if (firstBuffered <= tile.Last() && from <= to) {
        const std::size_t bytes = static_cast<std::size_t>(to + 1 - from) * sizeof(std::uint16_t);
        std::memcpy(outUpper + from + 1, upper.data() + from + 1, bytes);
        if (pairComplete) std::memcpy(outLower + from + 1, lower.data() + from + 1, bytes);
      }
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
