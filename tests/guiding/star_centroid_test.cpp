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

  // Nor has the guider's (a frame that never arrived reads all 0): measuring it would give
  // the square's corner, one pixel in, as the star.
  rig.host.messages.clear();
  state.guiderStarX = 42;
  corvex.store.guiderImage.Fill(0);
  EXPECT_EQ(FindGuiderStarCentre(corvex, 100, 100, 8), kStarNotFound);
  EXPECT_EQ(state.guiderStarX, 42);
  EXPECT_EQ(FindGuiderStarCentre(corvex, 495, 100, 8), kStarNotFound);
  ASSERT_EQ(rig.host.messages.size(), 2u);
  EXPECT_EQ(rig.host.messages[0].text, "Sorry, Nothing found to centre on");
  EXPECT_EQ(rig.host.messages[1].text, "Find centre failed - outside image area");
  EXPECT_EQ(rig.host.messages[1].caption, "VIREO  - Find Centre");
  EXPECT_EQ(FindGuiderStarCentre(corvex, 100, 100, 8, true), kStarNotFound);
  EXPECT_EQ(FindGuiderStarCentre(corvex, 495, 100, 8, true), kStarNotFound);
  EXPECT_EQ(rig.host.messages.size(), 2u) << "quiet for the guiding loops";
}

TEST_F(StarCentroidTest, AGuiderStarReportsHowBrightItIs) {
  corvex.store.guiderImage.Fill(256);
  corvex.store.guiderImage[100 * 500 + 100] = 256 * 40;
  ASSERT_EQ(FindGuiderStarCentre(corvex, 102, 99, 8), kStarFound);
  EXPECT_EQ(corvex.guiding.guiderStarSignal, 256 * 40 - 266) << "background bin 16 x 16.64";
  // Two backgrounds equally common in the square, the brighter met first: the darker one is
  // the background.
  corvex.store.guiderImage.Fill(160);
  for (int row = 91; row <= 98; ++row) {
    for (int col = 94; col <= 110; ++col) corvex.store.guiderImage[row * 500 + col] = 320;
  }
  for (int col = 94; col <= 101; ++col) corvex.store.guiderImage[99 * 500 + col] = 320;
  corvex.store.guiderImage[99 * 500 + 102] = 256 * 40;
  ASSERT_EQ(FindGuiderStarCentre(corvex, 102, 99, 8), kStarFound);
  EXPECT_EQ(corvex.guiding.guiderStarSignal, 256 * 40 - 166) << "background bin 10 x 16.64";
  // A star counts as the guide star down to a quarter of the guide star's brightness.
  EXPECT_TRUE(LooksLikeGuideStar(2500, 10000));
  EXPECT_FALSE(LooksLikeGuideStar(2499, 10000));
  EXPECT_TRUE(LooksLikeGuideStar(1, 0)) << "a guide star of unknown brightness";
  EXPECT_FALSE(LooksLikeGuideStar(0, 0));
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
