// The guiding loops in closed loop with the simulated observatory on the virtual clock: the
// mount drifts and has periodic error, and the loops must hold the star where it started,
// judged by the simulator's own record of where the mount points. Also their refusals, a lost
// star, and the guiding information window's captions.
#include "runs/guiding_loops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "camera/camera_link.h"
#include "corvex.h"
#include "runs/guide_training.h"
#include "guiding/guide_correction.h"
#include "guiding/star_pick.h"
#include "guiding/telescope_link.h"
#include "sim/observatory.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

constexpr std::int64_t kThreeMinutesMs = 3 * 60 * 1000;
const std::string kPickAStar = "You must first take an image and pick a star";

// A camera on the simulated observatory, the telescope on LX200, 1 s exposures.
class Sky {
 public:
  explicit Sky(const sim::SimConfig& config = {})
      : observatory(testing::AttachObservatory(rig, config)) {
    EXPECT_TRUE(PrepareTelescopeLink(corvex));
    state.settings.telescopeMethod = 'l';
    state.exposureValue = 1;
    state.exposureUnit = 's';
    state.exposureMs = 1000;
  }

  // A full frame and its brightest star picked, as the command-line tool does.
  bool PickBrightestStar() { return testing::PickBrightestStar(corvex); }
  bool SelectGuiderStar(std::optional<SamplePoint> at = {}) {
    return testing::SelectBrightestGuiderStar(corvex, at);
  }
  std::size_t Moves() const {
    std::size_t n = 0;
    for (const auto& c : observatory->telescopeCommands()) n += c.text.compare(0, 3, "#:M") == 0;
    return n;
  }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  ProgramState& state = corvex.state;
  std::shared_ptr<sim::SimulatedObservatory> observatory;
};

// How far the star truly is from where it was when guiding started (the mount's offset, in
// main camera pixels), and how far it would be with no guiding at all.
class Track {
 public:
  explicit Track(const Sky& sky) : sky_(sky) {
    const std::int64_t now = sky.corvex.clock.NowMs();
    start_ = sky.observatory->mount().OffsetAt(now);
    unguidedStart_ = Unguided(now);
    endMs_ = now + kThreeMinutesMs;
  }
  // Adds the present offset; true once three minutes have passed.
  bool Add() {
    const std::int64_t now = sky_.corvex.clock.NowMs();
    const sim::PointingOffset offset = sky_.observatory->mount().OffsetAt(now);
    ra_ += (offset.x - start_.x) * (offset.x - start_.x);
    dec_ += (offset.y - start_.y) * (offset.y - start_.y);
    const sim::PointingOffset unguided = Unguided(now);
    unguided_ = std::max(unguided_,
                         std::hypot(unguided.x - unguidedStart_.x, unguided.y - unguidedStart_.y));
    ++count;
    return now >= endMs_;
  }
  double startX() const { return start_.x; }
  double startY() const { return start_.y; }
  double RmsRa() const { return std::sqrt(ra_ / std::max(count, 1)); }
  double RmsDec() const { return std::sqrt(dec_ / std::max(count, 1)); }
  // The furthest the mount alone would have carried the star.
  double UnguidedDrift() const { return unguided_; }
  int count = 0;

 private:
  sim::PointingOffset Unguided(std::int64_t ms) const {
    const sim::PointingOffset offset = sky_.observatory->mount().OffsetAt(ms);
    const sim::PointingOffset guided = sky_.observatory->mount().GuidedAt(ms);
    return {offset.x - guided.x, offset.y - guided.y};
  }
  const Sky& sky_;
  sim::PointingOffset start_, unguidedStart_;
  std::int64_t endMs_ = 0;
  double ra_ = 0, dec_ = 0, unguided_ = 0;
};

