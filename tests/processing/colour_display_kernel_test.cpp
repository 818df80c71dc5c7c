// The colour display row kernel against ColourPixel, one pixel at a time, on every
// instruction set: every display byte with and without auto contrast, every saturation the
// settings allow (and 0), planes of random, extreme and equal values.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "processing/display_image.h"
#include "processing/kernel_frames.h"
#include "processing/kernels/colour_display.h"

namespace corvex {
namespace {

using testing::ForEachInstructionSet;
using testing::Lcg;

TEST(ColourDisplayKernel, MatchesColourPixelForEveryByteAndSetting) {
  // 256 x 40 pixels: each row runs every display byte (and the row length is not a multiple
  // of the vector length). Rows hold random planes, then planes at 0 and 255 and equal ones.
  constexpr int kCount = 256 * 40 + 7;
  std::vector<std::uint8_t> mono(kCount), red(kCount), green(kCount), blue(kCount);
  Lcg random(7);
  for (int i = 0; i < kCount; ++i) {
    mono[i] = static_cast<std::uint8_t>(i % 256);
    const int kind = i / 256 % 4;
    const auto value = [&] {
      if (kind == 1) return random.In(0, 1) * 255;
      if (kind == 2) return random.In(0, 2) + random.In(0, 1) * 253;
      return random.In(0, 255);
    };
    red[i] = static_cast<std::uint8_t>(value());
    green[i] = static_cast<std::uint8_t>(kind == 3 ? red[i] : value());
    blue[i] = static_cast<std::uint8_t>(kind == 3 ? red[i] : value());
  }
  std::vector<std::uint8_t> bgr(3 * kCount);
  for (const auto& setting :
       {std::pair{false, 0}, {true, 0}, {true, 37}, {true, 254}, {true, 255}}) {
    // Plain copies: clang 14's lambdas cannot capture structured bindings.
    const bool autoContrast = setting.first;
    const int background = setting.second;
    const kernels::BrightnessTable table = ColourBrightness(autoContrast, background);
    for (int saturation = 0; saturation <= 9; ++saturation) {
      ForEachInstructionSet([&](const char* instructions) {
        kernels::ColourDisplayRow(mono.data(), red.data(), green.data(), blue.data(), kCount, table,
                                  saturation, bgr.data());
        for (int i = 0; i < kCount; ++i) {
          const auto want =
              ColourPixel(mono[i], red[i], green[i], blue[i], autoContrast, background, saturation);
          ASSERT_TRUE(bgr[3 * i] == want[0] && bgr[3 * i + 1] == want[1] &&
                      bgr[3 * i + 2] == want[2])
              << instructions << ", auto contrast " << autoContrast << " from " << background
              << ", saturation " << saturation << ", byte " << int{mono[i]} << " planes "
              << int{red[i]} << " " << int{green[i]} << " " << int{blue[i]};
        }
      });
    }
  }
}

TEST(ColourDisplayKernel, MatchesColourPixelForEveryColourOfThePlanes) {
  // The kernel takes each ratio as (value + 30) / (largest + 30) rather than through the mean;
  // every one of the 2^24 colours must still give ColourPixel's channels. A strong saturation
  // and bright bytes magnify any difference in the ratios; the display byte steps through
  // 0-254 so that every brightness meets many colours.
  constexpr int kCount = 256 * 256;
  std::vector<std::uint8_t> mono(kCount), red(kCount), green(kCount), blue(kCount);
  std::vector<std::uint8_t> bgr(3 * kCount);
  const kernels::BrightnessTable table = ColourBrightness(true, 20);
  for (int r = 0; r < 256; ++r) {
    for (int i = 0; i < kCount; ++i) {
      mono[i] = static_cast<std::uint8_t>((i + r) % 255);
      red[i] = static_cast<std::uint8_t>(r);
      green[i] = static_cast<std::uint8_t>(i / 256);
      blue[i] = static_cast<std::uint8_t>(i % 256);
    }
    for (const int saturation : {0, 9}) {
      kernels::ColourDisplayRow(mono.data(), red.data(), green.data(), blue.data(), kCount, table,
                                saturation, bgr.data());
      for (int i = 0; i < kCount; ++i) {
        const auto want = ColourPixel(mono[i], r, green[i], blue[i], true, 20, saturation);
        ASSERT_TRUE(bgr[3 * i] == want[0] && bgr[3 * i + 1] == want[1] &&
                    bgr[3 * i + 2] == want[2])
            << "saturation " << saturation << ", byte " << int{mono[i]} << " planes " << r
            << " " << int{green[i]} << " " << int{blue[i]};
      }
    }
  }
}

}  // namespace
}  // namespace corvex
