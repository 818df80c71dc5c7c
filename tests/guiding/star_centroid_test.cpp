// The guide star centroid on both cameras, and the guide window's placement.
#include "guiding/star_centroid.h"

#include <gtest/gtest.h>

#include <limits>

#include "corvex.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

class StarCentroidTest : public ::testing::Test {
 protected:
  ImageBuffer& image() { return corvex.store.currentImage; }
  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  ProgramState& state = corvex.state;
};

TEST_F(StarCentroidTest, ASinglePixelIsFoundWholeOrJustBelowInTenths) {
  image().Fill(0);
  image()[100 * 512 + 200] = 1000;
  ASSERT_EQ(FindStarCentre(corvex, 200, 100, 7), kStarFound);
  EXPECT_EQ(state.starX, 200);
  EXPECT_EQ(state.starY, 100);
  EXPECT_EQ(state.starXTenths, 0);

  // Tenths are kept for a self-guided exposure: the accumulators' starting 1 pulls the centre
  // just below the pixel.
  ASSERT_EQ(FindStarCentre(corvex, 200, 100, 7, true), kStarFound);
  EXPECT_EQ(state.starX, 199);
  EXPECT_EQ(state.starXTenths, 9);
  EXPECT_EQ(state.starY, 99);
  EXPECT_EQ(state.starYTenths, 9);
  state.settings.ignoreSmallDrift = true;
  ASSERT_EQ(FindStarCentre(corvex, 200, 100, 7, true), kStarFound);
  EXPECT_EQ(state.starX, 200);
  EXPECT_EQ(state.starXTenths, 0);
  EXPECT_TRUE(rig.host.messages.empty());
}

TEST_F(StarCentroidTest, AStarBetweenPixelsAndTheSearchBounds) {
  image().Fill(100);
  image()[50 * 512 + 60] = 5000;
  image()[50 * 512 + 61] = 5000;  // centre between columns 60 and 61
  ASSERT_EQ(FindStarCentre(corvex, 58, 52, 8, true), kStarFound);
  EXPECT_EQ(state.starX, 60);
  EXPECT_EQ(state.starXTenths, 4);  // (1 + w x 10 + w x 11) / (1 + 2w) from corner 50: 10.4999
  EXPECT_EQ(state.starY, 49);
  EXPECT_EQ(state.starYTenths, 9);

  // The square may touch the edge; one pixel further fails with the message.
  EXPECT_EQ(FindStarCentre(corvex, 8, 52, 8), kStarFound);
  EXPECT_EQ(FindStarCentre(corvex, 503, 52, 8), kStarFound);
  const int before = state.starX;
  EXPECT_EQ(FindStarCentre(corvex, 7, 52, 8), kStarNotFound);
  EXPECT_EQ(FindStarCentre(corvex, 504, 52, 8), kStarNotFound);
  EXPECT_EQ(state.starX, before);
  ASSERT_EQ(rig.host.messages.size(), 2u);
  EXPECT_EQ(rig.host.messages[0].text, "Find centre failed - outside image area");
  EXPECT_EQ(rig.host.messages[0].caption, "CORVEX  - Find Centre");
}

// A position from a command line or a damaged file can be anything: the square's bounds must
// not wrap round into the frame (the sanitizer build traps the overflow).
TEST_F(StarCentroidTest, PositionsFarOutsideTheFrameAreOutside) {
  image().Fill(100);
  const int far = std::numeric_limits<int>::max();
  const int farBack = std::numeric_limits<int>::min();
  EXPECT_EQ(FindStarCentre(corvex, farBack, farBack, 8), kStarNotFound);
  EXPECT_EQ(FindStarCentre(corvex, far, far, 8), kStarNotFound);
  EXPECT_EQ(FindGuiderStarCentre(corvex, farBack, 100, 8), kStarNotFound);
  EXPECT_EQ(FindGuiderStarCentre(corvex, 100, far, 8), kStarNotFound);
  EXPECT_EQ(FindStarCentre(corvex, 200, 100, -3), kStarNotFound);
  EXPECT_EQ(rig.host.messages.size(), 5u);
}

TEST_F(StarCentroidTest, AFlatSquareHasNothingToCentreOn) {
  image().Fill(700);
  EXPECT_EQ(FindStarCentre(corvex, 100, 100, 8), kStarNotFound);
  EXPECT_EQ(rig.host.MessageTexts(), std::vector<std::string>{"Sorry, Nothing found to centre on"});
  EXPECT_EQ(FindStarCentre(corvex, 100, 100, 8, true), kStarNotFound);
  EXPECT_EQ(rig.host.messages.size(), 1u) << "silent during a self-guided exposure";

  // The guider has no such test: all weights are 0 and the starting 1s give index 1, 1.
  corvex.store.guiderImage.Fill(700);
  ASSERT_EQ(FindGuiderStarCentre(corvex, 100, 100, 8), kStarFound);
  EXPECT_EQ(state.guiderStarX, 93);
  EXPECT_EQ(state.guiderStarY, 93);
  EXPECT_EQ(FindGuiderStarCentre(corvex, 495, 100, 8), kStarNotFound);
  EXPECT_EQ(rig.host.messages.back().caption, "VIREO  - Find Centre");
}

TEST_F(StarCentroidTest, TheGuideWindowIsSearchedOnceItIsPlaced) {
  image().Fill(0);
  image()[30 * 128 + 40] = 9000;  // in the 128-wide window layout
  state.guideWindowActive = true;
  ASSERT_EQ(FindStarCentre(corvex, 38, 31, 8), kStarFound);
  EXPECT_EQ(state.starX, 40);
  EXPECT_EQ(state.starY, 30);
  EXPECT_EQ(FindStarCentre(corvex, 120, 31, 8), kStarNotFound) << "120 + 9 passes 128";
}

TEST_F(StarCentroidTest, PickingRefinesInThreePasses) {
  image().Fill(0);
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) image()[(120 + dy) * 512 + 220 + dx] = 3000;
  }
  image()[120 * 512 + 220] = 9000;
  std::vector<std::pair<int, int>> moves;
  EXPECT_EQ(
      RefineStarPosition(corvex, 214, 116, 8, [&](int x, int y) { moves.emplace_back(x, y); }), 3);
  ASSERT_EQ(moves.size(), 3u);
  EXPECT_EQ(moves.back(), std::make_pair(220, 120));
}

TEST_F(StarCentroidTest, GuideWindowPlacement) {
  state.pickedStarX = 30;
  state.pickedStarY = 100;
  PlaceGuideWindow(corvex);
  EXPECT_EQ(state.focusLeft, 0);
  EXPECT_EQ(state.starX, 30);
  EXPECT_EQ(state.focusTop, 36 + 6);
  EXPECT_EQ(state.starY, 64);
  EXPECT_TRUE(state.guideWindowActive);

  state.pickedStarX = 300;
  state.pickedStarY = 250;
  PlaceGuideWindow(corvex);
  EXPECT_EQ(state.focusLeft, 232);
  EXPECT_EQ(state.starX, 64 + 1);
  EXPECT_EQ(state.focusTop, 162) << "290 - 128, not below 156: nothing added";
  EXPECT_EQ(state.starY, 250 - 162);
}

}  // namespace
}  // namespace corvex