TEST(ContinuousSelfGuiding, HoldsTheStarAgainstDriftAndPeriodicError) {
  Sky sky;
  ASSERT_TRUE(sky.PickBrightestStar());
  const int pickedX = sky.state.pickedStarX, pickedY = sky.state.pickedStarY;
  Track track(sky);
  int moves = 0;
  RunContinuousSelfGuiding(sky.corvex, [&](Corvex& c, const GuideCorrection& correction) {
    EXPECT_EQ(correction.result, kGuideDone);
    moves += (correction.raMs > 0) + (correction.decMs > 0);
    if (track.Add()) c.state.continuousMode = false;
  });
  EXPECT_GT(track.count, 60);
  EXPECT_GT(moves, 20);
  EXPECT_GT(track.UnguidedDrift(), 3.0) << "the mount alone would have carried the star away";
  EXPECT_LT(track.RmsRa(), 0.3);
  EXPECT_LT(track.RmsDec(), 0.3);

  ProgramState& state = sky.state;
  EXPECT_EQ(sky.rig.host.MessageTexts().back(), "Guiding Terminated");
  EXPECT_EQ(sky.rig.host.guidingInfoCloses, 1);
  EXPECT_FALSE(sky.rig.host.guidingInfoOpen);
  EXPECT_EQ(sky.rig.host.GuidingInfoCaptions(), std::vector<std::string>{"Guiding Info"});
  EXPECT_FALSE(sky.rig.host.guidingInfos.back().guider);
  EXPECT_EQ(state.focusLeft, 184);
  EXPECT_EQ(state.focusTop, 65);
  EXPECT_EQ(state.starX, pickedX) << "the position before the guide window was placed";
  EXPECT_EQ(state.starY, pickedY);
  EXPECT_FALSE(state.selfGuidingActive);
  EXPECT_FALSE(state.guideWindowActive);
  EXPECT_TRUE(sky.corvex.guiding.firstGuideFrame);
}

TEST(ContinuousSelfGuiding, ARefusalStartsNothing) {
  {
    Sky sky;
    ASSERT_TRUE(sky.PickBrightestStar());
    sky.state.settings.telescopeMethod = 'n';
    sky.rig.host.messages.clear();
    RunContinuousSelfGuiding(sky.corvex);
    sky.state.settings.telescopeMethod = 'l';
    sky.state.guideStarPicked = false;
    RunContinuousSelfGuiding(sky.corvex);
    EXPECT_EQ(sky.rig.host.MessageTexts(), (std::vector<std::string>{kPickAStar, kPickAStar}));
    EXPECT_EQ(sky.Moves(), 0u);
    EXPECT_TRUE(sky.rig.host.guidingInfos.empty());
    EXPECT_FALSE(sky.state.continuousMode);
    EXPECT_FALSE(sky.state.guideWindowActive);
  }
  {
    testing::TestRig bare;  // no camera
    bare.corvex.state.settings.telescopeMethod = 'l';
    bare.corvex.state.guideStarPicked = true;
    RunContinuousSelfGuiding(bare.corvex);
    EXPECT_EQ(bare.host.MessageTexts(), std::vector<std::string>{kPickAStar});
  }
  {
    Sky sky;  // a camera that was found but is no longer open
    ASSERT_TRUE(sky.PickBrightestStar());
    sky.corvex.camera.device.reset();
    sky.corvex.telescope.linkOpen = false;
    sky.rig.host.messages.clear();
    RunContinuousSelfGuiding(sky.corvex);
    EXPECT_EQ(sky.rig.host.MessageTexts().back(), "Communication with telescope failed");
    EXPECT_FALSE(sky.state.continuousMode);
    EXPECT_TRUE(sky.rig.host.guidingInfos.empty());
  }
}

// The number of camera requests made by the time continuous self-guiding has made `n`
// corrections, on a fresh simulator.
int RequestsAfterCorrections(int n) {
  Sky sky;
  EXPECT_TRUE(sky.PickBrightestStar());
  int seen = 0, requests = 0;
  RunContinuousSelfGuiding(sky.corvex, [&](Corvex& c, const GuideCorrection&) {
    if (++seen == n) {
      requests = sky.observatory->requests();
      c.state.continuousMode = false;
    }
  });
  return requests;
}

