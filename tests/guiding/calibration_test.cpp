// Calibration: the results from hand-made star positions, the results messages, the guider
// dialog's value buttons, and both training procedures on the simulated observatory, whose
// true guide rate, backlash and guider rotation the results must find.
#include "guiding/calibration.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "camera/camera_commands.h"
#include "camera/camera_link.h"
#include "corvex.h"
#include "files/settings_file.h"
#include "guiding/star_pick.h"
#include "guiding/telescope_link.h"
#include "sim/observatory.h"
#include "sim/sensor_render.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

// ---- Results from measured positions ----

TEST(SelfGuideTrainingResults, RaTakesMeansAndDecMaxima) {
  // T = 1: Dec max(|106 - 112|, |107 - 100|) = 7, backlash max(|106 - 107|, |100 - 100|) = 1.
  SelfGuideTrainingResult r =
      SelfGuideTrainingResults({100, 106, 112, 107, 100}, {200, 206, 212, 206, 200}, 1);
  EXPECT_EQ(r.decRate, 7);
  EXPECT_EQ(r.decBacklash, 1);
  EXPECT_EQ(r.raRate, 6);
  EXPECT_EQ(r.raBacklash, 0);
  EXPECT_EQ(SelfGuideTrainingText(r),
            "slewx =     6, slewy =     7\nbacklashx =     0, backlashy =     1");

  // T = 2: RA (6 + 6) / 4 = 3 and backlash (0 + 1) / 4 = 0, in integers.
  r = SelfGuideTrainingResults({100, 104, 116, 108, 100}, {200, 205, 211, 206, 200}, 2);
  EXPECT_EQ(r.raRate, 3);
  EXPECT_EQ(r.raBacklash, 0);
  EXPECT_EQ(r.decRate, 6) << "max(12, 8) / 2";
  EXPECT_EQ(r.decBacklash, 2) << "max(|104 - 108|, 0) / 2";

  // A star that never moves: zero rates here (the procedure stores 1 afterwards).
  r = SelfGuideTrainingResults({90, 90, 90, 90, 90}, {80, 80, 80, 80, 80}, 1);
  EXPECT_EQ(r.raRate, 0);
  EXPECT_EQ(r.decRate, 0);
  EXPECT_EQ(SelfGuideTrainingText(r),
            "slewx =     0, slewy =     0\nbacklashx =     0, backlashy =     0");
}

// P0..P8 of a guider whose west move carries the star along +x at `rate` px/s, T = 2: the
// short and long west moves, the east move and back, a short north move that takes up the
// play, a full one, and a south move that loses `decPlay` pixels.
std::array<SamplePoint, 9> AlignedSamples(int rate, int decPlay) {
  const int t = 2;
  std::array<SamplePoint, 9> p{};
  p[0] = {100, 100};
  p[1] = {101, 100};
  p[2] = {p[1].x + rate * t, 100};
  p[3] = {p[2].x + rate * t, 100};
  p[4] = {p[3].x - rate * t, 100};
  p[5] = {p[4].x + rate * t, 100};
  p[6] = {p[5].x, 101};
  p[7] = {p[6].x, p[6].y + rate * t};
  p[8] = {p[7].x, p[7].y - rate * t + decPlay};
  return p;
}

TEST(GuiderTrainingResults, DecComesFromTheFullNorthMove) {
  GuiderTraining t;
  GuiderTrainingResults(AlignedSamples(6, 2), 2, t);
  EXPECT_EQ(t.raStepX, 6) << "(125 - 100) / 4";
  EXPECT_EQ(t.raStepY, 0);
  EXPECT_EQ(t.trainedRaRate, 6);
  // (P7 - P6) / T: 12 / 2. Half of P7 - P5 over T would say 3.
  EXPECT_EQ(t.decStepX, 0);
  EXPECT_EQ(t.decStepY, 6);
  EXPECT_EQ(t.trainedDecRate, 6);
  EXPECT_EQ(t.trainedRaBacklash, 0);
  EXPECT_EQ(t.decBacklashDy, 2) << "|(P7 - P8) - 6 x 2| = |10 - 12|";
  EXPECT_EQ(t.trainedDecBacklash, 2);
  EXPECT_EQ(GuiderTrainingText(t),
            "slew RA =     6,    0,     6\nslew Dec =     0,     6,     6\n"
            "backlash RA =     0,     0,     0\nbacklash Dec =     0,     2,     2\n"
            "Theta =     0");
  EXPECT_FALSE(t.guiderTrained) << "the flags are the procedure's";
  EXPECT_FALSE(t.useTrainedValues);
}

