// The synthesis row, built for each instruction set Highway targets and dispatched at run
// time. Neighbouring pixels sit in different phases of the colour pattern and so take
// different formulas; to keep one straight line of arithmetic that the compiler vectorises,
// every pixel computes both families of formulas (a pixel whose column and row phase agree,
// and one where they differ) and selects its own, then its red and blue by its column phase.
// All arithmetic is on 32-bit integers; the luminance's division by 1.6 in double precision
// is, for every sum of two 16-bit values, the same as 5 x sum / 8 rounded down.
#include "processing/kernels/colour_synthesis_rows.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "processing/kernels/colour_synthesis_rows.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace corvex::kernels {
namespace HWY_NAMESPACE {

// The outputs never overlap the inputs or each other; saying so lets the loop vectorise
// without run-time overlap checks.
void SynthesizeRowImpl(const std::uint16_t* HWY_RESTRICT above,
                       const std::uint16_t* HWY_RESTRICT here,
                       const std::uint16_t* HWY_RESTRICT below, int first, int last,
                       bool pixelOffset, bool rowPhase, std::uint16_t* HWY_RESTRICT luminance,
                       std::uint8_t* HWY_RESTRICT red, std::uint8_t* HWY_RESTRICT green,
                       std::uint8_t* HWY_RESTRICT blue) {
  // Luminance (left + p) / 1.6 above 60000 makes the pixel grey.
  constexpr int kSaturatedSum = 96000;
  const int evenPhase = pixelOffset ? 1 : 0;
  const int row = rowPhase ? 1 : 0;
  for (int x = first; x <= last; ++x) {
    const int p = here[x];
    const int left = here[x - 1];
    const int o = left + here[x + 1] + above[x] + below[x];
    const int d = above[x - 1] + above[x + 1] + below[x - 1] + below[x + 1];
    const int s = p + o + d;
    const int columnPhase = evenPhase ^ (x & 1);

    // Column and row phase agree: (red, green, blue) = (a, g1, c) or (c, g1, a).
    const int a = (7 * d - 2 * o - 12 * p) / 40;
    const int g1 = (6 * o - d - 4 * p) / 40;
    const int c = (s - 11 * a - 13 * g1) / 8;
    // They differ: (e, g2, f) or (f, g2, e).
    const int e = (2 * o + 2 * d - 12 * p) / 20;
    const int f = (4 * o - 6 * d + 16 * p) / 40;
    const int g2 = (s - 10 * e - 7 * f) / 14;

    const bool agree = columnPhase == row;
    const int firstValue = agree ? a : e;
    const int secondValue = agree ? c : f;
    const int g = agree ? g1 : g2;
    int r = columnPhase ? firstValue : secondValue;
    int b = columnPhase ? secondValue : firstValue;

    r = (r < 0 ? 0 : r) * 300 / 70;
    const int gr = (g < 0 ? 0 : g) * 300 / 50;
    b = (b < 0 ? 0 : b) * 10;
    int largest = r > gr ? r : gr;
    largest = largest > b ? largest : b;
    const bool bright = largest > 65280;
    r = bright ? r / 2560 : r / 256;
    int gg = bright ? gr / 2560 : gr / 256;
    b = bright ? b / 2560 : b / 256;

    const int sum = left + p;
    const int lum = sum * 5 / 8;
    if (sum > kSaturatedSum) r = gg = b = (r + gg + b) / 3;
    luminance[x] = static_cast<std::uint16_t>(lum > 65535 ? 65535 : lum);
    red[x] = static_cast<std::uint8_t>(r < 255 ? r : 255);
    green[x] = static_cast<std::uint8_t>(gg < 255 ? gg : 255);
    blue[x] = static_cast<std::uint8_t>(b < 255 ? b : 255);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace corvex::kernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace corvex::kernels {

HWY_EXPORT(SynthesizeRowImpl);

void SynthesizeRow(const std::uint16_t* above, const std::uint16_t* here,
                   const std::uint16_t* below, int first, int last, bool pixelOffset, bool rowPhase,
                   std::uint16_t* luminance, std::uint8_t* red, std::uint8_t* green,
                   std::uint8_t* blue) {
  HWY_DYNAMIC_DISPATCH(SynthesizeRowImpl)
  (above, here, below, first, last, pixelOffset, rowPhase, luminance, red, green, blue);
}

}  // namespace corvex::kernels
#endif