TEST(ContinuousSelfGuiding, ADeadCameraEndsGuidingAfterABoundedRunOfFrames) {
  // The same session, but the camera stops answering after the tenth correction.
  sim::SimConfig config;
  config.disconnectAfter = RequestsAfterCorrections(10);
  ASSERT_GT(config.disconnectAfter, 0);
  Sky sky(config);
  ASSERT_TRUE(sky.PickBrightestStar());
  std::vector<int> results;
  const GuidingEnd end = RunContinuousSelfGuiding(
      sky.corvex, [&](Corvex&, const GuideCorrection& c) { results.push_back(c.result); });
  EXPECT_EQ(end, GuidingEnd::kCameraFailed);
  // Every turn was heard, so a caller's own end (a time) is checked on every one of them.
  ASSERT_EQ(results.size(), 10u + kMaxMissedFrames);
  EXPECT_EQ(std::count(results.begin(), results.end(), kGuideFrameFailed), kMaxMissedFrames);
  const auto texts = sky.rig.host.MessageTexts();
  EXPECT_EQ(texts[texts.size() - 2],
            "Guiding stopped - no frame came from the camera 10 times in a row");
  EXPECT_EQ(texts.back(), "Guiding Terminated");
  EXPECT_FALSE(sky.state.continuousMode);
  EXPECT_FALSE(sky.state.selfGuidingActive);
  EXPECT_FALSE(sky.state.guideWindowActive);
  EXPECT_EQ(sky.state.focusLeft, 184);
}

TEST(ContinuousSelfGuiding, AStarThatLeavesTheSquareIsLostNotGuidedOnNoise) {
  Sky sky;
  ASSERT_TRUE(sky.PickBrightestStar());
  std::vector<int> results;
  std::size_t movesAtLoss = 0;
  const GuidingEnd end =
      RunContinuousSelfGuiding(sky.corvex, [&](Corvex& c, const GuideCorrection& r) {
        results.push_back(r.result);
        if (results.size() == 5) {
          // Something knocks the telescope 30 pixels east: out of the search square.
          c.telescope.moveDirection = 'e';
          c.telescope.moveDurationMs = 5000;
          TimedMove(c);
          movesAtLoss = sky.Moves();
        }
      });
  EXPECT_EQ(end, GuidingEnd::kStarLost);
  ASSERT_EQ(results.size(), 5u + kMaxMissedFrames);
  EXPECT_EQ(std::count(results.begin(), results.end(), kGuideStarLost), kMaxMissedFrames);
  EXPECT_EQ(sky.Moves(), movesAtLoss) << "no correction from a square without the star";
  const auto texts = sky.rig.host.MessageTexts();
  EXPECT_EQ(texts[texts.size() - 2],
            "Guiding stopped - the guide star was not found in 10 frames in a row");
}

TEST(ContinuousSelfGuiding, ACancelStopsIt) {
  Sky sky;
  ASSERT_TRUE(sky.PickBrightestStar());
  sky.rig.host.CancelAt(sky.corvex.clock.NowMs() + 30000);
  EXPECT_EQ(RunContinuousSelfGuiding(sky.corvex), GuidingEnd::kCancelled);
  EXPECT_LT(sky.corvex.clock.NowMs(), 40000);
  EXPECT_EQ(sky.rig.host.MessageTexts().back(), "Guiding Terminated");
}