TEST(GuiderTrainingResults, TheAngleAndQuadrantOfTheRaMotion) {
  GuiderTraining t;
  // Exactly along a row: angle 0, quadrant by the sign of raStepX.
  std::array<SamplePoint, 9> p = AlignedSamples(6, 0);
  GuiderTrainingResults(p, 2, t);
  EXPECT_EQ(t.trainedRaAngle, 0);
  EXPECT_EQ(t.trainedQuadrant, 1);
  p[3] = {76, 100};
  GuiderTrainingResults(p, 2, t);
  EXPECT_EQ(t.raStepX, -6);
  EXPECT_EQ(t.raStepY, 0);
  EXPECT_EQ(t.trainedRaAngle, 0);
  EXPECT_EQ(t.trainedQuadrant, 2);
  p[3] = {76, 76};
  GuiderTrainingResults(p, 2, t);
  EXPECT_EQ(t.trainedQuadrant, 3);

  // The angle is the arctangent of the integer quotient |x| / |y|: 0 when |x| < |y|.
  p[3] = {112, 124};  // steps (3, 6)
  GuiderTrainingResults(p, 2, t);
  EXPECT_EQ(t.trainedRaAngle, 0);
  EXPECT_EQ(t.trainedQuadrant, 1);
  EXPECT_EQ(t.trainedRaRate, 6) << "sqrt(45) truncated";
  p[3] = {124, 112};  // steps (6, 3): atan(2), 63 degrees
  GuiderTrainingResults(p, 2, t);
  EXPECT_DOUBLE_EQ(t.trainedRaAngle, std::atan(2.0));
  EXPECT_EQ(GuiderTrainingText(t).substr(GuiderTrainingText(t).rfind('\n') + 1), "Theta =    63");

  // No motion at all: rates of 1, never 0, so guiding cannot divide by zero.
  p.fill({50, 50});
  GuiderTrainingResults(p, 2, t);
  EXPECT_EQ(t.trainedRaRate, 1);
  EXPECT_EQ(t.trainedDecRate, 1);
  EXPECT_EQ(t.trainedRaBacklash, 0);
}

// ---- The guider dialog's value buttons ----

TEST(UseTrainedValues, TogglesOnlyOnceTrained) {
  GuiderTraining t;
  EXPECT_EQ(ToggleUseTrainedValues(t), "Use Defaults");
  EXPECT_FALSE(t.useTrainedValues);
  EXPECT_EQ(GuiderValuesStatus(t), "Using Default Vals");
  t.useTrainedValues = true;  // not trained: still the defaults
  EXPECT_EQ(GuiderValuesStatus(t), "Using Default Vals");
  EXPECT_EQ(ToggleUseTrainedValues(t), "Use Defaults");
  EXPECT_FALSE(t.useTrainedValues);

  t.guiderTrained = t.useTrainedValues = true;
  EXPECT_EQ(GuiderValuesStatus(t), "Using Trained Vals");
  EXPECT_EQ(ToggleUseTrainedValues(t), "Use Trained");
  EXPECT_FALSE(t.useTrainedValues);
  EXPECT_EQ(GuiderValuesStatus(t), "Using Default Vals");
  EXPECT_EQ(ToggleUseTrainedValues(t), "Use Defaults");
  EXPECT_TRUE(t.useTrainedValues);
  EXPECT_EQ(GuiderValuesStatus(t), "Using Trained Vals");
}

TEST(GuiderDefaults, ChangeAndSaveLatestReachTheSettingsFile) {
  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  ChangeGuiderDefaults(corvex, 5, 4, 3, 2, 1.0);
  corvex.state.settings = ProgramSettings{};
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  const ProgramSettings& s = corvex.state.settings;
  EXPECT_EQ(s.guiderRaRate, 5);
  EXPECT_EQ(s.guiderDecRate, 4);
  EXPECT_EQ(s.guiderRaBacklash, 3);
  EXPECT_EQ(s.guiderDecBacklash, 2);
  EXPECT_EQ(s.defaultRaAngle, 1.0);

  GuiderTraining& t = corvex.guiding.training;
  t.trainedRaRate = 7;
  t.trainedDecRate = 8;
  t.trainedRaBacklash = 1;
  t.trainedDecBacklash = 3;
  t.trainedRaAngle = 2.3;
  SaveLatestTraining(corvex);
  EXPECT_EQ(s.guiderRaRate, 7);
  EXPECT_EQ(s.defaultRaAngle, 2.3) << "in memory as measured";
  corvex.state.settings = ProgramSettings{};
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(s.guiderRaRate, 7);
  EXPECT_EQ(s.guiderDecRate, 8);
  EXPECT_EQ(s.guiderRaBacklash, 1);
  EXPECT_EQ(s.guiderDecBacklash, 3);
  EXPECT_EQ(s.defaultRaAngle, 2.0) << "the file keeps the angle's whole part";
}

