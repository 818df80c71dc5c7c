// The colour menu on hand-made planes: balance, chromatic shifts, histogram balance, the
// filters' borders, and the refusals on a raw image.
#include "processing/colour_adjustments.h"

#include <gtest/gtest.h>

#include "commands/colour_commands.h"
#include "corvex.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

class ColourAdjustmentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    corvex.state.colourConverted = true;
    store.redPlane.Fill(100);
    store.greenPlane.Fill(100);
    store.bluePlane.Fill(100);
  }
  static int At(int x, int y) { return y * kImageStride + x; }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  ImageStore& store = corvex.store;
};

TEST_F(ColourAdjustmentsTest, EveryCommandRefusesARawImage) {
  corvex.state.colourConverted = false;
  EXPECT_FALSE(AntiAliasFilter(corvex));
  EXPECT_FALSE(LowPassColourFilter(corvex));
  EXPECT_FALSE(ColourBalance(corvex, 1, 1, 1, 2));
  EXPECT_FALSE(ChromaticAdjustment(corvex, 1, 0, 0, 0));
  EXPECT_FALSE(BalanceColourHistogram(corvex));
  EXPECT_FALSE(UndoLastColourFilter(corvex));
  ASSERT_EQ(rig.host.messages.size(), 6u);
  for (const auto& message : rig.host.messages)
    EXPECT_EQ(message.text, "Image not Colour Converted");
  EXPECT_EQ(store.redPlane[1000], 100);
}

TEST_F(ColourAdjustmentsTest, BalanceSubtractsTwiceItsValues) {
  store.redPlane[At(1, 1)] = store.greenPlane[At(1, 1)] = store.bluePlane[At(1, 1)] = 0;
  store.redPlane[At(2, 1)] = 250;  // 245 and above are never changed
  store.greenPlane[At(3, 1)] = 5;  // an offset above the value gives 0
  ASSERT_TRUE(ColourBalance(corvex, 10, 3, -5, 2));
  EXPECT_EQ(store.redPlane[At(5, 5)], 80);
  EXPECT_EQ(store.greenPlane[At(5, 5)], 94);
  EXPECT_EQ(store.bluePlane[At(5, 5)], 110) << "a negative value raises the plane";
  EXPECT_EQ(store.redPlane[At(1, 1)], 0) << "black pixels stay black";
  EXPECT_EQ(store.bluePlane[At(1, 1)], 0);
  EXPECT_EQ(store.redPlane[At(2, 1)], 250);
  EXPECT_EQ(store.greenPlane[At(3, 1)], 0);
  EXPECT_EQ(store.colourUndo.red[At(5, 5)], 100);
  EXPECT_EQ(rig.host.progressCaptions.back(), "COLOUR BALANCE IN PROGRESS");

  // Nothing to do: no undo copy, no change.
  store.colourUndo.red.Fill(7);
  EXPECT_FALSE(ColourBalance(corvex, 0, 0, 0, 2));
  EXPECT_EQ(store.colourUndo.red[0], 7);
  // Only the saturation changes: it is stored in the settings file.
  EXPECT_TRUE(ColourBalance(corvex, 0, 0, 0, 5));
  EXPECT_EQ(corvex.state.settings.saturationFactor, 5);
  EXPECT_EQ(testing::FileBytes(corvex.paths.SettingsFile())[16], 5);
}

TEST_F(ColourAdjustmentsTest, ChromaticShiftMovesRedAndBlueAgainstGreen) {
  for (int x = 0; x < kImageStride; ++x) {
    for (int y = 0; y < kImageRows; ++y) {
      store.redPlane[At(x, y)] = static_cast<std::uint8_t>(x);
      store.bluePlane[At(x, y)] = static_cast<std::uint8_t>(y);
      store.greenPlane[At(x, y)] = 9;
    }
  }
  ASSERT_TRUE(ChromaticAdjustment(corvex, 3, 0, 0, -2));
  EXPECT_EQ(store.redPlane[At(10, 50)], 13) << "+3 moves red content 3 columns left";
  EXPECT_EQ(store.redPlane[At(509, 50)], 509 & 0xFF) << "the last 3 columns keep their own";
  EXPECT_EQ(store.bluePlane[At(10, 50)], 48);
  EXPECT_EQ(store.bluePlane[At(10, 1)], 1) << "no source row above the top";
  EXPECT_EQ(store.greenPlane[At(10, 50)], 9);
  EXPECT_EQ(store.colourUndo.red[At(10, 50)], 10);
}