TEST(SelfGuidedExposure, PreparationRefusesOrLosesTheStar) {
  Sky sky;
  sky.state.guideExposureMs = 1000;
  EXPECT_EQ(PrepareSelfGuidedExposure(sky.corvex), kGuidingRefused);
  EXPECT_EQ(sky.rig.host.MessageTexts().back(), kPickAStar);

  // A star where the search square leaves the guide window.
  sky.state.guideStarPicked = true;
  sky.state.pickedStarX = 5;
  sky.state.pickedStarY = 100;
  EXPECT_EQ(PrepareSelfGuidedExposure(sky.corvex), kGuidingStarNotFound);
  EXPECT_FALSE(sky.state.selfGuidingActive);
  EXPECT_FALSE(sky.state.guideWindowActive);

  ASSERT_TRUE(sky.PickBrightestStar());
  sky.rig.host.guidingInfos.clear();
  EXPECT_EQ(PrepareSelfGuidedExposure(sky.corvex), kGuidingReady);
  EXPECT_EQ(sky.rig.host.GuidingInfoCaptions(),
            (std::vector<std::string>{"Guiding Info - Creating Guiding Frame",
                                      "Guiding Info - stabilising", "Guiding Info"}));
  // The reference is the star inside the guide window, to a tenth. (The camera's window
  // starts at a column that is a multiple of three, two columns left of the one asked for,
  // and six rows above.)
  const GuidingState& g = sky.corvex.guiding;
  const sim::SensorPoint star = sky.observatory->StarPosition(0);
  const int left = sky.state.focusLeft - sky.state.focusLeft % 3 - 2;
  EXPECT_NEAR(g.referenceX + g.referenceXTenths * 0.1, star.x - left, 0.4);
  EXPECT_NEAR(g.referenceY + g.referenceYTenths * 0.1, star.y - (sky.state.focusTop - 6), 0.4);
  EXPECT_EQ(sky.Moves(), 0u);
}

TEST(GuiderGuiding, ARefusalStartsNothing) {
  Sky sky;
  sky.state.settings.telescopeMethod = 'n';
  EXPECT_EQ(StartGuiderGuiding(sky.corvex), kGuidingRefused);
  EXPECT_EQ(sky.rig.host.MessageTexts().back(), "error 55");
  sky.state.settings.telescopeMethod = 'l';
  EXPECT_EQ(StartGuiderGuiding(sky.corvex), kGuidingRefused) << "no guider star selected";
  EXPECT_EQ(sky.rig.host.MessageTexts().back(), kPickAStar);
  RunGuiderGuiding(sky.corvex);
  EXPECT_FALSE(sky.state.guiderGuidingRunning);
  EXPECT_FALSE(sky.rig.host.guidingInfoOpen);
  EXPECT_EQ(sky.Moves(), 0u);
  for (const auto& frame : sky.observatory->readouts()) EXPECT_FALSE(frame.guider);

  testing::TestRig bare;  // no camera
  bare.corvex.state.settings.telescopeMethod = 'l';
  bare.corvex.guiding.guiderStarSelected = true;
  EXPECT_EQ(StartGuiderGuiding(bare.corvex), kGuidingRefused);
  EXPECT_EQ(bare.host.MessageTexts(), std::vector<std::string>{"error 55"});
}

TEST(GuiderGuiding, TrainedValuesHoldTheStarOnARotatedGuider) {
  Sky sky;
  ASSERT_TRUE(sky.SelectGuiderStar());
  ASSERT_EQ(TrainGuider(sky.corvex), kTrainingDone);
  // Training leaves the star where its last move took it: select it again there.
  ASSERT_TRUE(sky.SelectGuiderStar(sky.corvex.guiding.training.trainingSamples[8]));
  sky.state.settings.ignoreRaAngle = false;
  const std::size_t movesBefore = sky.Moves();
  sky.rig.host.guidingInfos.clear();

  Track track(sky);
  bool raMoved = false, decMoved = false;
  RunGuiderGuiding(sky.corvex, [&](Corvex& c, const GuideCorrection& correction) {
    raMoved |= correction.raMs > 0;
    decMoved |= correction.decMs > 0;
    if (track.Add()) c.state.guiderGuidingRunning = false;
  });
  EXPECT_GT(track.count, 60);
  EXPECT_GT(sky.Moves(), movesBefore + 20);
  EXPECT_TRUE(raMoved);
  EXPECT_TRUE(decMoved);
  EXPECT_GT(track.UnguidedDrift(), 3.0);
  EXPECT_LT(track.RmsRa(), 0.3);
  EXPECT_LT(track.RmsDec(), 0.5);
  EXPECT_FALSE(sky.corvex.guiding.guiderStarLost);
  EXPECT_FALSE(sky.state.guiderGuidingRunning);
  EXPECT_EQ(sky.rig.host.guidingInfoCloses, 1);
  EXPECT_EQ(sky.rig.host.GuidingInfoCaptions(),
            (std::vector<std::string>{"Guiding Info - Creating Guiding Frame",
                                      "Guiding Info - stabilising", "Guiding Info"}));
  EXPECT_TRUE(sky.rig.host.guidingInfos.back().guider);
}