// ---- The procedures on the simulated observatory ----

class TrainingTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(sim::SimConfig{}); }

  void Start(const sim::SimConfig& config) {
    observatory = testing::AttachObservatory(rig, config);
    ASSERT_TRUE(PrepareTelescopeLink(corvex));  // writes the first settings file
    state.settings.telescopeMethod = 'l';
    state.exposureValue = 1;
    state.exposureUnit = 's';
    state.exposureMs = 1000;
  }

  // A full frame and the brightest star on it picked, as the command-line tool does.
  void PickBrightestStar() { ASSERT_TRUE(testing::PickBrightestStar(corvex)); }
  void SelectBrightestGuiderStar() { ASSERT_TRUE(testing::SelectBrightestGuiderStar(corvex)); }
  void MoveMount(char letter, int ms) {
    corvex.telescope.moveDirection = letter;
    corvex.telescope.moveDurationMs = static_cast<std::uint32_t>(ms);
    TimedMove(corvex);
  }

  // The timed moves sent, as "n 1000": letter and how long it was held.
  std::vector<std::string> Moves() const {
    std::vector<std::string> moves;
    const auto& sent = observatory->telescopeCommands();
    for (std::size_t i = 0; i + 1 < sent.size(); ++i) {
      const std::string& text = sent[i].text;
      if (text.size() == 5 && text.compare(0, 3, "#:M") == 0) {
        moves.push_back(std::string(1, text[3]) + " " +
                        std::to_string(sent[i + 1].atMs - sent[i].atMs));
      }
    }
    return moves;
  }
  std::vector<std::uint8_t> SettingsBytes() const {
    return testing::FileBytes(corvex.paths.SettingsFile());
  }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  ProgramState& state = corvex.state;
  std::shared_ptr<sim::SimulatedObservatory> observatory;
};

TEST_F(TrainingTest, SelfGuideTrainingIsRefusedWithoutMethodCameraOrStar) {
  const std::string refusal = "You must first take an image and pick a star";
  state.settings.telescopeMethod = 'n';
  PickBrightestStar();
  rig.host.messages.clear();
  EXPECT_EQ(TrainSelfGuiding(corvex), kTrainingRefused);
  state.settings.telescopeMethod = 'l';
  state.guideStarPicked = false;
  EXPECT_EQ(TrainSelfGuiding(corvex), kTrainingRefused);
  EXPECT_EQ(rig.host.MessageTexts(), (std::vector<std::string>{refusal, refusal}));
  EXPECT_TRUE(observatory->telescopeCommands().empty());

  testing::TestRig bare;  // no camera at all
  bare.corvex.state.settings.telescopeMethod = 'l';
  bare.corvex.state.guideStarPicked = true;
  EXPECT_EQ(TrainSelfGuiding(bare.corvex), kTrainingRefused);
  EXPECT_EQ(bare.host.MessageTexts(), std::vector<std::string>{refusal});

  EXPECT_EQ(TrainGuider(corvex), kTrainingRefused) << "no guider star selected";
  EXPECT_TRUE(observatory->telescopeCommands().empty());
  EXPECT_FALSE(corvex.guiding.training.trainingRunning);
}

