// Calibration: the results from hand-made star positions, the results messages, the guider
// dialog's value buttons, and both training procedures on the simulated observatory, whose
// true guide rate, backlash and guider rotation the results must find.
#include "runs/guide_training.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "camera/camera_link.h"
#include "commands/settings_commands.h"
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
  // A west move carries the star to +x, so east lies at 180 degrees.
  EXPECT_EQ(GuiderTrainingText(t),
            "slew RA =     6,    0,     6\nslew Dec =     0,     6,     6\n"
            "backlash RA =     0,     0,     0\nbacklash Dec =     0,     2,     2\n"
            "Theta =   180");
  // What guiding steers by: the full-length moves alone, and backlash as time.
  EXPECT_DOUBLE_EQ(t.raMotionX, 6);
  EXPECT_DOUBLE_EQ(t.raMotionY, 0);
  EXPECT_DOUBLE_EQ(t.decMotionY, 6);
  EXPECT_EQ(t.raBacklashMs, 0);
  EXPECT_EQ(t.decBacklashMs, 333) << "2 px at 6 px/s";
  EXPECT_FALSE(t.guiderTrained) << "the flags are the procedure's";
  EXPECT_FALSE(t.useTrainedValues);
  EXPECT_EQ(GuiderTrainingFault(t), "");
}

// P0..P8 of a guider that sees a west move carry the star `rate` px/s at `degrees` + 180 from
// its rows (east at `degrees`), and north at right angles (the other way when mirrored).
std::array<SamplePoint, 9> TurnedSamples(double degrees, bool mirrored, double rate = 6) {
  const double a = degrees * std::numbers::pi / 180;
  const double wx = -rate * std::cos(a), wy = -rate * std::sin(a);
  const double side = mirrored ? -1 : 1;
  const double nx = -side * rate * std::sin(a), ny = side * rate * std::cos(a);
  // Seconds of west and of north motion at each sample, T = 2 and no backlash.
  const double seconds[9][2] = {{0, 0},   {0.2, 0},   {2.2, 0},   {4.2, 0},  {2.2, 0},
                                {4.2, 0}, {4.2, 0.4}, {4.2, 2.4}, {4.2, 0.4}};
  std::array<SamplePoint, 9> p{};
  for (int i = 0; i < 9; ++i) {
    const double w = seconds[i][0], n = seconds[i][1];
    p[i] = {static_cast<int>(std::lround(200 + w * wx + n * nx)),
            static_cast<int>(std::lround(150 + w * wy + n * ny))};
  }
  return p;
}

TEST(GuiderTrainingResults, TheAngleIsTheTrueDirectionOfTheRaAxis) {
  // Every turn of the guider reads as itself (to the whole-pixel samples' degree or so),
  // mirrored or not: not only 0 or 45 as an integer quotient inside the arctangent gave.
  for (bool mirrored : {false, true}) {
    for (double degrees :
         {0.0, 5.0, 10.0, 19.0, 30.0, 45.0, 63.0, 90.0, 135.0, 200.0, 270.0, 358.0}) {
      GuiderTraining t;
      GuiderTrainingResults(TurnedSamples(degrees, mirrored), 2, t);
      const int shown = RaAngleDegrees(t.trainedRaAngle);
      const int off = std::abs(shown - static_cast<int>(degrees));
      EXPECT_LE(std::min(off, 360 - off), 2) << degrees << (mirrored ? " mirrored" : "");
      EXPECT_GE(t.trainedRaAngle, 0);
      EXPECT_LT(t.trainedRaAngle, 2 * std::numbers::pi);
      EXPECT_EQ(GuiderTrainingFault(t), "") << degrees;
    }
  }
  // The quadrant still follows the signs of the whole-pixel RA step.
  GuiderTraining t;
  GuiderTrainingResults(TurnedSamples(0, false), 2, t);
  EXPECT_EQ(t.trainedQuadrant, 2) << "west: raStepX -6, raStepY 0";
  GuiderTrainingResults(TurnedSamples(30, false), 2, t);
  EXPECT_EQ(t.trainedQuadrant, 3);
  GuiderTrainingResults(TurnedSamples(200, false), 2, t);
  EXPECT_EQ(t.trainedQuadrant, 1);
}