// However the guider is turned on the telescope, and whether it sees the sky mirrored,
// training finds the turn and guiding on the trained values brings a star that was knocked
// 3 pixels or more off back to its place and holds it there.
TEST(GuiderGuiding, TrainedGuidingConvergesWhateverTheGuiderTurn) {
  struct Turn {
    double degrees;
    bool mirrored;
  };
  // Every 45 degrees, the small turns that once ran away, and mirrored guiders.
  const Turn turns[] = {{0, false},   {3, false},   {10, false},  {15, false},  {20, false},
                        {45, false},  {90, false},  {135, false}, {180, false}, {225, false},
                        {270, false}, {315, false}, {359, false}, {0, true},    {10, true},
                        {100, true},  {250, true}};
  for (const Turn& turn : turns) {
    SCOPED_TRACE(std::to_string(turn.degrees) +
                 (turn.mirrored ? " degrees, mirrored" : " degrees"));
    sim::SimConfig config;
    config.guiderRotationDeg = turn.degrees;
    config.guiderMirrored = turn.mirrored;
    Sky sky(config);
    sky.state.guiderHotPixelFilter = false;  // (the simulated guider has no hot pixels to fear)
    ASSERT_TRUE(sky.SelectGuiderStar());
    ASSERT_EQ(TrainGuider(sky.corvex), kTrainingDone);
    const GuiderTraining& t = sky.corvex.guiding.training;
    const int off = std::abs(RaAngleDegrees(t.trainedRaAngle) - static_cast<int>(turn.degrees));
    EXPECT_LE(std::min(off, 360 - off), 2) << "the angle training found";
    ASSERT_TRUE(sky.SelectGuiderStar(t.trainingSamples[8]));
    sky.state.settings.ignoreRaAngle = false;

    Track track(sky);
    std::vector<double> offsets;
    int longestMoveMs = 0;
    RunGuiderGuiding(sky.corvex, [&](Corvex& c, const GuideCorrection& correction) {
      if (offsets.empty()) {
        // The knock: 3 pixels east and 3 north.
        for (char d : {'e', 'n'}) {
          c.telescope.moveDirection = d;
          c.telescope.moveDurationMs = 500;
          TimedMove(c);
        }
      }
      const std::int64_t now = c.clock.NowMs();
      const sim::PointingOffset at = sky.observatory->mount().OffsetAt(now);
      offsets.push_back(std::hypot(at.x - track.startX(), at.y - track.startY()));
      longestMoveMs = std::max({longestMoveMs, correction.raMs, correction.decMs});
      if (offsets.size() == 40) c.state.guiderGuidingRunning = false;
    });
    ASSERT_EQ(offsets.size(), 40u);
    EXPECT_GT(offsets[0], 2.5) << "knocked away (north loses the play first)";
    double worstLate = 0;
    for (std::size_t i = 25; i < offsets.size(); ++i) worstLate = std::max(worstLate, offsets[i]);
    EXPECT_LT(worstLate, 0.7) << "back and held";
    EXPECT_LT(longestMoveMs, 1400) << "no move towards a runaway";
  }
}

