// One guiding correction: the error in thousandths of a pixel, the per-axis decision, the
// backlash on a reversal, the rate and hysteresis, the limits, and the trained guider path
// that resolves the error along the measured axes. The moves go out to the simulated mount so
// that what reaches the telescope (letters and timings) is checked, not only the plan.
#include "guiding/guide_correction.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "camera/camera_link.h"
#include "corvex.h"
#include "guiding/telescope_link.h"
#include "sim/observatory.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

using MoveList = std::vector<std::string>;

// ---- Pure steps ----

TEST(GuideError, SaturatesInsteadOfWrapping) {
  EXPECT_EQ(GuideError(10, 5, 10, 5), 0);
  EXPECT_EQ(GuideError(10, 0, 9, 9), 100);
  EXPECT_EQ(GuideError(9, 9, 10, 0), -100);
  EXPECT_EQ(GuideError(32, 7, 0, 0), 32700);
  // 33 pixels or more: the end of the range, never a wrapped value of the other sign.
  for (int pixels : {33, 40, 66, 100, 1000}) {
    EXPECT_EQ(GuideError(pixels, 0, 0, 0), 32767) << pixels;
    EXPECT_EQ(GuideError(0, 0, pixels, 0), -32767) << pixels;
  }
  EXPECT_EQ(Saturate16(LLONG_MAX), 32767);
  EXPECT_EQ(Saturate16(LLONG_MIN), -32767);
  EXPECT_EQ(Saturate16(65536 + 5), 32767) << "not 5";
}

TEST(PlanAxisMove, ErrorsUpToTheThresholdAreLeftAlone) {
  // The thresholds the paths use: self-guide RA 50 and Dec 30, 1000 when ignoring small
  // drift; the guider's default path 30, or 300.
  for (int threshold : {50, 30, 1000, 300}) {
    const AxisRule rule{threshold, 0, 1, 0, 8000};
    for (int sign : {1, -1}) {
      char last = 'x';
      AxisMove move = PlanAxisMove(sign * threshold, 'e', 'w', last, rule);
      EXPECT_FALSE(move.considered) << sign * threshold;
      EXPECT_EQ(last, 'x') << "an ignored error leaves the last direction alone";
      move = PlanAxisMove(sign * (threshold + 1), 'e', 'w', last, rule);
      ASSERT_TRUE(move.considered) << sign * (threshold + 1);
      EXPECT_EQ(move.letter, sign > 0 ? 'e' : 'w');
      EXPECT_EQ(move.ms, threshold + 1);
    }
  }
}

TEST(PlanAxisMove, NoMoveOutlastsItsLimitWhateverTheBacklash) {
  // Near the end of the 16-bit range the backlash must not wrap the magnitude negative.
  char last = 'e';
  AxisMove move = PlanAxisMove(-32767, 'e', 'w', last, AxisRule{0, 30000, 1, 0, 32767});
  EXPECT_EQ(move.letter, 'w');
  EXPECT_EQ(move.ms, 32767);
  last = 'e';
  move = PlanAxisMove(-32768, 'e', 'w', last, AxisRule{0, 30000, 1, 0, 32767});
  EXPECT_EQ(move.ms, 32767);

  for (int limit : {kSelfGuideErrorLimit, kGuiderErrorLimit}) {
    for (int backlash : {0, 1, 2, 5, 30}) {
      for (int rate : {1, 2, 6, 10}) {
        for (int hysteresis : {0, 1, 10}) {
          const AxisRule rule{0, backlash * 1000, rate, hysteresis, limit};
          const long long longest = std::min<long long>(limit + backlash * 1000LL, 32767) / rate;
          for (int error = -32768; error <= 32767; error += 97) {
            for (char before : {'e', 'w'}) {
              char last = before;
              const AxisMove m = PlanAxisMove(error, 'e', 'w', last, rule);
              if (error == 0) continue;
              ASSERT_TRUE(m.considered);
              ASSERT_EQ(m.letter, error > 0 ? 'e' : 'w') << error;
              ASSERT_LE(m.ms, longest) << "error " << error << " backlash " << backlash << " rate "
                                       << rate << " limit " << limit;
              ASSERT_GE(m.ms, -hysteresis * 100);
            }
          }
        }
      }
    }
  }
}

