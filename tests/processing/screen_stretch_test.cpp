// The screen stretch: where it puts a raw frame's sky and stars, and frames it must not
// divide by nothing on.
#include "processing/screen_stretch.h"

#include <gtest/gtest.h>

#include <random>

namespace corvex {
namespace {

TEST(ScreenStretch, MidtonesTransfer) {
  for (const double m : {0.05, 0.25, 0.5, 0.9}) {
    EXPECT_EQ(MidtonesTransfer(m, 0), 0);
    EXPECT_EQ(MidtonesTransfer(m, 1), 1);
    EXPECT_EQ(MidtonesTransfer(m, -3), 0);
    EXPECT_EQ(MidtonesTransfer(m, 7), 1);
    EXPECT_NEAR(MidtonesTransfer(m, m), 0.5, 1e-12);
  }
  EXPECT_DOUBLE_EQ(MidtonesTransfer(0.5, 0.3), 0.3);
}

TEST(ScreenStretch, ARawFrameShowsItsSkyDarkGreyAndItsStarsWhite) {
  // A sky of 700 with noise 12, 40 stars peaking at 20000, on 16-bit values.
  std::mt19937 random(4);
  std::normal_distribution<double> noise(700, 12);
  std::vector<std::uint16_t> frame(500 * 290);
  for (auto& v : frame) v = static_cast<std::uint16_t>(noise(random));
  for (int i = 0; i < 40; ++i) frame[static_cast<std::size_t>(i) * 3571] = 20000;
  const ScreenStretch stretch = AutoScreenStretch(Histogram16(frame));
  EXPECT_NEAR(stretch.black, 700 - 2.8 * 12, 4);
  EXPECT_EQ(stretch.white, 20000);
  const auto table = ScreenStretchTable(stretch, 65536);
  EXPECT_NEAR(table[700], 64, 2);  // the sky at a quarter of the way to white
  EXPECT_EQ(table[600], 0);        // below the sky's noise: black
  EXPECT_EQ(table[20000], 255);
  EXPECT_GT(table[1000], 180);     // a faint star stands out
  for (int v = 1; v < 65536; ++v) ASSERT_GE(table[v], table[v - 1]);
}

TEST(ScreenStretch, FramesWithoutSpread) {
  // Nothing, one value everywhere, two values: straight lines, never a division by zero.
  std::vector<std::uint32_t> empty(256, 0);
  const ScreenStretch none = AutoScreenStretch(empty);
  EXPECT_EQ(none.midtone, 0.5);
  std::vector<std::uint16_t> flat(1000, 300);
  const ScreenStretch one = AutoScreenStretch(Histogram16(flat));
  EXPECT_EQ(one.black, 300);
  EXPECT_EQ(one.white, 301);
  EXPECT_EQ(one.midtone, 0.5);
  const auto table = ScreenStretchTable(one, 65536);
  EXPECT_EQ(table[300], 0);
  EXPECT_EQ(table[301], 255);
  flat[0] = 1000;
  const ScreenStretch two = AutoScreenStretch(Histogram16(flat));
  EXPECT_EQ(two.black, 300);
  EXPECT_EQ(two.white, 1000);
  // An 8-bit histogram works the same way.
  std::vector<std::uint32_t> bytes(256, 0);
  bytes[20] = 900, bytes[21] = 800, bytes[22] = 700, bytes[250] = 3;
  const ScreenStretch colour = AutoScreenStretch(bytes);
  EXPECT_LT(colour.black, 21);
  EXPECT_EQ(colour.white, 250);
  EXPECT_NEAR(ScreenStretchTable(colour, 256)[21], 64, 3);
}

}  // namespace
}  // namespace corvex