TEST(GuiderTrainingResults, MotionsThatCannotSteerAreFaults) {
  GuiderTraining t;
  std::array<SamplePoint, 9> p;
  p.fill({50, 50});  // the telescope never moved the star
  GuiderTrainingResults(p, 2, t);
  EXPECT_EQ(t.trainedRaRate, 1) << "shown as 1, never 0";
  EXPECT_EQ(t.trainedDecRate, 1);
  EXPECT_EQ(GuiderTrainingFault(t), "the telescope did not move the star in RA");

  p = AlignedSamples(6, 12);  // all of the north move lost in the play: P7 = P6 + 12, P8 = P7
  p[7] = p[6];
  p[8] = p[6];
  GuiderTrainingResults(p, 2, t);
  EXPECT_EQ(GuiderTrainingFault(t), "the telescope did not move the star in Dec");

  p = AlignedSamples(6, 0);  // north went the way west did
  p[7] = {p[6].x + 12, p[6].y + 1};
  GuiderTrainingResults(p, 2, t);
  EXPECT_EQ(GuiderTrainingFault(t), "the RA and Dec moves carried the star the same way");

  EXPECT_EQ(SelfGuideTrainingFault({0, 6, 0, 0}), "the telescope did not move the star in RA");
  EXPECT_EQ(SelfGuideTrainingFault({6, 0, 0, 0}), "the telescope did not move the star in Dec");
  EXPECT_EQ(SelfGuideTrainingFault({6, 6, 0, 0}), "");
}

TEST(RaAngle, ShownInDegreesAndKeptInRadians) {
  EXPECT_EQ(RaAngleDegrees(0), 0);
  EXPECT_EQ(RaAngleDegrees(std::numbers::pi / 6), 30);
  EXPECT_EQ(RaAngleDegrees(2 * std::numbers::pi - 0.001), 0);
  EXPECT_EQ(RaAngleDegrees(-1.0), 303) << "a stored angle below 0";
  EXPECT_EQ(RaAngleDegrees(2.0), 115) << "the settings file's whole radians";
  // An edit left as shown keeps the stored value; a new one is taken in degrees.
  EXPECT_EQ(RaAngleFromDegrees(57, 1.0), 1.0);
  EXPECT_NEAR(RaAngleFromDegrees(30, 1.0), std::numbers::pi / 6, 1e-12);
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
  state.settings.selfGuideRaHysteresis = 3;
  ASSERT_EQ(TrainSelfGuiding(corvex), kTrainingDone);
  const auto moves = Moves();
  ASSERT_EQ(moves.size(), 8u);
  EXPECT_EQ(moves[0], "n 500");
  EXPECT_EQ(moves[4], "e 700");
  // 3 px a Dec move; the first north move and the first south move lose the 2 px of play.
  EXPECT_EQ(state.settings.selfGuideDecRate, 3);
  EXPECT_EQ(state.settings.selfGuideDecBacklash, 2);
  EXPECT_NEAR(state.settings.selfGuideRaRate, 4, 1) << "4.2 px a move, in whole pixels";
}

