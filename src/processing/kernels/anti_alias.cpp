// The anti-alias filter's kernels, vectorised with Highway and dispatched at run time to the
// best instruction set the processor has. Every lane of a vector is one pixel.
//
// The 5 x 5 byte median works on 8-bit lanes (32 pixels per AVX2 vector): each column of the
// windows is sorted once per row, neighbouring columns are merged in pairs, and a window
// merges the two pairs it shares with its right neighbour, keeping only the ranks that can
// still be its median; the median then comes from that list and the window's first column as
// the smallest of six maxima.
//
// The detail row works on 16-bit lanes: the 7 x 7 low pass fits in 16 bits (156 x 255 < 2^16),
// and the kernel is symmetric, so rows y - k and y + k are added first (one buffer per k), then
// columns x - a and x + a of each buffer, each pair taking its weight once. The divisions are
// exact multiply-shifts, and the sum of median and detail saturates at 255 when narrowed.
#include "processing/kernels/anti_alias.h"

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include <hwy/aligned_allocator.h>

#include "processing/kernels/rank_rows.h"
#include "processing/kernels/sorting_networks.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "processing/kernels/anti_alias.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "processing/kernels/network_steps-inl.h"

#ifndef CORVEX_ANTI_ALIAS_PLAN_
#define CORVEX_ANTI_ALIAS_PLAN_
namespace corvex::kernels {
namespace {

// The networks of the 5 x 5 median. S is the merge of a window's columns 1-4 (20 values), of
// which the last step reads ranks 7-12; a pair keeps the ranks S reads.
constexpr int kSide = 5;
constexpr int kMedianRank = 12;
constexpr int kPairValues = 10;
constexpr Network kColumnNet = SortingNetwork(kSide);
constexpr Network kSharedNet =
    Pruned(MergingNetwork(kPairValues, kPairValues), Ranks(kMedianRank - kSide, kMedianRank));
constexpr std::array<bool, kMaxWires> kPairRanks =
    Either(ReadRanks(kSharedNet, 0, kPairValues), ReadRanks(kSharedNet, kPairValues, kPairValues));
constexpr Network kPairNet = Pruned(MergingNetwork(kSide, kSide), kPairRanks);

// Weight of the low pass at |dy| = k (first index), |dx| = a (second index).
constexpr std::uint16_t kLowPassWeights[4][4] = {
    {12, 9, 4, 3}, {9, 6, 3, 2}, {4, 3, 2, 1}, {3, 2, 1, 0}};

}  // namespace
}  // namespace corvex::kernels
#endif  // CORVEX_ANTI_ALIAS_PLAN_

