// The colour display row, built for each instruction set Highway targets and dispatched at
// run time. The loop is written without branches (every select is a conditional move), so
// that the compiler vectorises it: four to eight pixels per instruction in double and single
// precision.
#include "processing/kernels/colour_display.h"

#include <algorithm>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "processing/kernels/colour_display.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace corvex::kernels {
namespace HWY_NAMESPACE {

void ColourDisplayRowImpl(const std::uint8_t* mono, const std::uint8_t* red,
                          const std::uint8_t* green, const std::uint8_t* blue, int count,
                          const BrightnessTable& brightness, int saturation, std::uint8_t* bgr) {
  const float s = static_cast<float>(saturation + 1) / 2;
  // Gathering from the table does not vectorise; looking it up first keeps the rest a
  // straight line of arithmetic.
  float values[64];
  std::uint8_t out[3][64];
  for (int start = 0; start < count; start += 64) {
    const int n = std::min(64, count - start);
    for (int i = 0; i < n; ++i) values[i] = static_cast<float>(brightness[mono[start + i]]);
    for (int i = 0; i < n; ++i) {
      // White has every ratio 1, which is exactly what planes of 0 give (30 / 30). Masking the planes, rather than choosing the ratios, keeps the loop
      // free of branches: the compiler would put a chosen division or load under one.
      const int keep = mono[start + i] == 255 ? 0 : 0xFF;
      const int r = red[start + i] & keep;
      const int g = green[start + i] & keep;
      const int b = blue[start + i] & keep;
      // Each ratio over the largest is (value + 30) over (largest value + 30): the mean
      // cancels. Not every double comes out the same as dividing twice, but every one
      // rounds to the same single-precision (ratio - 1), checked over all 2^24 planes, so
      // every channel is the same and three divisions do the work of seven.
      const double largest = std::max(std::max(r, g), b) + 30;
      const double rR = (r + 30) / largest;
      const double rG = (g + 30) / largest;
      const double rB = (b + 30) / largest;
      const float v = values[i];
      const auto channel = [&](double ratio) {
        const float c = (static_cast<float>(ratio - 1) * s + 1) * v;
        const float kept = std::min(std::max(c, 0.0f), 255.0f);
        return static_cast<std::uint8_t>(static_cast<int>(c > 254 ? 255.0f : kept));
      };
      out[0][i] = channel(rB);
      out[1][i] = channel(rG);
      out[2][i] = channel(rR);
    }
    for (int i = 0; i < n; ++i) {
      std::uint8_t* pixel = bgr + 3 * (start + i);
      pixel[0] = out[0][i];
      pixel[1] = out[1][i];
      pixel[2] = out[2][i];
    }
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace corvex::kernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace corvex::kernels {

HWY_EXPORT(ColourDisplayRowImpl);

void ColourDisplayRow(const std::uint8_t* mono, const std::uint8_t* red, const std::uint8_t* green,
                      const std::uint8_t* blue, int count, const BrightnessTable& brightness,
                      int saturation, std::uint8_t* bgr) {
  HWY_DYNAMIC_DISPATCH(ColourDisplayRowImpl)
  (mono, red, green, blue, count, brightness, saturation, bgr);
}

}  // namespace corvex::kernels
#endif