TEST_F(TrainingTest, SelfGuideTrainingFindsTheSimulatedMount) {
  PickBrightestStar();
  state.settings.selfGuideRaRate = state.settings.selfGuideDecRate = 9;
  state.settings.selfGuideDecBacklash = 7;
  rig.host.messages.clear();
  ASSERT_EQ(TrainSelfGuiding(corvex), kTrainingDone);
  // Dec north, north, south, south, then RA east, east, west, west, T = 1 s each.
  EXPECT_EQ(Moves(), (std::vector<std::string>{"n 1000", "n 1000", "s 1000", "s 1000", "e 1000",
                                               "e 1000", "w 1000", "w 1000"}));
  // The simulator moves the star 6 px/s and loses 2 px of Dec on a reversal.
  EXPECT_EQ(rig.host.MessageTexts().back(),
            "slewx =     6, slewy =     6\nbacklashx =     0, backlashy =     2");
  const ProgramSettings& s = state.settings;
  EXPECT_EQ(s.selfGuideRaRate, 6);
  EXPECT_EQ(s.selfGuideDecRate, 6);
  EXPECT_EQ(s.selfGuideRaBacklash, 0);
  EXPECT_EQ(s.selfGuideDecBacklash, 2);
  EXPECT_FALSE(state.selfGuidingActive);
  EXPECT_FALSE(state.guideWindowActive);
  EXPECT_FALSE(corvex.guiding.calibrationActive);
  EXPECT_EQ(corvex.telescope.lastRaDirection, 'w');
  EXPECT_EQ(corvex.telescope.lastDecDirection, 's');

  corvex.state.settings = ProgramSettings{};
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(s.selfGuideRaRate, 6);
  EXPECT_EQ(s.selfGuideDecRate, 6);
  EXPECT_EQ(s.selfGuideDecBacklash, 2);
  EXPECT_EQ(s.telescopeMethod, 'l');
}

TEST_F(TrainingTest, HysteresisShortensTheTrainingMoves) {
  PickBrightestStar();
  state.settings.selfGuideDecHysteresis = 5;
  state.settings.selfGuideRaHysteresis = 15;  // longer than the move: nothing, never negative
  ASSERT_EQ(TrainSelfGuiding(corvex), kTrainingDone);
  const auto moves = Moves();
  ASSERT_EQ(moves.size(), 8u);
  EXPECT_EQ(moves[0], "n 500");
  EXPECT_EQ(moves[4], "e 0");
  // 3 px a move; the first north move and the first south move lose the 2 px of play.
  // (The RA "backlash" is then only the centroid's noise between frames: 0 or 1.)
  const std::string text = rig.host.MessageTexts().back();
  EXPECT_EQ(text.substr(0, 40), "slewx =     0, slewy =     3\nbacklashx =");
  EXPECT_EQ(text.substr(text.size() - 17), "backlashy =     2");
  EXPECT_LE(state.settings.selfGuideRaBacklash, 1);
  EXPECT_EQ(state.settings.selfGuideRaRate, 1) << "no RA motion: 0 stored as 1";
}

TEST_F(TrainingTest, AStarThatNeverMovesInDecShowsZeroAndStoresOne) {
  sim::SimConfig config;
  config.driftRaPxPerMin = config.driftDecPxPerMin = config.periodicPx = 0;
  config.backlashPx = 50;  // more play than the Dec moves take up
  Start(config);
  PickBrightestStar();
  ASSERT_EQ(TrainSelfGuiding(corvex), kTrainingDone);
  EXPECT_EQ(rig.host.MessageTexts().back().substr(0, 29), "slewx =     6, slewy =     0\n");
  EXPECT_EQ(state.settings.selfGuideDecRate, 1);
  EXPECT_EQ(state.settings.selfGuideRaRate, 6);
}

TEST_F(TrainingTest, ALostStarEndsSelfGuideTrainingWithNothingChanged) {
  // A star so near the frame's edge that the search square leaves the guide window.
  state.guideStarPicked = true;
  state.pickedStarX = 5;
  state.pickedStarY = 100;
  state.settings.selfGuideRaRate = 9;
  state.settings.selfGuideDecBacklash = 7;
  const auto fileBefore = SettingsBytes();
  EXPECT_EQ(TrainSelfGuiding(corvex), kTrainingStarLost);
  EXPECT_EQ(state.settings.selfGuideRaRate, 9);
  EXPECT_EQ(state.settings.selfGuideDecRate, 6);
  EXPECT_EQ(state.settings.selfGuideDecBacklash, 7);
  EXPECT_EQ(SettingsBytes(), fileBefore);
  EXPECT_EQ(Moves(), std::vector<std::string>{"n 1000"}) << "the first measured move only";
  EXPECT_FALSE(state.selfGuidingActive);
  EXPECT_FALSE(state.guideWindowActive);
  EXPECT_FALSE(corvex.guiding.calibrationActive);
  EXPECT_EQ(corvex.telescope.lastDecDirection, 'n') << "not claimed as south";
  EXPECT_EQ(rig.host.MessageTexts().back(), "Find centre failed - outside image area");
}

