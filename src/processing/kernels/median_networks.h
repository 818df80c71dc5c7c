// The compare-exchange networks of the 7 x 7 median, which works on two output rows at once.
//
// The windows of rows y and y + 1 share their middle six rows. Each column's six shared
// values are sorted once (`kColumn`), and the sorted columns are merged left to right in a
// tree whose pieces neighbouring windows share: two columns (`kPair`), four columns from two
// pairs (`kQuad`), three columns from a pair and a column (`kTriple`) and, for each window,
// seven columns from a quad and a triple (`kCore`: 42 values). Of those 42 only ranks 17 to 24
// can be the median once the window's own seven values of its top (row y) or bottom row
// (row y + 1) join them, so the networks keep just those ranks and the smallest and largest
// (for the window's range), and every exchange nothing reads is dropped. The own row is
// sorted across its seven values by a sliding merge (pairs, then `kRowQuad`, `kRowTriple`,
// `kRowSeven`), and the median is the smallest of eight maxima, one per way of splitting
// rank 24 between the core and the row.
#pragma once

#include <array>

#include "processing/kernels/sorting_networks.h"

namespace corvex::kernels {

struct Radius3Plan {
  static constexpr int kSide = 7;
  static constexpr int kMedianRank = 24;   // of 49 values
  static constexpr int kColumnValues = 6;  // the rows two windows share
  static constexpr int kCoreValues = 42;   // kSide columns of kColumnValues
  static constexpr int kPairValues = 12;
  static constexpr int kTripleValues = 18;
  static constexpr int kQuadValues = 24;
  // The core's ranks that can still be the median: the own row's seven values can push it
  // down by at most seven ranks.
  static constexpr int kFirstCandidate = kMedianRank - kSide;

  static constexpr std::array<bool, kMaxWires> kCoreRanks = [] {
    std::array<bool, kMaxWires> ranks = Ranks(kFirstCandidate, kMedianRank);
    ranks[0] = ranks[kCoreValues - 1] = true;
    return ranks;
  }();
  // Core = quad (columns x - 3 .. x) + triple (columns x + 1 .. x + 3).
  static constexpr Network kCore = Pruned(MergingNetwork(kQuadValues, kTripleValues), kCoreRanks);
  static constexpr Network kQuad =
      Pruned(MergingNetwork(kPairValues, kPairValues), ReadRanks(kCore, 0, kQuadValues));
  static constexpr Network kTriple = Pruned(MergingNetwork(kPairValues, kColumnValues),
                                            ReadRanks(kCore, kQuadValues, kTripleValues));
  static constexpr std::array<bool, kMaxWires> kPairRanks =
      Either(Either(ReadRanks(kQuad, 0, kPairValues), ReadRanks(kQuad, kPairValues, kPairValues)),
             ReadRanks(kTriple, 0, kPairValues));
  static constexpr Network kPair = Pruned(MergingNetwork(kColumnValues, kColumnValues), kPairRanks);
  static constexpr std::array<bool, kMaxWires> kColumnRanks = Either(
      Either(ReadRanks(kPair, 0, kColumnValues), ReadRanks(kPair, kColumnValues, kColumnValues)),
      ReadRanks(kTriple, kPairValues, kColumnValues));
  static constexpr Network kColumn = Pruned(SortingNetwork(kColumnValues), kColumnRanks);

  // The own row: values x - 3 .. x + 3 sorted as a quad (x - 3 .. x) and a triple
  // (x + 1 .. x + 3), each from sorted pairs.
  static constexpr Network kRowQuad = Pruned(MergingNetwork(2, 2), Ranks(0, 3));
  static constexpr Network kRowTriple = Pruned(MergingNetwork(2, 1), Ranks(0, 2));
  static constexpr Network kRowSeven = Pruned(MergingNetwork(4, 3), Ranks(0, 6));
};

}  // namespace corvex::kernels
