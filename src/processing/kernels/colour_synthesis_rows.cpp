// The synthesis rows, built for each instruction set Highway targets and dispatched at run
// time. Neighbouring pixels sit in different phases of the colour pattern and so take
// different formulas, but every other pixel of a row takes the same ones. So each line is split
// once into its even and odd columns, as floats, and kept for the three rows that read it. A
// vector of every other pixel and a vector of the pixels between them are then made side by
// side, each by its own formulas, from values loaded contiguously out of the split lines, and
// woven back together as they are stored.
//
// All arithmetic is on whole numbers held in single precision. Every sum and product below is
// a whole number under 2^24, so it is exact, whether or not the instruction set fuses a
// multiply-add. The divisions by constants are exact through a rounded-up reciprocal and a
// truncation (exact_division.h); the luminance's division by 1.6 in double precision is, for
// every sum of two 16-bit values, the same as 5 x sum / 8 rounded down.
//
// The ranges, for samples 0 <= v <= M = 65535 and o, d the sums of the four neighbours beside
// and diagonal to a pixel p (so 0 <= o, d <= 4M), using trunc(x) > x - 1:
// - phases agree: a = (7d - 2o - 12p) / 40 <= 0.7 M, g1 = (6o - d - 4p) / 40 <= 0.6 M and
//   c = (s - 11a - 13g1) / 8 < (5.6p - 0.4o - 0.6d + 24) / 8 <= 45877;
// - phases differ: e = (o + d - 6p) / 10 <= 0.8 M, f = (2o - 3d + 8p) / 20 <= 0.8 M and
//   g2 = (s - 10e - 7f) / 14 < (4.2p - 0.7o + 1.05d + 17) / 14 <= 39322.
// So red and blue are at most 52428 and green at most 39322; every numerator stays below
// 2^21 in magnitude; the scaled colours 30r / 7, 6g and 10b are at most 524280, and a colour
// divided by 256 (all of them at most 65280) or by 2560 is at most 255. A colour therefore
// never reaches the byte's saturation, and no clamp to 255 is needed.
#include "processing/kernels/colour_synthesis_rows.h"

#include <algorithm>
#include <bit>

#include "processing/kernels/exact_division.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "processing/kernels/colour_synthesis_rows.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

// The output is woven by writing two pixels' values into one wider lane.
static_assert(std::endian::native == std::endian::little);