TEST_F(TrainingTest, ATrainingThatCannotMoveTheStarKeepsThePreviousCalibration) {
  // A hysteresis longer than the move: nothing moves in RA, never a negative time.
  PickBrightestStar();
  state.settings.selfGuideRaHysteresis = 15;
  state.settings.selfGuideRaRate = 9;
  const auto fileBefore = SettingsBytes();
  EXPECT_EQ(TrainSelfGuiding(corvex), kTrainingFailed);
  EXPECT_EQ(Moves()[4], "e 0");
  const auto texts = rig.host.MessageTexts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[texts.size() - 2].substr(0, 29), "slewx =     0, slewy =     6\n")
      << "the measurement is shown as it came out";
  EXPECT_EQ(texts.back(),
            "Training failed: the telescope did not move the star in RA. The previous "
            "calibration is kept.");
  EXPECT_EQ(state.settings.selfGuideRaRate, 9);
  EXPECT_EQ(SettingsBytes(), fileBefore);

  // More Dec play than the moves take up: no Dec motion at all.
  sim::SimConfig config;
  config.driftRaPxPerMin = config.driftDecPxPerMin = config.periodicPx = 0;
  config.backlashPx = 50;
  Start(config);
  PickBrightestStar();
  state.settings.selfGuideRaHysteresis = 0;
  state.settings.selfGuideDecRate = 7;
  EXPECT_EQ(TrainSelfGuiding(corvex), kTrainingFailed);
  EXPECT_EQ(rig.host.MessageTexts().back(),
            "Training failed: the telescope did not move the star in Dec. The previous "
            "calibration is kept.");
  EXPECT_EQ(state.settings.selfGuideDecRate, 7);
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
  EXPECT_EQ(corvex.telescope.lastDecDirection, 'n') << "the last move made, not a south";
  const auto texts = rig.host.MessageTexts();
  EXPECT_EQ(texts[texts.size() - 2], "Find centre failed - outside image area");
  EXPECT_EQ(texts.back(),
            "Training stopped at step 1 (moving North): the guide star was lost. The previous "
            "calibration is kept.");
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
  // Unrounded, for guiding: the simulator's 6 px/s turned by 30 degrees.
  EXPECT_NEAR(t.raMotionX, west.x - origin.x, 0.2);
  EXPECT_NEAR(t.raMotionY, west.y - origin.y, 0.2);
  EXPECT_NEAR(t.decMotionX, north.x - origin.x, 0.2);
  EXPECT_NEAR(t.decMotionY, north.y - origin.y, 0.2);
  EXPECT_NEAR(RaAngleDegrees(t.trainedRaAngle), 30, 1);
  EXPECT_NEAR(t.decBacklashMs, 333, 40) << "2 px of play at 6 px/s";
  EXPECT_LE(t.raBacklashMs, 40);

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
  const auto fileBefore = SettingsBytes();
  EXPECT_EQ(TrainGuider(corvex), kTrainingStarLost);
  EXPECT_EQ(t.trainedRaRate, 9);
  EXPECT_EQ(t.raStepX, 4);
  EXPECT_FALSE(t.guiderTrained);
  EXPECT_FALSE(t.useTrainedValues);
  EXPECT_FALSE(t.trainingRunning);
  EXPECT_EQ(SettingsBytes(), fileBefore);
  EXPECT_EQ(rig.host.guiderStatuses.back(), "Auto Guider Camera Control");
  EXPECT_EQ(rig.host.MessageTexts().back(),
            "Training stopped at step 1 (slewing West): the guide star was lost. The previous "
            "calibration is kept.");
  EXPECT_EQ(corvex.telescope.lastRaDirection, 'w') << "the move that was made";
}

TEST_F(TrainingTest, TrainingTakesTheStarMaskSizeTheUserSet) {
  state.settings.starMaskRadius = 11;
  state.maskRadius = 3;
  SelectBrightestGuiderStar();
  EXPECT_EQ(state.maskRadius, 11) << "the guider's star pick";
  state.maskRadius = 3;
  ASSERT_EQ(TrainGuider(corvex), kTrainingDone);
  EXPECT_EQ(state.maskRadius, 11);
  state.maskRadius = 3;
  PickBrightestStar();
  state.maskRadius = 3;
  ASSERT_EQ(TrainSelfGuiding(corvex), kTrainingDone);
  EXPECT_EQ(state.maskRadius, 11);
}

// A training run on a simulator whose `nth` request (or reply) from the start of the training
// fails once. Returns the training's result; the calibration it was given must be untouched
// unless it succeeded.
class TrainingFaultTest : public TrainingTest {
 protected:
  // Requests made before the training starts: discovery, the settings file's link and the
  // star pick, the same on every run.
  int RequestsBeforeTraining(bool guider) {
    Start(StillMountWithPlay());
    guider ? SelectBrightestGuiderStar() : PickBrightestStar();
    return observatory->requests();
  }
  static sim::SimConfig StillMountWithPlay() {
    sim::SimConfig config = testing::StillMount();
    config.backlashPx = 2;
    return config;
  }
};

