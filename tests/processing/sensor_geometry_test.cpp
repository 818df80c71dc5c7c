// Sensor geometry: the colour filter phase, the black-level reference, the label band rule,
// row resampling for the aspect-corrected display, the mirror and the geometry toggles.
#include "processing/sensor_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "commands/display_commands.h"
#include "commands/filter_commands.h"
#include "corvex.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

int At(int x, int y) {
  return y * kImageStride + x;
}

// Every value different, padding columns included, so a misplaced column shows.
void FillDistinct(ImageBuffer& image) {
  for (int i = 0; i < kImageValues; ++i) image[i] = static_cast<std::uint16_t>(i * 7 + 3);
}

void Mark(ImageBuffer& image, std::uint16_t col4, std::uint16_t col5) {
  image[4] = col4;
  image[5] = col5;
}

TEST(SensorGeometry, PhasesStartAtTheSettingAndFlipEveryColumnAndRow) {
  for (bool offset : {false, true}) {
    for (int i : {0, 1, 2, 288, 289, 510, 511}) {
      EXPECT_EQ(ColumnPhase(i, offset), offset == (i % 2 == 0)) << i;
      EXPECT_EQ(RowPhase(i, offset), offset == (i % 2 == 0)) << i;
    }
  }
}

TEST(SensorGeometry, BlackLevelIsTheTruncatedMeanOfColumnsThreeToFiveOfRows20To219) {
  ImageBuffer image;
  image.Fill(60000);  // everything outside the reference is far off
  for (int y = 20; y <= 219; ++y) {
    for (int x = 3; x <= 5; ++x) image[At(x, y)] = 100;
  }
  EXPECT_EQ(BlackLevel(image), 100);
  image[At(3, 20)] = 699;  // sum 60599: mean 100.998 truncates to 100
  EXPECT_EQ(BlackLevel(image), 100);
  image[At(5, 219)] = 101;  // sum 60600
  EXPECT_EQ(BlackLevel(image), 101);
}

TEST(SensorGeometry, LabelBandNeedsRowZeroColumnsFourAndFiveToAddUpToExactly34) {
  ImageBuffer image;
  Mark(image, 17, 17);
  EXPECT_TRUE(HasLabelBand(image));
  EXPECT_EQ(FirstUnprotectedRow(image), 10);
  Mark(image, 0, 34);
  EXPECT_TRUE(HasLabelBand(image));
  Mark(image, 16, 17);
  EXPECT_FALSE(HasLabelBand(image));
  EXPECT_EQ(FirstUnprotectedRow(image), 0);
  Mark(image, 18, 17);
  EXPECT_FALSE(HasLabelBand(image));
}

TEST(SensorGeometry, ResampleBlendsRowsByTheTruncatedFraction) {
  // Three rows to three with factor 1.5: row 1 sits 2/3 of the way down, so 0 -> 200 gives
  // 133 and 100 -> 50 gives 66.67, truncated to 66; the last row (at 1.33) is source row 1
  // unblended.
  const std::uint8_t source[] = {0, 100, 200, 50, 90, 90};
  std::uint8_t target[6] = {};
  ResampleRows(source, 3, 2, target, 3, 1.5f);
  EXPECT_EQ(std::vector<int>(target, target + 6), (std::vector<int>{0, 100, 133, 66, 200, 50}));
}

TEST(SensorGeometry, QzResamplingKeepsTheLastSourceRowAndBlendsInSinglePrecision) {
  std::vector<std::uint8_t> source(kImageValues);
  for (int y = 0; y < kImageRows; ++y) {
    for (int x = 0; x < kImageStride; ++x) source[At(x, y)] = static_cast<std::uint8_t>(y * 3 + x);
  }
  std::vector<std::uint8_t> target(kQzDisplayRows * kImageStride, 0xEE);
  ResampleRows(source.data(), kImageRows, kImageStride, target.data(), kQzDisplayRows,
               kQzDisplayFactor);
  for (int x = 0; x < kImageStride; ++x) {
    ASSERT_EQ(target[372 * kImageStride + x], source[At(x, 289)]) << x;
  }
  for (int n : {0, 1, 100, 200, 371}) {
    const float s = static_cast<float>(n) / kQzDisplayFactor;
    const int r = static_cast<int>(std::floor(s));
    const float f = s - static_cast<float>(r);
    for (int x : {0, 7, 300, 511}) {
      const int a = source[At(x, r)], b = source[At(x, r + 1)];
      const int expected = std::min(255, static_cast<int>(a + (b - a) * f));
      EXPECT_EQ(target[n * kImageStride + x], expected) << "row " << n << " col " << x;
    }
  }
}