HWY_BEFORE_NAMESPACE();
namespace corvex::kernels {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;

using network_steps::Run;
using network_steps::Sweep;
using network_steps::Unrolled;

void Median5x5BytesImpl(const std::uint8_t* in, std::uint8_t* out, int stride, int firstRow,
                        int lastRow, int firstCol, int lastCol) {
  constexpr int k = kSide;
  constexpr int kPairs = kPairValues;
  const hn::ScalableTag<std::uint8_t> d;
  using V = hn::Vec<decltype(d)>;
  const int lanes = static_cast<int>(hn::Lanes(d));
  // Columns are indexed from the first window's left edge.
  const int left = firstCol - 2;
  const int width = lastCol - firstCol + 5;
  RankRows<std::uint8_t> columns(k, width), pairs(kPairs, width);
  for (int y = firstRow; y <= lastRow; ++y) {
    const std::uint8_t* top = in + static_cast<std::ptrdiff_t>(y - 2) * stride + left;
    // Every column of the row's windows, sorted.
    Sweep(0, width - 1, lanes, [&](int x) {
      std::array<V, k> w;
      Unrolled<k>([&](auto i) { w[i] = hn::LoadU(d, top + i * stride + x); });
      Run<kColumnNet>(w);
      Unrolled<k>([&](auto i) { hn::StoreU(w[kColumnNet.order[i]], d, columns[i] + x); });
    });
    // Columns x and x + 1 merged; only the ranks the windows read are kept.
    Sweep(0, width - 2, lanes, [&](int x) {
      std::array<V, kPairs> w;
      Unrolled<k>([&](auto i) {
        w[i] = hn::LoadU(d, columns[i] + x);
        w[k + i] = hn::LoadU(d, columns[i] + x + 1);
      });
      Run<kPairNet>(w);
      Unrolled<kPairs>([&](auto p) {
        if constexpr (kPairRanks[p]) hn::StoreU(w[kPairNet.order[p]], d, pairs[p] + x);
      });
    });
    // Each window (x is its left edge): columns 1-4 merged from two pairs, then the median
    // of their union with column 0, the smallest over i of the larger of the shared list's
    // (median - 1 - i)-th value and column 0's i-th.
    std::uint8_t* outRow = out + static_cast<std::ptrdiff_t>(y) * stride + left;
    Sweep(0, width - k, lanes, [&](int x) {
      std::array<V, 2 * kPairs> s;
      Unrolled<kPairs>([&](auto p) {
        if constexpr (kSharedNet.inputs[p]) s[p] = hn::LoadU(d, pairs[p] + x + 1);
        if constexpr (kSharedNet.inputs[kPairs + p]) s[kPairs + p] = hn::LoadU(d, pairs[p] + x + 3);
      });
      Run<kSharedNet>(s);
      V median = s[kSharedNet.order[kMedianRank]];
      Unrolled<k>([&](auto i) {
        median = hn::Min(median, hn::Max(s[kSharedNet.order[kMedianRank - 1 - i]],
                                         hn::LoadU(d, columns[i] + x)));
      });
      hn::StoreU(median, d, outRow + x + 2);
    });
  }
}

void AntiAliasRowImpl(const std::uint8_t* const planes[3], const std::uint8_t* const medians[3],
                      std::uint8_t* const out[3], int stride, int row, int firstCol, int lastCol) {
  const hn::ScalableTag<std::uint16_t> d;
  const hn::Rebind<std::uint8_t, decltype(d)> d8;
  const hn::RebindToSigned<decltype(d)> di;
  using V = hn::Vec<decltype(d)>;
  const int lanes = static_cast<int>(hn::Lanes(d));
  // Columns are indexed from three left of the first pixel.
  const int left = firstCol - 3;
  const int width = lastCol - firstCol + 7;
  // Per plane, four rows: the centre row, then rows y - k and y + k added for k = 1..3.
  // Every value is written before it is read, so the buffer is left uninitialised.
  const hwy::AlignedFreeUniquePtr<std::uint16_t[]> vertical =
      hwy::AllocateAligned<std::uint16_t>(static_cast<std::size_t>(12) * width);
  const auto sums = [&](int p, int k) {
    return vertical.get() + static_cast<std::size_t>(4 * p + k) * width;
  };
  for (int p = 0; p < 3; ++p) {
    const std::uint8_t* centre = planes[p] + static_cast<std::ptrdiff_t>(row) * stride + left;
    Sweep(0, width - 1, lanes, [&](int x) {
      const auto at = [&](int dy) {
        return hn::PromoteTo(d,
                             hn::LoadU(d8, centre + static_cast<std::ptrdiff_t>(dy) * stride + x));
      };
      hn::StoreU(at(0), d, sums(p, 0) + x);
      Unrolled<3>(
          [&](auto k) { hn::StoreU(hn::Add(at(-k - 1), at(k + 1)), d, sums(p, k + 1) + x); });
    });
  }
  const V lowMultiplier = hn::Set(d, kLowPassMultiplier);
  const V thirdMultiplier = hn::Set(d, kThirdMultiplier);
  const std::ptrdiff_t rowStart = static_cast<std::ptrdiff_t>(row) * stride + left;
  Sweep(3, width - 4, lanes, [&](int x) {
    V details = hn::Zero(d);
    for (int p = 0; p < 3; ++p) {
      // At most 156 x 255 at every step: the weights are positive and sum to 156.
      V sum = hn::Zero(d);
      Unrolled<4>([&](auto dy) {
        constexpr int k = decltype(dy)::value;
        const std::uint16_t* r = sums(p, k) + x;
        sum = hn::Add(sum, hn::Mul(hn::LoadU(d, r), hn::Set(d, kLowPassWeights[k][0])));
        Unrolled<3>([&](auto dx) {
          constexpr int a = decltype(dx)::value;
          constexpr std::uint16_t weight = kLowPassWeights[k][a + 1];
          if constexpr (weight != 0) {
            const V pair = hn::Add(hn::LoadU(d, r - a - 1), hn::LoadU(d, r + a + 1));
            sum = hn::Add(sum, hn::Mul(pair, hn::Set(d, weight)));
          }
        });
      });
      const V low = hn::ShiftRight<kLowPassShift>(hn::MulHigh(sum, lowMultiplier));
      details = hn::Add(details, hn::SaturatedSub(hn::LoadU(d, sums(p, 0) + x), low));
    }
    const V detail = hn::ShiftRight<kThirdShift>(hn::MulHigh(details, thirdMultiplier));
    for (int p = 0; p < 3; ++p) {
      // At most 2 x 255, so the signed narrowing saturates exactly at 255.
      const V value = hn::Add(hn::PromoteTo(d, hn::LoadU(d8, medians[p] + rowStart + x)), detail);
      hn::StoreU(hn::DemoteTo(d8, hn::BitCast(di, value)), d8, out[p] + rowStart + x);
    }
  });
}

}  // namespace

void Median5x5BytesTarget(const std::uint8_t* in, std::uint8_t* out, int stride, int firstRow,
                          int lastRow, int firstCol, int lastCol) {
  Median5x5BytesImpl(in, out, stride, firstRow, lastRow, firstCol, lastCol);
}

void AntiAliasRowTarget(const std::uint8_t* const planes[3], const std::uint8_t* const medians[3],
                        std::uint8_t* const out[3], int stride, int row, int firstCol,
                        int lastCol) {
  AntiAliasRowImpl(planes, medians, out, stride, row, firstCol, lastCol);
}

}  // namespace HWY_NAMESPACE
}  // namespace corvex::kernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace corvex::kernels {

HWY_EXPORT(Median5x5BytesTarget);
HWY_EXPORT(AntiAliasRowTarget);

void Median5x5Bytes(const std::uint8_t* in, std::uint8_t* out, int stride, int firstRow,
                    int lastRow, int firstCol, int lastCol) {
  HWY_DYNAMIC_DISPATCH(Median5x5BytesTarget)(in, out, stride, firstRow, lastRow, firstCol, lastCol);
}

void AntiAliasRow(const std::uint8_t* const planes[3], const std::uint8_t* const medians[3],
                  std::uint8_t* const out[3], int stride, int row, int firstCol, int lastCol) {
  HWY_DYNAMIC_DISPATCH(AntiAliasRowTarget)(planes, medians, out, stride, row, firstCol, lastCol);
}

}  // namespace corvex::kernels
#endif