HWY_BEFORE_NAMESPACE();
namespace corvex::kernels {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;
using DF = hn::ScalableTag<float>;
using VF = hn::Vec<DF>;
using DU = hn::RebindToUnsigned<DF>;

// Pixel pairs of a row at a time; a row of the image fits in one piece.
constexpr int kPiece = 256;
// Room for a vector's loads past the last pair.
constexpr int kPad = HWY_MAX_BYTES / sizeof(float);

// One line's columns split in two: even[k] is column first - 1 + 2k, odd[k] the one after it.
// Entries past the line's are zero.
struct SplitLine {
  HWY_ALIGN float even[kPiece + 1 + kPad];
  HWY_ALIGN float odd[kPiece + 1 + kPad];
};

// Columns first - 1 .. last + 1 of `line`, last - first < 2 kPiece.
void Split(const std::uint16_t* HWY_RESTRICT line, int first, int last, SplitLine& out) {
  const std::uint16_t* HWY_RESTRICT from = line + first - 1;
  const int count = last - first + 3;
  const int pairs = count / 2;
  int k = 0;
#if HWY_TARGET != HWY_SCALAR
  const DF df;
  const DU du;
  const hn::RebindToSigned<DF> di;
  const hn::Repartition<std::uint16_t, DF> d16;
  const int n = static_cast<int>(hn::Lanes(df));
  // A 32-bit lane holds two neighbouring columns, the even one in its low half.
  for (; k + n <= pairs; k += n) {
    const auto both = hn::BitCast(du, hn::LoadU(d16, from + 2 * k));
    const auto even = hn::And(both, hn::Set(du, 0xFFFF));
    const auto odd = hn::ShiftRight<16>(both);
    hn::Store(hn::ConvertTo(df, hn::BitCast(di, even)), df, out.even + k);
    hn::Store(hn::ConvertTo(df, hn::BitCast(di, odd)), df, out.odd + k);
  }
#endif
  for (; k < pairs; ++k) {
    out.even[k] = from[2 * k];
    out.odd[k] = from[2 * k + 1];
  }
  int evens = pairs;
  if (count % 2 != 0) out.even[evens++] = from[2 * pairs];
  std::fill_n(out.even + evens, kPad, 0.0f);
  std::fill_n(out.odd + pairs, kPad, 0.0f);
}

// n x N / D rounded towards zero, exactly (exact_division.h).
template <int N, int D>
HWY_INLINE VF Scale(VF n) {
  return hn::Trunc(hn::Mul(n, hn::Set(DF(), kRoundedUpRatio<N, D>)));
}

HWY_INLINE VF Constant(float value) {
  return hn::Set(DF(), value);
}

// A pixel's outputs, whole numbers: luminance 0-65535, colours 0-255.
struct Pixels {
  VF luminance, red, green, blue;
};

// Pixels that all share a phase, from their 3 x 3 neighbourhoods: the pixel, those beside it
// in its row, the sum of the two above and below it, and the sums of the columns beside it.
// kAgree when their column and row phase agree, kRedLeads when their column phase is set
// (the leading formula then gives red, otherwise blue).
template <bool kAgree, bool kRedLeads>
HWY_INLINE Pixels Synthesize(VF left, VF p, VF right, VF vertical, VF leftSides, VF rightSides) {
  const DF df;
  const VF o = hn::Add(hn::Add(left, right), vertical);
  const VF d = hn::Add(leftSides, rightSides);
  const VF s = hn::Add(p, hn::Add(o, d));

  // Phases agree: (red, green, blue) = (a, g1, c) or (c, g1, a).
  // They differ: (e, g2, f) or (f, g2, e).
  VF lead, second, g;
  if constexpr (kAgree) {
    // a = (7d - 2o - 12p) / 40, g1 = (6o - d - 4p) / 40, c = (s - 11a - 13g1) / 8.
    lead = Scale<1, 40>(
        hn::MulAdd(Constant(7), d, hn::MulAdd(Constant(-2), o, hn::Mul(Constant(-12), p))));
    g = Scale<1, 40>(hn::MulSub(Constant(6), o, hn::MulAdd(Constant(4), p, d)));
    second = Scale<1, 8>(hn::NegMulAdd(Constant(13), g, hn::NegMulAdd(Constant(11), lead, s)));
  } else {
    // e = (2o + 2d - 12p) / 20 and f = (4o - 6d + 16p) / 40, each reduced by its common
    // factor: e = (o + d - 6p) / 10, f = (2o - 3d + 8p) / 20; g2 = (s - 10e - 7f) / 14.
    lead = Scale<1, 10>(hn::NegMulAdd(Constant(6), p, hn::Add(o, d)));
    second = Scale<1, 20>(
        hn::MulAdd(Constant(2), o, hn::MulAdd(Constant(-3), d, hn::Mul(Constant(8), p))));
    g = Scale<1, 14>(hn::NegMulAdd(Constant(7), second, hn::NegMulAdd(Constant(10), lead, s)));
  }
  const VF zero = hn::Zero(df);
  // r x 300 / 70 = 30r / 7, g x 300 / 50 = 6g, b x 10.
  const VF red = Scale<30, 7>(hn::Max(kRedLeads ? lead : second, zero));
  const VF green = hn::Mul(hn::Max(g, zero), Constant(6));
  const VF blue = hn::Mul(hn::Max(kRedLeads ? second : lead, zero), Constant(10));
  const auto bright = hn::Gt(hn::Max(red, hn::Max(green, blue)), Constant(65280));
  const VF divisor =
      hn::IfThenElse(bright, Constant(kRoundedUpRatio<1, 2560>), Constant(1.0f / 256));
  Pixels out;
  out.red = hn::Trunc(hn::Mul(red, divisor));
  out.green = hn::Trunc(hn::Mul(green, divisor));
  out.blue = hn::Trunc(hn::Mul(blue, divisor));

  // Luminance (left + p) / 1.6 above 60000 makes the pixel grey. Few pixels are that bright,
  // so the grey is worked out only when one of the vector's is.
  const VF sum = hn::Add(left, p);
  const auto saturated = hn::Gt(sum, Constant(96000));
  if (!hn::AllFalse(df, saturated)) {
    const VF grey = Scale<1, 3>(hn::Add(hn::Add(out.red, out.green), out.blue));
    out.red = hn::IfThenElse(saturated, grey, out.red);
    out.green = hn::IfThenElse(saturated, grey, out.green);
    out.blue = hn::IfThenElse(saturated, grey, out.blue);
  }
  out.luminance = hn::Min(hn::Trunc(hn::Mul(sum, Constant(0.625f))), Constant(65535));
  return out;
}

#if HWY_TARGET == HWY_SCALAR
// One pixel pair at a time.
HWY_INLINE void StorePairs(const Pixels& leading, const Pixels& trailing,
                           std::uint16_t* HWY_RESTRICT luminance, std::uint8_t* HWY_RESTRICT red,
                           std::uint8_t* HWY_RESTRICT green, std::uint8_t* HWY_RESTRICT blue) {
  luminance[0] = static_cast<std::uint16_t>(hn::GetLane(leading.luminance));
  luminance[1] = static_cast<std::uint16_t>(hn::GetLane(trailing.luminance));
  red[0] = static_cast<std::uint8_t>(hn::GetLane(leading.red));
  red[1] = static_cast<std::uint8_t>(hn::GetLane(trailing.red));
  green[0] = static_cast<std::uint8_t>(hn::GetLane(leading.green));
  green[1] = static_cast<std::uint8_t>(hn::GetLane(trailing.green));
  blue[0] = static_cast<std::uint8_t>(hn::GetLane(leading.blue));
  blue[1] = static_cast<std::uint8_t>(hn::GetLane(trailing.blue));
}
#else
// Whole numbers 0 <= v < 2^23 plus 2^23 have v as their float's low bits.
HWY_INLINE hn::Vec<DU> LowBits(VF v) {
  return hn::BitCast(DU(), hn::Add(v, Constant(8388608.0f)));
}

// Two pixels' colours (at most 255) as one byte each, the leading one first.
HWY_INLINE void StoreColours(VF leading, VF trailing, std::uint8_t* HWY_RESTRICT to) {
  const hn::Rebind<std::uint16_t, DU> d16;
  const hn::Repartition<std::uint8_t, decltype(d16)> d8;
  const auto pairs = hn::TruncateTo(d16, LowBits(hn::MulAdd(Constant(256), trailing, leading)));
  hn::StoreU(hn::BitCast(d8, pairs), d8, to);
}

// A vector of leading pixels and one of trailing pixels, interleaved: the leading ones at
// even offsets from the pointers, the trailing ones at odd offsets.
HWY_INLINE void StorePairs(const Pixels& leading, const Pixels& trailing,
                           std::uint16_t* HWY_RESTRICT luminance, std::uint8_t* HWY_RESTRICT red,
                           std::uint8_t* HWY_RESTRICT green, std::uint8_t* HWY_RESTRICT blue) {
  const hn::Repartition<std::uint16_t, DU> d16;
  // The trailing luminance in the high half of a 32-bit lane, the leading one in the low;
  // 2^23 shifted up by 16 leaves the lane.
  const auto luminancePairs =
      hn::OddEven(hn::BitCast(d16, hn::ShiftLeft<16>(LowBits(trailing.luminance))),
                  hn::BitCast(d16, LowBits(leading.luminance)));
  hn::StoreU(luminancePairs, d16, luminance);
  StoreColours(leading.red, trailing.red, red);
  StoreColours(leading.green, trailing.green, green);
  StoreColours(leading.blue, trailing.blue, blue);
}
#endif

// Pixel pairs at from + 2k (leading) and from + 2k + 1 (trailing) for 2k < count, from the
// line and those above and below it; writes count pixels.
template <bool kLeadingAgree, bool kRedLeads>
void SynthesizePiece(const SplitLine& up, const SplitLine& line, const SplitLine& down, int count,
                     std::uint16_t* HWY_RESTRICT luminance, std::uint8_t* HWY_RESTRICT red,
                     std::uint8_t* HWY_RESTRICT green, std::uint8_t* HWY_RESTRICT blue) {
  const DF df;
  const int n = static_cast<int>(hn::Lanes(df));
  // The last vector of a row that ends within it is stored here and copied.
  HWY_ALIGN std::uint16_t luminanceEnd[2 * kPad];
  HWY_ALIGN std::uint8_t redEnd[2 * kPad], greenEnd[2 * kPad], blueEnd[2 * kPad];
  for (int k = 0; 2 * k < count; k += n) {
    // The sums of the lines above and below, at the even and odd columns k and k + 1.
    const VF sumsEven = hn::Add(hn::Load(df, up.even + k), hn::Load(df, down.even + k));
    const VF sumsOdd = hn::Add(hn::Load(df, up.odd + k), hn::Load(df, down.odd + k));
    const VF sumsEvenNext =
        hn::Add(hn::LoadU(df, up.even + k + 1), hn::LoadU(df, down.even + k + 1));
    const VF sumsOddNext = hn::Add(hn::LoadU(df, up.odd + k + 1), hn::LoadU(df, down.odd + k + 1));
    const VF even = hn::Load(df, line.even + k);
    const VF odd = hn::Load(df, line.odd + k);
    const VF evenNext = hn::LoadU(df, line.even + k + 1);
    const VF oddNext = hn::LoadU(df, line.odd + k + 1);
    // Leading pixels sit in the odd split columns with the even ones beside them; trailing
    // ones the other way round.
    const Pixels leading =
        Synthesize<kLeadingAgree, kRedLeads>(even, odd, evenNext, sumsOdd, sumsEven, sumsEvenNext);
    const Pixels trailing = Synthesize<!kLeadingAgree, !kRedLeads>(
        odd, evenNext, oddNext, sumsEvenNext, sumsOdd, sumsOddNext);

    const bool whole = 2 * (k + n) <= count;
    std::uint16_t* HWY_RESTRICT luminanceTo = whole ? luminance + 2 * k : luminanceEnd;
    std::uint8_t* HWY_RESTRICT redTo = whole ? red + 2 * k : redEnd;
    std::uint8_t* HWY_RESTRICT greenTo = whole ? green + 2 * k : greenEnd;
    std::uint8_t* HWY_RESTRICT blueTo = whole ? blue + 2 * k : blueEnd;
    StorePairs(leading, trailing, luminanceTo, redTo, greenTo, blueTo);
    if (!whole) {
      const int rest = count - 2 * k;
      std::copy_n(luminanceEnd, rest, luminance + 2 * k);
      std::copy_n(redEnd, rest, red + 2 * k);
      std::copy_n(greenEnd, rest, green + 2 * k);
      std::copy_n(blueEnd, rest, blue + 2 * k);
    }
  }
}

}  // namespace

