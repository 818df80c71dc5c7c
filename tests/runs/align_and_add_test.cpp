// Align and add: shifts, the even-shift rule, star loss and averaging.
#include "runs/align_and_add.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "corvex.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

class AlignAndAddTest : public ::testing::Test {
 protected:
  // Background 100 and a star of peak `peak` at (x, y), with a marker pixel far from it.
  void Frame(int x, int y, int peak, std::uint16_t marker) {
    ImageBuffer& image = corvex.store.currentImage;
    image.Fill(100);
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) image[(y + dy) * 512 + x + dx] = peak / 2;
    }
    image[y * 512 + x] = static_cast<std::uint16_t>(peak);
    image[50 * 512 + 50] = marker;
  }
  std::uint16_t At(int x, int y) const { return corvex.store.currentImage[y * 512 + x]; }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  AlignState align;
};

TEST(AlignShifts, OddShiftsUpToNineLoseAPixel) {
  EXPECT_EQ(EvenedShift(1), 0);
  EXPECT_EQ(EvenedShift(-1), -2);
  EXPECT_EQ(EvenedShift(3), 2);
  EXPECT_EQ(EvenedShift(9), 8);
  EXPECT_EQ(EvenedShift(-9), -10);
  EXPECT_EQ(EvenedShift(11), 11);
  EXPECT_EQ(EvenedShift(4), 4);
  EXPECT_EQ(EvenedShift(0), 0);
}

TEST_F(AlignAndAddTest, FramesAreAddedOntoTheSumShiftedByTheStar) {
  corvex.state.pickedStarX = 198;
  corvex.state.pickedStarY = 101;
  Frame(200, 100, 8000, 1000);
  ASSERT_EQ(AlignAndAdd(corvex, align), kAlignOk);
  EXPECT_EQ(align.referenceX, 200);
  EXPECT_EQ(align.referenceY, 100);
  EXPECT_EQ(align.referencePeak, 8000);

  // The star drifted 3 to the right: the sum is added shifted by 2.
  Frame(203, 100, 8000, 2000);
  ASSERT_EQ(AlignAndAdd(corvex, align), kAlignOk);
  EXPECT_EQ(align.referenceX, 202) << "where the sum's first star now lies";
  EXPECT_EQ(At(52, 50), 100 + 1000) << "the first frame's marker, two columns on";
  EXPECT_EQ(At(50, 50), 2000 + 100);
  EXPECT_EQ(At(202, 100), 8000 / 2 + 8000) << "the first star, two columns on";
  EXPECT_EQ(At(0, 50), 100) << "no source column for the edge: the new value stays";
  EXPECT_EQ(align.frames, 2);

  // Whatever happens to the image in between (colour synthesis writes its own values over
  // it), the next frame is added to the sum.
  corvex.store.currentImage.Fill(7);
  corvex.store.secondaryImage.Fill(7);
  Frame(203, 100, 8000, 500);
  ASSERT_EQ(AlignAndAdd(corvex, align), kAlignOk);
  EXPECT_EQ(At(52, 50), 100 + 1100);
  EXPECT_EQ(At(50, 50), 500 + 2100);
  EXPECT_EQ(align.referenceX, 202) << "the pixel the first shift left out is still owed";

  // A star four times brighter is taken as lost: the image is the sum so far.
  Frame(203, 100, 40000, 3000);
  EXPECT_EQ(AlignAndAdd(corvex, align), kAlignStarLost);
  EXPECT_EQ(At(50, 50), 2600);
  EXPECT_EQ(align.frames, 3);
}