TEST(GuiderGuiding, TrainedValuesHoldDecAsWellAsTheDefaultPath) {
  Sky sky;
  ASSERT_TRUE(sky.SelectGuiderStar());
  ASSERT_EQ(TrainGuider(sky.corvex), kTrainingDone);
  ASSERT_TRUE(sky.SelectGuiderStar(sky.corvex.guiding.training.trainingSamples[8]));
  sky.state.settings.ignoreRaAngle = false;
  Track track(sky);
  RunGuiderGuiding(sky.corvex, [&](Corvex& c, const GuideCorrection&) {
    if (track.Add()) c.state.guiderGuidingRunning = false;
  });
  EXPECT_LT(track.RmsDec(), 0.3);
}

TEST(GuiderGuiding, TheDefaultPathHoldsTheStarOnARotatedGuider) {
  // "Ignore RA Angle", the setting's default: the guider's rows and columns are taken for
  // the axes, though they lie 30 degrees off.
  Sky sky;
  ASSERT_TRUE(sky.state.settings.ignoreRaAngle);
  ASSERT_TRUE(sky.SelectGuiderStar());
  Track track(sky);
  RunGuiderGuiding(sky.corvex, [&](Corvex& c, const GuideCorrection&) {
    if (track.Add()) c.state.guiderGuidingRunning = false;
  });
  EXPECT_GT(track.count, 60);
  EXPECT_GT(track.UnguidedDrift(), 3.0);
  EXPECT_LT(track.RmsRa(), 0.3);
  EXPECT_LT(track.RmsDec(), 0.3);
}

TEST(GuiderGuiding, AStarAtTheFrameEdgeDoesNotStartGuiding) {
  Sky sky;
  sky.corvex.guiding.guiderStarSelected = true;
  sky.corvex.guiding.selectedGuiderStarX = 4;  // the search square leaves the frame
  sky.corvex.guiding.selectedGuiderStarY = 100;
  int cycles = 0;
  EXPECT_EQ(RunGuiderGuiding(sky.corvex, [&](Corvex&, const GuideCorrection&) { ++cycles; }),
            GuidingEnd::kStarLost);
  EXPECT_EQ(cycles, 0);
  EXPECT_TRUE(sky.corvex.guiding.guiderStarLost);
  EXPECT_FALSE(sky.state.guiderGuidingRunning);
  EXPECT_EQ(sky.rig.host.guidingInfoCloses, 1);
  EXPECT_FALSE(sky.rig.host.guidingInfoOpen);
  EXPECT_EQ(sky.Moves(), 0u);
  EXPECT_EQ(sky.rig.host.MessageTexts().back(),
            "Guiding stopped - the guide star was not found in 10 frames in a row");
}

// Guider guiding on the default path for 50 turns on a simulator with `config`'s faults; the
// simulator's truth of how well it held.
struct FaultRun {
  GuidingEnd end = GuidingEnd::kStopped;
  double rmsRa = 0, rmsDec = 0;
  int longestMoveMs = 0;
  std::vector<int> results;
};
FaultRun GuideThroughAFault(const sim::SimConfig& config) {
  Sky sky(config);
  sky.state.guiderHotPixelFilter = false;
  FaultRun run;
  if (!sky.SelectGuiderStar()) return run;
  Track track(sky);
  run.end = RunGuiderGuiding(sky.corvex, [&](Corvex& c, const GuideCorrection& correction) {
    run.results.push_back(correction.result);
    run.longestMoveMs = std::max({run.longestMoveMs, correction.raMs, correction.decMs});
    track.Add();
    if (run.results.size() == 50) c.state.guiderGuidingRunning = false;
  });
  run.rmsRa = track.RmsRa();
  run.rmsDec = track.RmsDec();
  return run;
}