TEST(ResolveAlongTrainedAxes, AlignedAxesKeepTheAxesApart) {
  GuiderTraining t;
  t.raMotionX = 6;  // a west move carries the star 6 px/s towards +x, a north move towards +y
  t.decMotionY = 6;
  ResolvedError r = ResolveAlongTrainedAxes(0, 600, t);
  EXPECT_EQ(r.raMs, 0);
  EXPECT_EQ(r.decMs, 100);
  r = ResolveAlongTrainedAxes(-700, 0, t);
  EXPECT_EQ(r.raMs, -117) << "an east move, rounded";
  EXPECT_EQ(r.decMs, 0);
  // A west move that carries the star towards -x: the same error needs the other way.
  t.raMotionX = -6;
  r = ResolveAlongTrainedAxes(600, 0, t);
  EXPECT_EQ(r.raMs, -100);
  EXPECT_EQ(r.decMs, 0);
}

TEST(ResolveAlongTrainedAxes, RotatedAndMirroredGuidersSplitTheErrorByTheTraining) {
  // The axes turned by 30 degrees, 6 px/s each: west (5.196, 3), north (-3, 5.196).
  GuiderTraining t;
  t.raMotionX = 5.196;
  t.raMotionY = 3;
  t.decMotionX = -3;
  t.decMotionY = 5.196;
  // One pixel along the RA motion is a sixth of a second of it, and no Dec.
  ResolvedError r = ResolveAlongTrainedAxes(866, 500, t);
  EXPECT_NEAR(r.raMs, 167, 1);
  EXPECT_NEAR(r.decMs, 0, 1);
  // ... and along the Dec motion, backwards: a south move.
  r = ResolveAlongTrainedAxes(500, -866, t);
  EXPECT_NEAR(r.raMs, 0, 1);
  EXPECT_NEAR(r.decMs, -167, 1);
  // Both at once.
  r = ResolveAlongTrainedAxes(866 + 2 * 500, 500 - 2 * 866, t);
  EXPECT_NEAR(r.raMs, 167, 1);
  EXPECT_NEAR(r.decMs, -333, 1);

  // A mirrored guider: north turned the other way from RA. The same error needs north now.
  t.decMotionX = 3;
  t.decMotionY = -5.196;
  r = ResolveAlongTrainedAxes(500, -866, t);
  EXPECT_NEAR(r.raMs, 0, 1);
  EXPECT_NEAR(r.decMs, 167, 1);
}

TEST(ResolveAlongTrainedAxes, ParallelOrMissingAxesFallBackToProjections) {
  GuiderTraining t;  // never trained: all zero
  ResolvedError r = ResolveAlongTrainedAxes(3000, -2000, t);
  EXPECT_EQ(r.raMs, 0);
  EXPECT_EQ(r.decMs, 0);

  t.raMotionX = 6;  // Dec unmeasured
  r = ResolveAlongTrainedAxes(600, 900, t);
  EXPECT_EQ(r.raMs, 100);
  EXPECT_EQ(r.decMs, 0);

  t.decMotionX = 12;  // Dec parallel to RA: each axis takes the projection on its own motion
  r = ResolveAlongTrainedAxes(600, 0, t);
  EXPECT_EQ(r.raMs, 100);
  EXPECT_EQ(r.decMs, 50);

  // Axes that can be told apart but whose solution overflows: the ends of the range.
  t = GuiderTraining{};
  t.raMotionX = 0.001;
  t.decMotionX = 0.001;
  t.decMotionY = 0.001;
  r = ResolveAlongTrainedAxes(32767, -32767, t);
  EXPECT_EQ(r.raMs, 32767);
  EXPECT_EQ(r.decMs, -32767);
}

// ---- Corrections on drawn frames, moves to the simulated mount ----

class GuideCorrectionTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(testing::StillMount()); }
  // A fresh simulated observatory behind the rig's camera.
  void Start(const sim::SimConfig& config) {
    observatory = testing::AttachObservatory(rig, config);
    seen = 0;
  }

  // One bright pixel at (64, 64) of the guide window. The search measures it at 63.9 (its
  // accumulators start at 1), or at 64 in whole pixels.
  void DrawMainStar() {
    state.selfGuidingActive = true;
    state.guideWindowActive = true;
    corvex.store.currentImage.Fill(0);
    corvex.store.currentImage[64 * 128 + 64] = 9000;
  }
  // One bright pixel at (250, 145) of the guider frame, measured at 249.9, 144.9.
  void DrawGuiderStar() {
    corvex.store.guiderImage.Fill(0);
    corvex.store.guiderImage[145 * 500 + 250] = 9000;
  }
  // The reference that gives errors (ex, ey), thousandths in steps of 100, for a star
  // measured at (mx, my) tenths of a pixel.
  void ReferenceFor(int ex, int ey, int mx, int my) {
    const int x = mx + ex / 100;
    const int y = my + ey / 100;
    corvex.guiding.referenceX = x / 10;
    corvex.guiding.referenceXTenths = x % 10;
    corvex.guiding.referenceY = y / 10;
    corvex.guiding.referenceYTenths = y % 10;
  }
  GuideCorrection SelfGuide(int ex, int ey) {
    DrawMainStar();
    const int at = state.settings.ignoreSmallDrift ? 640 : 639;
    ReferenceFor(ex, ey, at, at);
    return SelfGuideCorrection(corvex);
  }
  GuideCorrection Guider(int ex, int ey) {
    DrawGuiderStar();
    ReferenceFor(ex, ey, 2499, 1449);
    return GuiderCorrection(corvex);
  }

  // The moves the telescope was sent since the last call: "e 833" for "#:Me#" held 833 ms.
  std::vector<std::string> Moves() {
    std::vector<std::string> moves;
    const auto& sent = observatory->telescopeCommands();
    for (; seen < sent.size(); ++seen) {
      const std::string& text = sent[seen].text;
      if (text.size() == 5 && text.compare(0, 3, "#:M") == 0 && seen + 1 < sent.size()) {
        moves.push_back(std::string(1, text[3]) + " " +
                        std::to_string(sent[seen + 1].atMs - sent[seen].atMs));
      }
    }
    return moves;
  }
  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  ProgramState& state = corvex.state;
  std::shared_ptr<sim::SimulatedObservatory> observatory;
  std::size_t seen = 0;
};

TEST_F(GuideCorrectionTest, SelfGuideThresholds) {
  GuideCorrection c = SelfGuide(0, 0);
  EXPECT_EQ(c.result, kGuideDone);
  EXPECT_EQ(c.errorX, 0);
  EXPECT_EQ(c.errorY, 0);
  EXPECT_TRUE(Moves().empty());

  // A tenth of a pixel passes both thresholds (RA 50, Dec 30): 100 / 6 px/s = 16 ms.
  c = SelfGuide(100, 100);
  EXPECT_EQ(Moves(), (MoveList{"e 16", "n 16"}));
  EXPECT_EQ(c.raLetter, 'e');
  EXPECT_EQ(c.raMs, 16);
  EXPECT_EQ(c.decLetter, 'n');
  EXPECT_EQ(rig.host.beeps.size(), 4u) << "a beep before and after each move";
  c = SelfGuide(-100, -100);
  EXPECT_EQ(Moves(), (MoveList{"w 16", "s 16"}));
  EXPECT_EQ(corvex.guiding.lastCorrection.decLetter, 's');

  // Ignoring drift under a pixel: whole pixels, 1000 left alone on both axes, 2000 moved.
  state.settings.ignoreSmallDrift = true;
  c = SelfGuide(1000, -1000);
  EXPECT_EQ(c.errorX, 1000);
  EXPECT_EQ(c.errorY, -1000);
  EXPECT_TRUE(Moves().empty());
  SelfGuide(2000, -2000);
  EXPECT_EQ(Moves(), (MoveList{"e 333", "s 333"}));
}

TEST_F(GuideCorrectionTest, SelfGuideErrorsOverFivePixelsMoveNothing) {
  SelfGuide(6000, 1000);
  SelfGuide(1000, -6000);
  SelfGuide(-6000, -6000);
  EXPECT_TRUE(Moves().empty());
  SelfGuide(5000, 0);
  EXPECT_EQ(Moves(), MoveList{"e 833"}) << "five pixels is still corrected";
}

TEST_F(GuideCorrectionTest, BacklashIsAddedOnAReversalOnly) {
  state.settings.selfGuideRaBacklash = 2;
  state.settings.selfGuideDecBacklash = 1;
  ASSERT_EQ(corvex.telescope.lastRaDirection, 'e');
  ASSERT_EQ(corvex.telescope.lastDecDirection, 'n');
  // East to west: (3000 + 2000) / 6.
  GuideCorrection c = SelfGuide(-3000, 0);
  EXPECT_EQ(c.raMs, 833);
  EXPECT_EQ(corvex.telescope.lastRaDirection, 'w');
  SelfGuide(-3000, 0);
  SelfGuide(3000, -600);
  EXPECT_EQ(Moves(), (MoveList{"w 833", "w 500", "e 833", "s 266"}));
}