// A star that moves by an odd amount every frame (slow drift, a dithered series): each shift
// may leave out a pixel, but the next makes it up, so every frame's star lands within a pixel
// of the first one's instead of the sum smearing further with each frame.
TEST_F(AlignAndAddTest, OddShiftsDoNotAddUp) {
  corvex.state.pickedStarX = 200;
  corvex.state.pickedStarY = 100;
  const int path[][2] = {{200, 100}, {201, 101}, {202, 102}, {205, 99}, {204, 98}, {207, 101}};
  for (const auto& at : path) {
    Frame(at[0], at[1], 8000, 0);
    ASSERT_EQ(AlignAndAdd(corvex, align), kAlignOk);
    EXPECT_LE(std::abs(align.referenceX - at[0]), 1);
    EXPECT_LE(std::abs(align.referenceY - at[1]), 1);
  }
  // The light of the six stars in the sum: its spread about its centre stays that of one
  // star and a pixel, where adding up the left-out pixels would spread it over five.
  double sum = 0, sx = 0, sy = 0, sxx = 0, syy = 0;
  for (int y = align.referenceY - 8; y <= align.referenceY + 8; ++y) {
    for (int x = align.referenceX - 8; x <= align.referenceX + 8; ++x) {
      const double light = std::max(0, At(x, y) - 6 * 100);
      sum += light;
      sx += light * x;
      sy += light * y;
      sxx += light * x * x;
      syy += light * y * y;
    }
  }
  const double spread = std::sqrt((sxx - sx * sx / sum + syy - sy * sy / sum) / sum);
  EXPECT_LT(spread, 1.5);
}

TEST_F(AlignAndAddTest, AFirstFrameWithoutItsStarStartsNoSeries) {
  corvex.state.pickedStarX = 200;
  corvex.state.pickedStarY = 100;
  corvex.store.currentImage.Fill(0);  // nothing to centre on
  corvex.store.currentImage[5] = 40;
  EXPECT_EQ(AlignAndAdd(corvex, align), kAlignStarLost);
  EXPECT_EQ(At(5, 0), 40) << "the image is the frame";
  EXPECT_EQ(align.frames, 1);
}

TEST_F(AlignAndAddTest, AveragingGivesTheMeanOfTheFramesSoFar) {
  corvex.state.averageExposures = true;
  corvex.state.runExposureCount = 3;
  corvex.state.pickedStarX = 200;
  corvex.state.pickedStarY = 100;
  Frame(200, 100, 8000, 1000);
  ASSERT_EQ(AlignAndAdd(corvex, align), kAlignOk);
  EXPECT_EQ(At(50, 50), 1000) << "one frame is its own mean";
  Frame(202, 100, 8000, 3000);
  ASSERT_EQ(AlignAndAdd(corvex, align), kAlignOk);
  EXPECT_EQ(At(52, 50), (1000 + 100) / 2) << "the first marker, moved with the star";
  EXPECT_EQ(At(50, 50), (100 + 3000) / 2);
  EXPECT_EQ(At(0, 50), 100) << "an edge pixel holds the new frame alone";
  Frame(202, 100, 8000, 2);
  ASSERT_EQ(AlignAndAdd(corvex, align), kAlignOk);
  EXPECT_EQ(At(50, 50), (100 + 3000 + 2) / 3) << "the mean, not a sum of thirds";
}

TEST_F(AlignAndAddTest, ProfilesNeedABrightRegionAndFollowItsShift) {
  // A flat frame has no region bright enough: result 2.
  corvex.store.currentImage.Fill(3000);
  EXPECT_EQ(AlignAndAddByProfiles(corvex, align), kAlignNoRegion);

  ClearAlignReference(align);
  const auto starField = [this](int shiftX) {
    ImageBuffer& image = corvex.store.currentImage;
    image.Fill(300);
    for (int s = 0; s < 6; ++s) {
      const int x = 215 + 13 * s + shiftX;
      const int y = 115 + 14 * s;
      for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) image[(y + dy) * 512 + x + dx] = 20000 + 1000 * s;
      }
    }
  };
  starField(0);
  ASSERT_EQ(AlignAndAddByProfiles(corvex, align), kAlignOk);
  EXPECT_EQ(align.regionRow, 0);
  starField(4);  // the field moved 4 columns right
  ASSERT_EQ(AlignAndAddByProfiles(corvex, align), kAlignOk);
  EXPECT_EQ(align.columnShift, 4);
  EXPECT_EQ(align.rowShift, 0);
  EXPECT_EQ(At(215, 115), 20000 + 20000) << "the two frames' first star on top of each other";
}

}  // namespace
}  // namespace corvex