TEST_F(TrainingFaultTest, AnyFailedTransferFailsTheTrainingAndKeepsTheCalibration) {
  const int before = RequestsBeforeTraining(false);
  Start(StillMountWithPlay());
  PickBrightestStar();
  ASSERT_EQ(TrainSelfGuiding(corvex), kTrainingDone);
  const int during = observatory->requests() - before;
  ASSERT_GT(during, 40);

  // One failed write, or one short reply, anywhere in the training.
  int failures = 0;
  for (int nth = 1; nth <= during; nth += 3) {
    for (bool shortRead : {false, true}) {
      sim::SimConfig config = StillMountWithPlay();
      (shortRead ? config.shortReadAt : config.failWriteAt) = before + nth;
      Start(config);
      PickBrightestStar();
      // (A short read counts replies, which are fewer than requests: late ones never come.)
      state.settings.selfGuideRaRate = 9;
      state.settings.selfGuideDecBacklash = 7;
      rig.host.messages.clear();
      const auto fileBefore = SettingsBytes();
      const int result = TrainSelfGuiding(corvex);
      if (result == kTrainingDone) {
        EXPECT_TRUE(shortRead) << "a failed write at " << nth << " was missed";
        EXPECT_EQ(state.settings.selfGuideRaRate, 6);
        continue;
      }
      ++failures;
      EXPECT_EQ(state.settings.selfGuideRaRate, 9) << nth;
      EXPECT_EQ(state.settings.selfGuideDecBacklash, 7) << nth;
      EXPECT_EQ(SettingsBytes(), fileBefore) << nth;
      EXPECT_EQ(rig.host.MessageTexts().back().substr(0, 22), "Training stopped at st") << nth;
      EXPECT_FALSE(state.selfGuidingActive);
      for (char d : {'n', 's', 'e', 'w'}) EXPECT_FALSE(observatory->mount().Moving(d)) << nth;
    }
  }
  EXPECT_GT(failures, during / 3);
}

TEST_F(TrainingFaultTest, AFailedGuiderFrameOrMoveFailsTheTraining) {
  const int before = RequestsBeforeTraining(true);
  GuiderTraining& t = corvex.guiding.training;
  // The training's 56 requests: eight moves (rate, start, stop) and guider frames (a readout,
  // two clears, the readout).
  for (int nth : {2, 9, 23, 40, 55}) {
    sim::SimConfig config = StillMountWithPlay();
    config.failWriteAt = before + nth;
    Start(config);
    SelectBrightestGuiderStar();
    t = GuiderTraining{};
    t.trainedRaRate = 9;
    const auto fileBefore = SettingsBytes();
    EXPECT_NE(TrainGuider(corvex), kTrainingDone) << nth;
    EXPECT_EQ(t.trainedRaRate, 9) << nth;
    EXPECT_FALSE(t.guiderTrained);
    EXPECT_FALSE(t.useTrainedValues);
    EXPECT_EQ(SettingsBytes(), fileBefore);
    const std::string last = rig.host.MessageTexts().back();
    EXPECT_EQ(last.substr(0, 25), "Training stopped at step ") << nth;
    EXPECT_NE(last.find("The previous calibration is kept."), std::string::npos);
  }
}

TEST_F(TrainingTest, ACancelEndsATrainingAtOnceWithNothingChanged) {
  SelectBrightestGuiderStar();
  rig.host.CancelAt(rig.clock.NowMs() + 5000);  // during the second step
  const auto fileBefore = SettingsBytes();
  EXPECT_EQ(TrainGuider(corvex), kTrainingCancelled);
  EXPECT_EQ(rig.host.MessageTexts().back(),
            "Training cancelled at step 2 (slewing West again). The previous calibration is "
            "kept.");
  EXPECT_EQ(Moves().size(), 2u) << "no move after the cancel";
  EXPECT_FALSE(corvex.guiding.training.guiderTrained);
  EXPECT_EQ(SettingsBytes(), fileBefore);

  PickBrightestStar();
  rig.host.CancelAt(rig.clock.NowMs());
  EXPECT_EQ(TrainSelfGuiding(corvex), kTrainingCancelled);
  EXPECT_EQ(rig.host.MessageTexts().back(),
            "Training cancelled at step 1 (moving North). The previous calibration is kept.");
  EXPECT_FALSE(state.guideWindowActive);
}

}  // namespace
}  // namespace corvex