TEST_F(TrainingTest, TrainingThroughTheControlBoxRelays) {
  state.settings.telescopeMethod = 'b';
  PickBrightestStar();
  ASSERT_EQ(TrainSelfGuiding(corvex), kTrainingDone);
  EXPECT_FALSE(corvex.telescope.relayWakeUpPending);
  EXPECT_TRUE(observatory->telescopeCommands().empty()) << "relays, no LX200 commands";
  EXPECT_EQ(observatory->relayMask(), 0);
  // Whole-pixel positions: a rate may come out one short.
  EXPECT_NEAR(state.settings.selfGuideRaRate, 6, 1);
  EXPECT_NEAR(state.settings.selfGuideDecRate, 6, 1);
}

TEST_F(TrainingTest, GuiderTrainingFindsTheRotatedGuider) {
  SelectBrightestGuiderStar();
  rig.host.messages.clear();
  ASSERT_EQ(TrainGuider(corvex), kTrainingDone);
  const GuiderTraining& t = corvex.guiding.training;
  // T = 2: the short moves are 200 and 400 ms.
  EXPECT_EQ(Moves(), (std::vector<std::string>{"w 200", "w 2000", "w 2000", "e 2000", "w 2000",
                                               "n 400", "n 2000", "s 2000"}));

  // Where a second of each move carries a star on the guider, by the simulator's geometry.
  const sim::SimConfig& config = observatory->config();
  const sim::SensorPoint origin = sim::StarOnSensor(sim::SimStar{}, {0, 0}, true, config);
  const sim::SensorPoint west =
      sim::StarOnSensor(sim::SimStar{}, {-config.guideRatePxPerSec, 0}, true, config);
  const sim::SensorPoint north =
      sim::StarOnSensor(sim::SimStar{}, {0, config.guideRatePxPerSec}, true, config);
  EXPECT_NEAR(t.raStepX, west.x - origin.x, 1.0);
  EXPECT_NEAR(t.raStepY, west.y - origin.y, 1.0);
  EXPECT_NEAR(t.decStepX, north.x - origin.x, 1.0);
  EXPECT_NEAR(t.decStepY, north.y - origin.y, 1.0);
  EXPECT_NEAR(t.trainedRaRate, 6, 1);
  EXPECT_NEAR(t.trainedDecRate, 6, 1);
  EXPECT_LE(t.trainedRaBacklash, 1);
  EXPECT_NEAR(t.trainedDecBacklash, 2, 1);
  EXPECT_EQ(t.trainedQuadrant, 3) << "west carries the star to -x and -y";

  EXPECT_TRUE(t.guiderTrained);
  EXPECT_TRUE(t.useTrainedValues);
  EXPECT_FALSE(t.trainingRunning);
  EXPECT_EQ(t.trainingStep, 8);
  EXPECT_EQ(rig.host.MessageTexts().back(), GuiderTrainingText(t));
  EXPECT_EQ(corvex.telescope.lastRaDirection, 'w');
  EXPECT_EQ(corvex.telescope.lastDecDirection, 's');

  // The dialog's caption through the steps, the pause before the Dec moves, and back.
  const std::string prefix = "Auto Guider Camera Control - Training / ";
  std::vector<std::string> captions;
  for (const char* step : {"slewing West", "slewing West again", "slewing West third time",
                           "slewing East", "slewing West to stabilise", "pausing for 1/2 second",
                           "slewing North", "slewing North again", "slewing South"}) {
    captions.push_back(prefix + step);
    if (std::string(step) != "pausing for 1/2 second") captions.push_back(prefix + step);
  }
  captions.push_back("Auto Guider Camera Control");
  EXPECT_EQ(rig.host.guiderStatuses, captions);
}

TEST_F(TrainingTest, ALostGuiderStarEndsTrainingWithNothingChanged) {
  GuiderTraining& t = corvex.guiding.training;
  t.trainedRaRate = 9;
  t.raStepX = 4;
  corvex.guiding.guiderStarSelected = true;
  corvex.guiding.selectedGuiderStarX = 4;  // the search square leaves the frame
  corvex.guiding.selectedGuiderStarY = 100;
  EXPECT_EQ(TrainGuider(corvex), kTrainingStarLost);
  EXPECT_EQ(t.trainedRaRate, 9);
  EXPECT_EQ(t.raStepX, 4);
  EXPECT_FALSE(t.guiderTrained);
  EXPECT_FALSE(t.useTrainedValues);
  EXPECT_FALSE(t.trainingRunning);
  EXPECT_EQ(rig.host.guiderStatuses.back(), "Auto Guider Camera Control");
  EXPECT_EQ(rig.host.MessageTexts().back(), "Find centre failed - outside image area");
  EXPECT_EQ(corvex.telescope.lastRaDirection, 'e');
}

}  // namespace
}  // namespace corvex