TEST_F(ColourAdjustmentsTest, HistogramBalanceRaisesTheMostBehindPlane) {
  // Start bins (value / 2): red 49, green 29, blue 39. Deficits 0, 24, 12: green is raised.
  store.redPlane.Fill(99);
  store.greenPlane.Fill(59);
  store.bluePlane.Fill(79);
  store.greenPlane[At(3, 200)] = 240;  // 240 >= 255 - 24: stays
  EXPECT_EQ(ColourHistogramStarts(MainPlanes(store)).green, 29);
  ASSERT_TRUE(BalanceColourHistogram(corvex));
  EXPECT_EQ(store.greenPlane[At(3, 100)], 59 + 24);
  EXPECT_EQ(store.greenPlane[At(3, 200)], 240);
  EXPECT_EQ(store.redPlane[At(3, 100)], 99);
  EXPECT_EQ(store.bluePlane[At(3, 100)], 79);
}

TEST_F(ColourAdjustmentsTest, FiltersKeepTheBorderAndSmoothTheInside) {
  store.redPlane[At(100, 100)] = 255;  // a lone red pixel
  store.redPlane[At(0, 0)] = 1;        // border values are the planes' own
  store.redPlane[At(511, 289)] = 2;
  ASSERT_TRUE(LowPassColourFilter(corvex));
  EXPECT_EQ(store.redPlane[At(100, 100)], (100 * 12 + 255 * 4) / 16);
  EXPECT_EQ(store.redPlane[At(101, 100)], (100 * 14 + 255 * 2) / 16);
  EXPECT_EQ(store.redPlane[At(0, 0)], 1);
  EXPECT_EQ(store.redPlane[At(511, 289)], 2);

  store.redPlane.Fill(100);
  store.redPlane[At(100, 100)] = 255;
  store.redPlane[At(1, 1)] = 3;
  ASSERT_TRUE(AntiAliasFilter(corvex));
  // The median takes the lone pixel out; its detail (255 - low pass 100 + ...) / 3 returns.
  const int low = (100 * (156 - 12) + 255 * 12) / 156;
  EXPECT_EQ(store.redPlane[At(100, 100)], 100 + (255 - low) / 3);
  EXPECT_EQ(store.greenPlane[At(100, 100)], 100 + (255 - low) / 3);
  EXPECT_EQ(store.redPlane[At(1, 1)], 3) << "outside rows 3-286 and columns 3-508";
  EXPECT_EQ(rig.host.progressCaptions.back(), "ANTI-ALIAS PROGRESS");
}

TEST(AntiAliasPass, MatchesAPlainPixelByPixelComputation) {
  ColourPlanes planes, detail, scratch;
  std::uint32_t x = 99;
  std::vector<std::uint8_t> original[3];
  PlaneBuffer* all[3] = {&planes.red, &planes.green, &planes.blue};
  for (int p = 0; p < 3; ++p) {
    for (int i = 0; i < kImageValues; ++i) {
      x = x * 1664525u + 1013904223u;
      (*all[p])[i] = static_cast<std::uint8_t>((x >> 24) % 60 + ((x >> 20) % 50 == 0 ? 180 : 0));
    }
    original[p].assign(all[p]->begin(), all[p]->begin() + kImageValues);
  }
  AntiAliasPass({planes.red.data(), planes.green.data(), planes.blue.data()},
                {detail.red.data(), detail.green.data(), detail.blue.data()},
                {scratch.red.data(), scratch.green.data(), scratch.blue.data()});
  static constexpr int kKernel[7][7] = {{0, 1, 2, 3, 2, 1, 0}, {1, 2, 3, 4, 3, 2, 1},
                                        {2, 3, 6, 9, 6, 3, 2}, {3, 4, 9, 12, 9, 4, 3},
                                        {2, 3, 6, 9, 6, 3, 2}, {1, 2, 3, 4, 3, 2, 1},
                                        {0, 1, 2, 3, 2, 1, 0}};
  for (int y = 0; y < kImageRows; y += 7) {
    for (int col = 0; col < kImageStride; col += 3) {
      const bool inside = y >= 3 && y <= 286 && col >= 3 && col <= 508;
      int medians[3], details[3];
      for (int p = 0; p < 3; ++p) {
        const std::vector<std::uint8_t>& v = original[p];
        medians[p] = v[y * 512 + col];
        details[p] = 0;
        if (!inside) continue;
        int sum = 0;
        std::vector<int> window;
        for (int dy = -3; dy <= 3; ++dy) {
          for (int dx = -3; dx <= 3; ++dx) {
            sum += v[(y + dy) * 512 + col + dx] * kKernel[dy + 3][dx + 3];
            if (std::abs(dy) <= 2 && std::abs(dx) <= 2) window.push_back(v[(y + dy) * 512 + col + dx]);
          }
        }
        std::sort(window.begin(), window.end());
        medians[p] = window[12];
        const int low = std::min(sum / 156, 255);
        details[p] = low < v[y * 512 + col] ? v[y * 512 + col] - low : 0;
      }
      const int d = (details[0] + details[1] + details[2]) / 3;
      for (int p = 0; p < 3; ++p) {
        ASSERT_EQ((*all[p])[y * 512 + col], std::min(medians[p] + d, 255))
            << "plane " << p << " at " << col << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace corvex