class MirrorTest : public ::testing::Test {
 protected:
  MirrorTest() {
    corvex.displayRebuild = [this](Corvex&) { ++rebuilds; };
    FillDistinct(image());
    CopyImage(image(), original);
  }
  ImageBuffer& image() { return corvex.store.currentImage; }
  bool RowIsMirrored(int y) {
    for (int x = 0; x < kImageStride; ++x) {
      if (image()[At(x, y)] != original[At(kImageStride - 1 - x, y)]) return false;
    }
    return true;
  }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  ImageBuffer original;
  int rebuilds = 0;
};

TEST_F(MirrorTest, ReversesEveryRowOverAll512ColumnsAndTwiceGivesTheImageBack) {
  MirrorImage(corvex);
  for (int y = 0; y < kImageRows; ++y) ASSERT_TRUE(RowIsMirrored(y)) << y;
  for (int i = 0; i < kImageValues; ++i) ASSERT_EQ(corvex.store.secondaryImage[i], image()[i]);
  EXPECT_EQ(rebuilds, 1);
  MirrorImage(corvex);
  for (int i = 0; i < kImageValues; ++i) ASSERT_EQ(image()[i], original[i]) << i;
}

TEST_F(MirrorTest, KeepsTheLabelBandOfAMarkedFrameOnly) {
  Mark(image(), 17, 17);
  CopyImage(image(), original);
  MirrorImage(corvex);
  for (int i = 0; i < kLabelBandValues; ++i) ASSERT_EQ(image()[i], original[i]) << i;
  for (int y = 10; y < kImageRows; ++y) ASSERT_TRUE(RowIsMirrored(y)) << y;

  for (std::uint16_t col4 : {16, 18}) {  // sums 33 and 35: mirrored whole
    FillDistinct(image());
    Mark(image(), col4, 17);
    CopyImage(image(), original);
    MirrorImage(corvex);
    for (int y = 0; y < kImageRows; ++y) ASSERT_TRUE(RowIsMirrored(y)) << col4 << " row " << y;
  }
}

TEST_F(MirrorTest, MirrorsTheColourPlanesOnlyWhenColourConverted) {
  PlaneBuffer* planes[] = {&corvex.store.redPlane, &corvex.store.greenPlane,
                           &corvex.store.bluePlane};
  for (int p = 0; p < 3; ++p) {
    for (int i = 0; i < kImageValues; ++i) (*planes[p])[i] = static_cast<std::uint8_t>(i + p * 50);
  }
  MirrorImage(corvex);  // grey image: the planes stay
  for (int p = 0; p < 3; ++p)
    EXPECT_EQ((*planes[p])[At(0, 5)], static_cast<std::uint8_t>(At(0, 5) + p * 50));

  corvex.state.colourConverted = true;
  MirrorImage(corvex);
  for (int p = 0; p < 3; ++p) {
    for (int y : {0, 9, 144, 289}) {
      for (int x : {0, 1, 255, 510, 511}) {
        EXPECT_EQ((*planes[p])[At(x, y)], static_cast<std::uint8_t>(At(511 - x, y) + p * 50))
            << p << " " << x << "," << y;
      }
    }
  }
  EXPECT_EQ(corvex.store.colourScratch.green[At(3, 100)], corvex.store.greenPlane[At(3, 100)]);
}

TEST(GeometryToggles, QzAndFitToWindowExcludeEachOther) {
  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  int rebuilds = 0;
  corvex.displayRebuild = [&](Corvex&) { ++rebuilds; };

  corvex.state.fitToWindow = true;
  ToggleQzGeometry(corvex);
  EXPECT_TRUE(corvex.state.qzGeometry);
  EXPECT_FALSE(corvex.state.fitToWindow);
  EXPECT_EQ(rebuilds, 1);
  ToggleQzGeometry(corvex);
  EXPECT_FALSE(corvex.state.qzGeometry);
  EXPECT_FALSE(corvex.state.fitToWindow);
  EXPECT_EQ(rebuilds, 2);

  corvex.state.qzGeometry = true;
  ToggleFitToWindow(corvex);
  EXPECT_TRUE(corvex.state.fitToWindow);
  EXPECT_FALSE(corvex.state.qzGeometry);
  EXPECT_EQ(rebuilds, 3);
  ToggleFitToWindow(corvex);
  EXPECT_FALSE(corvex.state.fitToWindow);
  EXPECT_FALSE(corvex.state.qzGeometry);
}

}  // namespace
}  // namespace corvex
