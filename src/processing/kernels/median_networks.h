// The compare-exchange networks of the 7 x 7 median, which works on blocks of 2 x 2 windows.
//
// The four windows centred on (x, y), (x + 1, y), (x, y + 1) and (x + 1, y + 1) share a
// 6 x 6 core: columns x - 2 .. x + 3 of rows y - 2 .. y + 3. Each column's six values are
// sorted once (`kColumn`), neighbouring columns are merged in pairs (`kPair`), and the core
// is two pairs merged (`kQuad`) with the third merged in (`kCore`). The two upper windows also
// share six values of their top row (columns x - 2 .. x + 3), the two lower ones six of their
// bottom row: each row of six is sorted (`kRow`) and merged with the core (`kEdge`). Last, a
// window's own seven values are its outer column (x - 3 or x + 4), sorted once for the two
// windows above each other, with the corner of its top or bottom row slotted in (`kCorner`).
//
// Only ranks near the median survive each step. Of the core's 36 values, one below rank 11
// stays below rank 17 among the 42 of core and row, and below rank 24 of all 49 once the own
// seven join; one above rank 24 stays above. So the core keeps ranks 11 to 24 (`kCore`
// pruned to them), the edge merges just those 14 with the row and keeps its ranks 6 to 13
// (ranks 17 to 24 of the 42), and the median is the smallest of eight maxima, one per way of
// splitting rank 24 between those eight and the own seven. The window's smallest and largest
// values (for its range) are taken apart, from the pairs, the row and the own seven.
#pragma once

#include <array>

#include "processing/kernels/sorting_networks.h"

namespace corvex::kernels {

struct Radius3Plan {
  static constexpr int kSide = 7;
  static constexpr int kMedianRank = 24;  // of 49 values
  static constexpr int kColumnValues = 6;
  static constexpr int kPairValues = 12;
  static constexpr int kQuadValues = 24;
  static constexpr int kCoreValues = 36;
  static constexpr int kRowValues = 6;
  // The core's ranks that can still be the median: kFirstCandidate .. kMedianRank.
  static constexpr int kFirstCandidate = kMedianRank - kSide - kRowValues;
  static constexpr int kCandidates = kMedianRank - kFirstCandidate + 1;
  // The edge's ranks (of core candidates and row) that can still be the median.
  static constexpr int kFirstEdgeRank = kRowValues;
  static constexpr int kEdgeRanks = kSide + 1;

  // Edge = the core's candidates (wires 0 .. 13) + the sorted row (14 .. 19).
  static constexpr Network kEdge = Pruned(MergingNetwork(kCandidates, kRowValues),
                                          Ranks(kFirstEdgeRank, kFirstEdgeRank + kEdgeRanks - 1));
  // The row's smallest and largest are read for the window's range.
  static constexpr Network kRow =
      Pruned(SortingNetwork(kRowValues),
             Either(ReadRanks(kEdge, kCandidates, kRowValues),
                    Either(Ranks(0, 0), Ranks(kRowValues - 1, kRowValues - 1))));
  // Core = quad (columns x - 2 .. x + 1) + pair (x + 2, x + 3).
  static constexpr Network kCore =
      Pruned(MergingNetwork(kQuadValues, kPairValues), Ranks(kFirstCandidate, kMedianRank));
  static constexpr Network kQuad =
      Pruned(MergingNetwork(kPairValues, kPairValues), ReadRanks(kCore, 0, kQuadValues));
  // Every pair's smallest and largest are read for the core's range.
  static constexpr std::array<bool, kMaxWires> kPairRanks = Either(
      Either(Either(ReadRanks(kQuad, 0, kPairValues), ReadRanks(kQuad, kPairValues, kPairValues)),
             ReadRanks(kCore, kQuadValues, kPairValues)),
      Either(Ranks(0, 0), Ranks(kPairValues - 1, kPairValues - 1)));
  static constexpr Network kPair = Pruned(MergingNetwork(kColumnValues, kColumnValues), kPairRanks);
  // The own seven: the outer column (wires 0 .. 5), sorted, and the corner (wire 6).
  static constexpr Network kCorner = Pruned(MergingNetwork(kColumnValues, 1), Ranks(0, kSide - 1));
  static constexpr std::array<bool, kMaxWires> kColumnRanks = Either(
      Either(ReadRanks(kPair, 0, kColumnValues), ReadRanks(kPair, kColumnValues, kColumnValues)),
      ReadRanks(kCorner, 0, kColumnValues));
  static constexpr Network kColumn = Pruned(SortingNetwork(kColumnValues), kColumnRanks);
};

}  // namespace corvex::kernels
