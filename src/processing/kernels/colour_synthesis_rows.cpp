// The synthesis row, built for each instruction set Highway targets and dispatched at run
// time. Neighbouring pixels sit in different phases of the colour pattern and so take
// different formulas, but every other pixel of a row takes the same ones. So the row's line
// and the sums of the lines above and below are first split into their even and odd columns;
// each half of the pixels is then one straight loop of its own formulas over contiguous
// values, which the compiler vectorises, and the two halves are woven back together on the
// way out.
// All arithmetic is on 32-bit integers, the divisions by constants done exactly through
// single precision (exact_division.h); the luminance's division by 1.6 in double precision
// is, for every sum of two 16-bit values, the same as 5 x sum / 8 rounded down.
#include "processing/kernels/colour_synthesis_rows.h"

#include <algorithm>

#include "processing/kernels/exact_division.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "processing/kernels/colour_synthesis_rows.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace corvex::kernels {
namespace HWY_NAMESPACE {
namespace {

// Pixels of one half of a row at a time; a row of the image fits in one piece.
constexpr int kPiece = 256;

// One line's columns split in two: even[k] is column first - 1 + 2k, odd[k] the one after it.
struct SplitLine {
  std::uint16_t even[kPiece + 1];
  std::uint16_t odd[kPiece + 1];
};

// Columns first - 1 .. last + 1 of `line`, last - first < 2 kPiece.
void Split(const std::uint16_t* HWY_RESTRICT line, int first, int last, SplitLine& out) {
  const std::uint16_t* HWY_RESTRICT from = line + first - 1;
  std::uint16_t* HWY_RESTRICT even = out.even;
  std::uint16_t* HWY_RESTRICT odd = out.odd;
  const int count = last - first + 3;
  const int pairs = count / 2;
  for (int k = 0; k < pairs; ++k) {
    even[k] = from[2 * k];
    odd[k] = from[2 * k + 1];
  }
  if (count % 2 != 0) even[pairs] = from[2 * pairs];
}

// The lines above and below a row, added together column by column and split like a line: a
// pixel's four diagonal neighbours are two such sums, the two beside its column, and its
// neighbours above and below one, that of its own column. Added from split lines, which the
// rows before have split already, this is a plain loop over contiguous values.
struct SplitSums {
  std::uint32_t even[kPiece + 1];
  std::uint32_t odd[kPiece + 1];
};

void AddSplit(const SplitLine& above, const SplitLine& below, int first, int last,
              SplitSums& out) {
  const std::uint16_t* HWY_RESTRICT upEven = above.even;
  const std::uint16_t* HWY_RESTRICT upOdd = above.odd;
  const std::uint16_t* HWY_RESTRICT downEven = below.even;
  const std::uint16_t* HWY_RESTRICT downOdd = below.odd;
  std::uint32_t* HWY_RESTRICT even = out.even;
  std::uint32_t* HWY_RESTRICT odd = out.odd;
  const int count = last - first + 3;
  const int evens = (count + 1) / 2;
  const int odds = count / 2;
  for (int k = 0; k < evens; ++k) even[k] = static_cast<std::uint32_t>(upEven[k] + downEven[k]);
  for (int k = 0; k < odds; ++k) odd[k] = static_cast<std::uint32_t>(upOdd[k] + downOdd[k]);
}

// The 3 x 3 neighbourhoods of one half of the pixels, at [k]: the pixel and those beside it
// in its row, the sum of the two above and below it, and the sums of the columns beside it
// (sides[k] and sides[k + 1]).
struct Neighbourhoods {
  const std::uint16_t* left;
  const std::uint16_t* centre;
  const std::uint16_t* right;
  const std::uint32_t* vertical;
  const std::uint32_t* sides;
};

// Pixel outputs of one half, at [k]. The colours are bytes kept in 16 bits: with byte
// outputs GCC 12 finds no vector shape for the loop's mix of types and leaves it scalar.
struct HalfRow {
  std::uint16_t luminance[kPiece];
  std::uint16_t red[kPiece], green[kPiece], blue[kPiece];
};

// n pixels that all share a phase: kAgree when their column and row phase agree, kRedLeads
// when their column phase is set (the leading formula then gives red, otherwise blue).
template <bool kAgree, bool kRedLeads>
void SynthesizeHalf(const Neighbourhoods& at, int n, HalfRow& out) {
  // Luminance (left + p) / 1.6 above 60000 makes the pixel grey.
  constexpr int kSaturatedSum = 96000;
  const std::uint16_t* HWY_RESTRICT hereLeft = at.left;
  const std::uint16_t* HWY_RESTRICT here = at.centre;
  const std::uint16_t* HWY_RESTRICT hereRight = at.right;
  const std::uint32_t* HWY_RESTRICT vertical = at.vertical;
  const std::uint32_t* HWY_RESTRICT sides = at.sides;
  std::uint16_t* HWY_RESTRICT luminance = out.luminance;
  std::uint16_t* HWY_RESTRICT red = out.red;
  std::uint16_t* HWY_RESTRICT green = out.green;
  std::uint16_t* HWY_RESTRICT blue = out.blue;
  for (int k = 0; k < n; ++k) {
    const int p = here[k];
    const int left = hereLeft[k];
    const int o = left + hereRight[k] + static_cast<int>(vertical[k]);
    const int d = static_cast<int>(sides[k] + sides[k + 1]);
    const int s = p + o + d;

    // Phases agree: (red, green, blue) = (a, g1, c) or (c, g1, a).
    // They differ: (e, g2, f) or (f, g2, e).
    // Every numerator stays below 2^21 in magnitude for 16-bit samples, well inside the exact
    // division's range.
    int lead, second, g;
    if constexpr (kAgree) {
      lead = DivideTowardsZero<40>(7 * d - 2 * o - 12 * p);  // a
      g = DivideTowardsZero<40>(6 * o - d - 4 * p);          // g1
      second = (s - 11 * lead - 13 * g) / 8;                 // c
    } else {
      // e = (2o + 2d - 12p) / 20 and f = (4o - 6d + 16p) / 40, each reduced by its common
      // factor: the same quotients in fewer operations.
      lead = DivideTowardsZero<10>(o + d - 6 * p);            // e
      second = DivideTowardsZero<20>(2 * o - 3 * d + 8 * p);  // f
      g = DivideTowardsZero<14>(s - 10 * lead - 7 * second);  // g2
    }
    int r = kRedLeads ? lead : second;
    int b = kRedLeads ? second : lead;

    // r x 300 / 70 = 4r + 2r / 7 and g x 300 / 50 = 6g, both exactly (r is below 2^18).
    r = r < 0 ? 0 : r;
    r = 4 * r + DivideDown<7>(2 * r);
    const int gr = (g < 0 ? 0 : g) * 6;
    b = (b < 0 ? 0 : b) * 10;
    int largest = r > gr ? r : gr;
    largest = largest > b ? largest : b;
    const bool bright = largest > 65280;
    // From here on every value is below 2^13 and fits 16 bits, where the compiler divides
    // by a constant with one high-half multiplication and works on twice the lanes.
    // x / 2560 is (x / 256) / 10, rounded down both times.
    using Narrow = std::uint16_t;
    const Narrow r8 = static_cast<Narrow>(r >> 8);
    const Narrow g8 = static_cast<Narrow>(gr >> 8);
    const Narrow b8 = static_cast<Narrow>(b >> 8);
    const Narrow red8 = bright ? static_cast<Narrow>(r8 / 10) : r8;
    const Narrow green8 = bright ? static_cast<Narrow>(g8 / 10) : g8;
    const Narrow blue8 = bright ? static_cast<Narrow>(b8 / 10) : b8;

    const int sum = left + p;
    const int lum = sum * 5 / 8;
    const bool saturated = sum > kSaturatedSum;
    const Narrow grey = static_cast<Narrow>(static_cast<Narrow>(red8 + green8 + blue8) / 3);
    const Narrow redOut = saturated ? grey : red8;
    const Narrow greenOut = saturated ? grey : green8;
    const Narrow blueOut = saturated ? grey : blue8;
    luminance[k] = static_cast<std::uint16_t>(lum > 65535 ? 65535 : lum);
    red[k] = redOut < 255 ? redOut : Narrow{255};
    green[k] = greenOut < 255 ? greenOut : Narrow{255};
    blue[k] = blueOut < 255 ? blueOut : Narrow{255};
  }
}

void SynthesizeHalf(bool agree, bool redLeads, const Neighbourhoods& at, int n, HalfRow& out) {
  if (agree) {
    return redLeads ? SynthesizeHalf<true, true>(at, n, out)
                    : SynthesizeHalf<true, false>(at, n, out);
  }
  return redLeads ? SynthesizeHalf<false, true>(at, n, out)
                  : SynthesizeHalf<false, false>(at, n, out);
}

}  // namespace

void SynthesizeRowsImpl(const std::uint16_t* above, std::ptrdiff_t stride, int rows, int first,
                        int last, bool pixelOffset, bool rowPhase, std::uint16_t* luminance,
                        std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue) {
  // Every line serves three rows (below, here, above), so each is split once and the split
  // kept while those rows are made: three buffers taking turns.
  SplitLine lines[3];
  SplitSums sums;
  HalfRow leading, trailing;
  for (int from = first; from <= last; from += 2 * kPiece) {
    const int to = std::min(last, from + 2 * kPiece - 1);
    SplitLine* up = &lines[0];
    SplitLine* line = &lines[1];
    SplitLine* down = &lines[2];
    Split(above, from, to, *up);
    Split(above + stride, from, to, *line);
    // The pixels at from, from + 2, ... sit in the odd split columns with the even ones
    // beside them; those at from + 1, from + 3, ... the other way round.
    const int leadingCount = (to - from) / 2 + 1;
    const int trailingCount = (to - from + 1) / 2;
    bool phase = rowPhase;
    for (int row = 0; row < rows; ++row, phase = !phase) {
      const std::ptrdiff_t offset = row * stride;
      Split(above + offset + 2 * stride, from, to, *down);
      AddSplit(*up, *down, from, to, sums);
      const Neighbourhoods leadingAt{line->even, line->odd, line->even + 1, sums.odd, sums.even};
      const Neighbourhoods trailingAt{line->odd, line->even + 1, line->odd + 1, sums.even + 1,
                                      sums.odd};
      const bool leadingPhase = pixelOffset != (from % 2 != 0);
      SynthesizeHalf(leadingPhase == phase, leadingPhase, leadingAt, leadingCount, leading);
      SynthesizeHalf(leadingPhase != phase, !leadingPhase, trailingAt, trailingCount, trailing);

      std::uint16_t* HWY_RESTRICT luminanceOut = luminance + offset + from;
      std::uint8_t* HWY_RESTRICT redOut = red + offset + from;
      std::uint8_t* HWY_RESTRICT greenOut = green + offset + from;
      std::uint8_t* HWY_RESTRICT blueOut = blue + offset + from;
      for (int k = 0; k < trailingCount; ++k) {
        luminanceOut[2 * k] = leading.luminance[k];
        luminanceOut[2 * k + 1] = trailing.luminance[k];
        redOut[2 * k] = static_cast<std::uint8_t>(leading.red[k]);
        redOut[2 * k + 1] = static_cast<std::uint8_t>(trailing.red[k]);
        greenOut[2 * k] = static_cast<std::uint8_t>(leading.green[k]);
        greenOut[2 * k + 1] = static_cast<std::uint8_t>(trailing.green[k]);
        blueOut[2 * k] = static_cast<std::uint8_t>(leading.blue[k]);
        blueOut[2 * k + 1] = static_cast<std::uint8_t>(trailing.blue[k]);
      }
      if (leadingCount > trailingCount) {
        const int k = trailingCount;
        luminanceOut[2 * k] = leading.luminance[k];
        redOut[2 * k] = static_cast<std::uint8_t>(leading.red[k]);
        greenOut[2 * k] = static_cast<std::uint8_t>(leading.green[k]);
        blueOut[2 * k] = static_cast<std::uint8_t>(leading.blue[k]);
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