void SynthesizeRowsImpl(const std::uint16_t* above, std::ptrdiff_t stride, int rows, int first,
                        int last, bool pixelOffset, bool rowPhase, std::uint16_t* luminance,
                        std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue) {
  // Every line serves three rows (below, here, above), so each is split once and the split
  // kept while those rows are made: three buffers taking turns.
  SplitLine lines[3];
  for (int from = first; from <= last; from += 2 * kPiece) {
    const int to = std::min(last, from + 2 * kPiece - 1);
    SplitLine* up = &lines[0];
    SplitLine* line = &lines[1];
    SplitLine* down = &lines[2];
    Split(above, from, to, *up);
    Split(above + stride, from, to, *line);
    bool phase = rowPhase;
    const bool leadingPhase = pixelOffset != (from % 2 != 0);
    for (int row = 0; row < rows; ++row, phase = !phase) {
      const std::ptrdiff_t offset = row * stride;
      Split(above + offset + 2 * stride, from, to, *down);
      const std::ptrdiff_t at = offset + from;
      const int count = to - from + 1;
      const bool agree = leadingPhase == phase;
      if (agree) {
        (leadingPhase ? SynthesizePiece<true, true>
                      : SynthesizePiece<true, false>)(*up, *line, *down, count, luminance + at,
                                                      red + at, green + at, blue + at);
      } else {
        (leadingPhase ? SynthesizePiece<false, true>
                      : SynthesizePiece<false, false>)(*up, *line, *down, count, luminance + at,
                                                       red + at, green + at, blue + at);
      }
      // This row's line is the next one's line above, the line below its own.
      SplitLine* const spent = up;
      up = line;
      line = down;
      down = spent;
    }
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace corvex::kernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace corvex::kernels {

HWY_EXPORT(SynthesizeRowsImpl);

void SynthesizeRows(const std::uint16_t* above, std::ptrdiff_t stride, int rows, int first,
                    int last, bool pixelOffset, bool rowPhase, std::uint16_t* luminance,
                    std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue) {
  HWY_DYNAMIC_DISPATCH(SynthesizeRowsImpl)
  (above, stride, rows, first, last, pixelOffset, rowPhase, luminance, red, green, blue);
}

}  // namespace corvex::kernels
#endif