TEST_F(GuideCorrectionTest, HysteresisComesOffEveryMove) {
  SelfGuide(600, 0);
  EXPECT_EQ(Moves(), MoveList{"e 100"});
  rig.host.beeps.clear();

  // 100 ms less leaves nothing to send, but the direction still counts as the last one: a
  // later correction the same way is no reversal and gets no backlash.
  state.settings.selfGuideRaHysteresis = 1;
  corvex.telescope.lastRaDirection = 'w';
  const GuideCorrection c = SelfGuide(600, 0);
  EXPECT_EQ(c.raLetter, 0);
  EXPECT_EQ(c.raMs, 0);
  EXPECT_EQ(corvex.telescope.lastRaDirection, 'e');
  state.settings.selfGuideRaBacklash = 1;
  SelfGuide(600, 0);
  EXPECT_TRUE(Moves().empty());
  EXPECT_TRUE(rig.host.beeps.empty());
}

TEST_F(GuideCorrectionTest, SwappedDirectionsReverseTheCorrections) {
  SwapEastWest(corvex);
  SwapNorthSouth(corvex);
  SelfGuide(100, 100);
  EXPECT_EQ(Moves(), (MoveList{"w 16", "s 16"}));
}

TEST_F(GuideCorrectionTest, ALostStarSwitchesSelfGuidingOff) {
  state.selfGuideNext = true;
  DrawMainStar();
  ReferenceFor(0, 0, 639, 639);
  corvex.store.currentImage.Fill(0);
  const GuideCorrection c = SelfGuideCorrection(corvex);
  EXPECT_EQ(c.result, kGuideStarLost);
  EXPECT_FALSE(state.selfGuidingActive);
  EXPECT_FALSE(state.selfGuideNext);
  EXPECT_FALSE(state.guideWindowActive);
  EXPECT_TRUE(Moves().empty());
  EXPECT_TRUE(rig.host.messages.empty()) << "silent inside a self-guided exposure";

  DrawMainStar();
  corvex.store.currentImage.Fill(0);
  EXPECT_EQ(SelfGuideCorrection(corvex).result, kGuideStarLost);
  EXPECT_EQ(rig.host.MessageTexts(), std::vector<std::string>{"Sorry, Nothing found to centre on"});
}

TEST_F(GuideCorrectionTest, GuiderDefaultPathThresholdsAndLimit) {
  ASSERT_TRUE(state.settings.ignoreRaAngle);
  GuideCorrection c = Guider(100, -100);
  EXPECT_EQ(c.errorX, 100);
  EXPECT_EQ(c.errorY, -100);
  EXPECT_EQ(Moves(), (MoveList{"e 16", "s 16"}));
  EXPECT_EQ(corvex.guiding.guiderSlewTimeX, 16);
  EXPECT_EQ(corvex.guiding.guiderSlewTimeY, 16);

  // Ignoring small drift: 300 left alone, 400 moved; the guider keeps its tenths.
  state.settings.ignoreSmallDrift = true;
  Guider(300, -300);
  EXPECT_TRUE(Moves().empty());
  Guider(-400, 400);
  EXPECT_EQ(Moves(), (MoveList{"w 66", "n 66"}));

  // Over 8 pixels on either axis moves nothing; 8 pixels is corrected. (A wide search
  // square, so that the star is inside it.)
  state.maskRadius = 15;
  Guider(9000, 1000);
  Guider(1000, -9000);
  EXPECT_TRUE(Moves().empty());
  Guider(8000, 0);
  EXPECT_EQ(Moves(), MoveList{"e 1333"});
  EXPECT_EQ(corvex.guiding.guiderSlewTimeX, 1333);
  EXPECT_EQ(corvex.guiding.guiderSlewTimeY, 66) << "an axis left alone keeps its last time";
}

TEST_F(GuideCorrectionTest, TheTrainedPathSteersByWhatTrainingSaw) {
  GuiderTraining& t = corvex.guiding.training;
  t.guiderTrained = t.useTrainedValues = true;
  state.settings.ignoreRaAngle = false;
  t.trainedRaRate = t.trainedDecRate = 6;
  t.raMotionX = 6;  // a west move carries the star towards +x
  t.decMotionY = 6;
  // The star left of the reference: west, though the default path would go east.
  Guider(600, 0);
  EXPECT_EQ(Moves(), MoveList{"w 100"});
  t.raMotionX = -6;
  Guider(600, 0);
  EXPECT_EQ(Moves(), MoveList{"e 100"});

  // A guider turned by about 30 degrees: an error along the Dec motion moves Dec alone, for
  // the time the measured motion needs: 583 thousandths at 5.83 px/s take 100 ms, though the
  // whole-pixel rate says 5 px/s.
  t.raMotionX = -5;
  t.raMotionY = -3;
  t.decMotionX = -3;
  t.decMotionY = 5;
  t.trainedRaRate = t.trainedDecRate = 5;
  const GuideCorrection c = Guider(-300, 500);
  EXPECT_EQ(c.raLetter, 0);
  EXPECT_EQ(Moves(), MoveList{"n 100"});

  // "Ignore RA Angle" takes the default path even with trained values.
  state.settings.ignoreRaAngle = true;
  Guider(-300, 500);
  EXPECT_EQ(Moves(), (MoveList{"w 50", "n 83"}));
}