TEST(GuiderGuiding, OneFailedTransferIsOneFrameNotARunaway) {
  // The requests of a guider session up to its guiding: the same on every run.
  int start = 0;
  {
    Sky sky;
    ASSERT_TRUE(sky.SelectGuiderStar());
    start = sky.observatory->requests();
  }
  // Failed writes and short replies at several places of the first minute of guiding: a
  // frame readout, a clear, a move or its stop.
  for (int nth : {13, 30, 58, 101}) {
    for (bool shortRead : {false, true}) {
      sim::SimConfig config;
      (shortRead ? config.shortReadAt : config.failWriteAt) = start + nth;
      const FaultRun run = GuideThroughAFault(config);
      EXPECT_EQ(run.end, GuidingEnd::kStopped) << nth;
      EXPECT_LT(run.rmsRa, 0.3) << nth;
      EXPECT_LT(run.rmsDec, 0.3) << nth;
      EXPECT_LT(run.longestMoveMs, 500) << nth << ": no correction towards a false error";
      EXPECT_EQ(run.results.size(), 50u);
    }
  }
}

TEST(GuiderGuiding, AStopThatCannotBeSentEndsGuidingAtOnce) {
  int discovery = 0;  // the requests of finding the camera
  {
    testing::TestRig probe;
    discovery = testing::AttachObservatory(probe)->requests();
  }
  Sky sky;
  ASSERT_TRUE(sky.SelectGuiderStar());
  int turns = 0;
  std::shared_ptr<sim::SimulatedObservatory> failing;
  const GuidingEnd end = RunGuiderGuiding(sky.corvex, [&](Corvex& c, const GuideCorrection&) {
    if (++turns != 3) return;
    // The same sky behind a camera whose link dies at the stop of the next correction's first
    // move: after finding it, a 3-pixel kick (rate, move, stop), the next frame (four
    // requests) and that move's rate and start.
    sim::SimConfig config;
    config.disconnectAfter = discovery + 3 + 4 + 2;
    failing = testing::AttachObservatory(sky.rig, config);
    c.telescope.moveDirection = 'e';
    c.telescope.moveDurationMs = 500;
    ASSERT_EQ(TimedMove(c), MoveResult::kDone);
  });
  EXPECT_EQ(end, GuidingEnd::kMountMoving);
  EXPECT_EQ(turns, 4) << "guiding ended on the turn whose stop failed";
  bool moving = false;
  for (char d : {'e', 'w', 'n', 's'}) moving |= failing->mount().Moving(d);
  EXPECT_TRUE(moving) << "the simulated mount was indeed left moving";
  EXPECT_EQ(sky.rig.host.MessageTexts().back(), kStillMovingMessage);
  EXPECT_FALSE(sky.state.guiderGuidingRunning);
}

TEST(GuiderGuiding, ADeadCameraEndsGuidingAfterABoundedRunOfFrames) {
  int start = 0;
  {
    Sky sky;
    sky.state.guiderHotPixelFilter = false;
    ASSERT_TRUE(sky.SelectGuiderStar());
    ASSERT_EQ(StartGuiderGuiding(sky.corvex), kGuidingReady);
    start = sky.observatory->requests();
  }
  // Nothing gets through once guiding has started.
  sim::SimConfig config;
  config.disconnectAfter = start;
  const FaultRun run = GuideThroughAFault(config);
  EXPECT_EQ(run.end, GuidingEnd::kCameraFailed);
  // (Guiding's start may already have missed its last frame.)
  EXPECT_GE(run.results.size(), kMaxMissedFrames - 1u);
  EXPECT_LE(run.results.size(), kMaxMissedFrames + 0u);
  EXPECT_EQ(std::count(run.results.begin(), run.results.end(), kGuideFrameFailed),
            static_cast<long>(run.results.size()));
}

TEST(GuiderGuiding, ACancelInItsFirstSecondsIsHonoured) {
  Sky sky;
  ASSERT_TRUE(sky.SelectGuiderStar());
  sky.rig.host.CancelAt(sky.corvex.clock.NowMs() + 1);
  EXPECT_EQ(RunGuiderGuiding(sky.corvex), GuidingEnd::kCancelled);
  EXPECT_EQ(sky.Moves(), 0u);
  EXPECT_FALSE(sky.state.guiderGuidingRunning);
  EXPECT_FALSE(sky.rig.host.guidingInfoOpen);
}

}  // namespace
}  // namespace corvex