TEST_F(GuideCorrectionTest, TheTrainedPathHoldsItsMovesToTheLimit) {
  GuiderTraining& t = corvex.guiding.training;
  t.guiderTrained = t.useTrainedValues = true;
  state.settings.ignoreRaAngle = false;
  t.raMotionX = 6;
  t.decMotionY = 6;
  t.raBacklashMs = 333;
  // 12.1 pixels off in a wide search square: no longer than 8 pixels' worth, plus the
  // reversal's backlash (east to west).
  state.maskRadius = 15;
  const GuideCorrection c = Guider(12100, 0);
  EXPECT_EQ(c.errorX, 12100);
  EXPECT_EQ(Moves(), MoveList{"w 1666"});
  Guider(12100, 0);
  EXPECT_EQ(Moves(), MoveList{"w 1333"});
}

TEST_F(GuideCorrectionTest, AGuiderFrameWithoutTheGuideStarMovesNothing) {
  // The square leaves the frame.
  corvex.store.guiderImage.Fill(0);
  corvex.guiding.referenceX = 495;
  corvex.guiding.referenceY = 100;
  GuideCorrection c = GuiderCorrection(corvex);
  EXPECT_EQ(c.result, kGuideStarLost);
  EXPECT_TRUE(Moves().empty());

  // A frame that never arrived reads all 0: nothing to centre on, not an error of (r - 1,
  // r - 1) pixels to the square's corner.
  corvex.guiding.referenceX = 250;
  corvex.guiding.referenceY = 145;
  c = GuiderCorrection(corvex);
  EXPECT_EQ(c.result, kGuideStarLost);
  EXPECT_EQ(c.errorX, 0);
  EXPECT_EQ(c.errorY, 0);

  // Something far fainter than the guide star (a hot pixel, another star, noise).
  corvex.guiding.guideStarSignal = 9000;
  corvex.store.guiderImage[146 * 500 + 252] = 2000;
  EXPECT_EQ(GuiderCorrection(corvex).result, kGuideStarLost);
  EXPECT_TRUE(Moves().empty());
  EXPECT_TRUE(rig.host.messages.empty()) << "the loops report a lost star, not each search";
  EXPECT_FALSE(corvex.guiding.guiderStarLost) << "one lost frame does not end guiding";

  // The guide star itself, dimmed by thin cloud, is still guided on.
  corvex.store.guiderImage[146 * 500 + 252] = 3000;
  EXPECT_EQ(GuiderCorrection(corvex).result, kGuideDone);
}

TEST_F(GuideCorrectionTest, AMoveThatFailsIsReportedInTheCorrection) {
  // The RA move's rate command fails: that move is not made, the Dec move still is.
  const int discovery = observatory->requests();
  sim::SimConfig config = testing::StillMount();
  config.failWriteAt = discovery + 1;
  Start(config);
  GuideCorrection c = Guider(100, -100);
  EXPECT_EQ(c.result, kGuideMoveFailed);
  EXPECT_EQ(c.raLetter, 0) << "no RA move was made";
  EXPECT_EQ(c.decLetter, 's');
  EXPECT_EQ(Moves(), MoveList{"s 16"});

  // The RA move's stop never goes out: the mount may still be moving, so no Dec move
  // follows it and the correction says guiding must end.
  config.failWriteAt = 0;
  config.disconnectAfter = discovery + 2;
  Start(config);
  c = Guider(100, -100);
  EXPECT_EQ(c.result, kGuideMountMoving);
  EXPECT_EQ(c.decLetter, 0);
  EXPECT_TRUE(observatory->mount().Moving('e'));
  EXPECT_EQ(rig.host.MessageTexts().back(), kStillMovingMessage);
}

}  // namespace
}  // namespace corvex
