// Dithering between the exposures of a guided series, on the simulated observatory: the
// frames move by the dither offsets, the next exposure waits for guiding to settle (or for
// the timeout, with a note), a sum of a dithered series stays sharp, and nothing of a dither
// outlives its run.
#include "runs/dithering.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "corvex.h"
#include "files/fits_file.h"
#include "guiding/telescope_link.h"
#include "processing/star_measurement.h"
#include "runs/capture_run.h"
#include "runs/guiding_loops.h"
#include "sim/observatory.h"
#include "support/frame_recorder.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

using Values = std::vector<std::uint16_t>;
constexpr std::uint64_t kSeed = 7;

TEST(DitherOffsets, StayWithinTheAmountInEvenPixelsAndAlwaysMove) {
  for (int amount : {2, 3, 6, 20}) {
    DitherOffsets offsets(amount, kSeed);
    DitherOffset last;
    int largest = 0;
    for (int i = 0; i < 200; ++i) {
      const DitherOffset offset = offsets.Next();
      EXPECT_NE(offset, last) << "every dither moves";
      for (int v : {offset.x, offset.y}) {
        EXPECT_LE(std::abs(v), amount) << "measured from the start, so never beyond the amount";
        EXPECT_EQ(v % 2, 0) << "even pixels keep the colour matrix lined up";
        largest = std::max(largest, std::abs(v));
      }
      last = offset;
    }
    EXPECT_EQ(largest, amount / 2 * 2) << "the whole range is used";
  }
  DitherOffsets a(3, kSeed), b(3, kSeed);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(a.Next(), b.Next()) << "the same seed, the same dithers";
}

TEST(DitherReference, TenthsOnEitherSideOfTheOrigin) {
  GuidingState guiding;
  for (TenthsPoint p : {TenthsPoint{643, 17}, TenthsPoint{-5, -20}, TenthsPoint{0, -11}}) {
    SetReferenceTenths(guiding, p);
    EXPECT_GE(guiding.referenceXTenths, 0);
    EXPECT_LE(guiding.referenceXTenths, 9);
    EXPECT_EQ(ReferenceTenths(guiding).x, p.x);
    EXPECT_EQ(ReferenceTenths(guiding).y, p.y);
  }
}

// A guided series on the simulated sky, every full frame recorded, dithering on.
class DitherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimConfig config = testing::StillMount();
    config.fullReadoutMs = 0;
    Attach(config);
  }
  void Attach(const sim::SimConfig& config) {
    observatory = std::make_shared<sim::SimulatedObservatory>(rig.clock, config);
    corvex.devices = testing::RecordFrames(sim::MakeSimulatedEnumerator(observatory), log);
    std::filesystem::create_directories(corvex.paths.SettingsFile().parent_path());
    ASSERT_TRUE(DiscoverCamera(corvex.camera, *corvex.devices, state));
    PrepareTelescopeLink(corvex);
    state.settings.telescopeMethod = 'l';
    state.exposureMs = 1000;
    ASSERT_TRUE(testing::PickBrightestStar(corvex));
    log.frames.clear();
    log.fields.clear();
    corvex.options.Set(kDitherKey, "yes");
    steps.ditherSeed = kSeed;
  }
  // "Self-Guide Next Exposure": `count` exposures of 10 s, 1 s guide frames.
  static std::function<PanelOutcome(Corvex&)> SelfGuided(int count) {
    return [count](Corvex& c) {
      c.state.exposureValue = 10;
      c.state.exposureUnit = 's';
      c.state.exposureCount = count;
      c.state.selfGuideNext = true;
      c.state.guideExposureValue = 1;
      c.state.guideExposureUnit = 's';
      return PanelOutcome::kTakePhoto;
    };
  }
  // "AutoGuide Image": `count` exposures of 10 s guided by the guider camera, aligned on the
  // picked star and averaged.
  static std::function<PanelOutcome(Corvex&)> GuiderGuided(int count) {
    return [count](Corvex& c) {
      c.state.exposureValue = 10;
      c.state.exposureUnit = 's';
      c.state.exposureCount = count;
      c.state.averageExposures = true;
      c.state.guideWithGuiderCamera = true;
      return PanelOutcome::kTakePhoto;
    };
  }
  std::vector<testing::RecordedMessage> DitherNotes() const {
    std::vector<testing::RecordedMessage> notes;
    for (const auto& note : rig.host.runNotes) {
      if (note.text.rfind("Dither ", 0) == 0) notes.push_back(note);
    }
    return notes;
  }
  // The picked star in a frame as the image store holds it.
  StarMeasurement Star(const std::uint16_t* values, double x, double y) const {
    const auto star = MeasureStar(values, kImageStride, kImageRows, kImageStride, x, y, 10);
    EXPECT_TRUE(star.has_value()) << "no star near " << x << ", " << y;
    return star.value_or(StarMeasurement{});
  }
  void ExpectNothingLeftBehind() {
    EXPECT_FALSE(state.guideWindowActive);
    EXPECT_FALSE(state.selfGuidingActive);
    EXPECT_FALSE(state.selfGuideNext);
    EXPECT_FALSE(state.guiderGuidingRunning);
    EXPECT_EQ(state.focusLeft, 184);
    EXPECT_EQ(state.focusTop, 65);
    EXPECT_EQ(state.starX, state.pickedStarX) << "the guide star where it was picked";
    EXPECT_EQ(state.starY, state.pickedStarY);
    EXPECT_FALSE(rig.host.guidingInfoOpen);
    EXPECT_FALSE(rig.host.progressOpen);
  }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  ProgramState& state = corvex.state;
  testing::FrameLog log;
  std::shared_ptr<sim::SimulatedObservatory> observatory;
  CaptureGuidingSteps steps;
};

TEST_F(DitherTest, SelfGuidedFramesMoveByTheDitherOffsets) {
  ASSERT_EQ(RunCapture(corvex, SelfGuided(4), steps), CaptureResult::kCompleted);
  // Two halves an exposure; each saved frame is their sum.
  ASSERT_EQ(log.frames.size(), 8u);
  ASSERT_EQ(DitherNotes().size(), 3u) << "after every frame but the last";

  DitherOffsets offsets(3, kSeed);
  std::vector<DitherOffset> expected{{0, 0}};
  for (int i = 0; i < 3; ++i) expected.push_back(offsets.Next());
  std::vector<StarMeasurement> stars;
  for (int frame = 0; frame < 4; ++frame) {
    Values sum(log.frames[2 * frame].size());
    for (std::size_t i = 0; i < sum.size(); ++i) {
      sum[i] = static_cast<std::uint16_t>(
          std::min(log.frames[2 * frame][i] + log.frames[2 * frame + 1][i], 65535));
    }
    stars.push_back(Star(sum.data(), state.pickedStarX + expected[frame].x,
                         state.pickedStarY + expected[frame].y));
  }
  for (int frame = 1; frame < 4; ++frame) {
    SCOPED_TRACE("frame " + std::to_string(frame + 1));
    const double movedX = stars[frame].x - stars[frame - 1].x;
    const double movedY = stars[frame].y - stars[frame - 1].y;
    EXPECT_NEAR(movedX, expected[frame].x - expected[frame - 1].x, 0.5);
    EXPECT_NEAR(movedY, expected[frame].y - expected[frame - 1].y, 0.5);
    EXPECT_NEAR(stars[frame].x - stars[0].x, expected[frame].x, 0.5) << "no walk away";
    EXPECT_NEAR(stars[frame].y - stars[0].y, expected[frame].y, 0.5);
  }
  ExpectNothingLeftBehind();
}

// The next exposure starts only once the error has stayed under the threshold for the settle
// time, measured on the guide frames taken while settling.
TEST_F(DitherTest, TheNextExposureWaitsUntilGuidingHasSettled) {
  sim::SimConfig config;  // drift, periodic error and backlash to settle against
  config.fullReadoutMs = 0;
  Attach(config);
  ASSERT_EQ(RunCapture(corvex, SelfGuided(3), steps), CaptureResult::kCompleted);
  const auto notes = DitherNotes();
  ASSERT_EQ(notes.size(), 2u);
  const auto& readouts = observatory->readouts();
  for (const auto& note : notes) {
    SCOPED_TRACE(note.text);
    EXPECT_NE(note.text.find("settled in"), std::string::npos);
    const std::int64_t settledAt = note.atMs;
    int held = 0;
    bool before = false;
    for (const GuidingInfo& info : rig.host.guidingInfos) {
      if (info.caption != "Guiding Info - Dithering" || info.timeMs > settledAt) continue;
      if (info.timeMs >= settledAt - 5000) {
        EXPECT_LT(std::hypot(info.dx, info.dy), 0.5) << "at " << info.timeMs;
        ++held;
      }
      before = before || (info.timeMs < settledAt - 5000 && std::hypot(info.dx, info.dy) >= 0.5);
    }
    EXPECT_GE(held, 5) << "a guide frame a second through the settle time";
    EXPECT_TRUE(before) << "the move itself put the star off its new place first";
    const bool exposedAfter = std::any_of(readouts.begin(), readouts.end(), [&](const auto& r) {
      return !r.guider && r.width > 128 && r.startMs >= settledAt;
    });
    EXPECT_TRUE(exposedAfter);
    for (const auto& r : readouts) {
      if (!r.guider && r.width > 128) {
        EXPECT_FALSE(r.startMs < settledAt && r.endMs > settledAt - 5000)
            << "no exposure while settling";
      }
    }
  }
  EXPECT_EQ(log.frames.size(), 6u);
  ExpectNothingLeftBehind();
}

TEST_F(DitherTest, AfterTheTimeoutTheSeriesGoesOnWithANote) {
  corvex.options.Set(kDitherSettleSecondsKey, "300");  // longer than the timeout: never settles
  corvex.options.Set(kDitherTimeoutKey, "20");
  const std::size_t before = observatory->readouts().size();
  ASSERT_EQ(RunCapture(corvex, SelfGuided(2), steps), CaptureResult::kCompleted);
  const auto notes = DitherNotes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].text.find("did not settle"), std::string::npos) << notes[0].text;
  EXPECT_NE(notes[0].text.find("the next exposure starts now"), std::string::npos);
  EXPECT_EQ(log.frames.size(), 4u) << "both exposures were taken";
  // The dither began after the first frame's readout and gave up 20 s later, not sooner.
  const auto& readouts = observatory->readouts();
  std::vector<const sim::FrameRequest*> full;
  for (std::size_t i = before; i < readouts.size(); ++i) {
    if (!readouts[i].guider && readouts[i].width > 128) full.push_back(&readouts[i]);
  }
  ASSERT_EQ(full.size(), 4u);
  EXPECT_GE(notes[0].atMs - full[1]->endMs, 20000);
  EXPECT_GT(full[2]->startMs, notes[0].atMs);
  ExpectNothingLeftBehind();
}

// Dithering needs guiding: a series without it takes its frames as they are and says so; a
// guided one dithers between its frames, never after the last.
TEST_F(DitherTest, OnlyBetweenTheFramesOfAGuidedSeries) {
  ASSERT_EQ(RunCapture(corvex, SelfGuided(2), steps), CaptureResult::kCompleted);
  EXPECT_EQ(DitherNotes().size(), 1u) << "one dither between two frames";
  rig.host.runNotes.clear();
  ASSERT_EQ(RunCapture(corvex, SelfGuided(1), steps), CaptureResult::kCompleted);
  EXPECT_TRUE(DitherNotes().empty()) << "no dither after a single frame";

  state.alternativeSlewMethod = true;
  ASSERT_EQ(RunCapture(
                corvex,
                [](Corvex& c) {
                  c.state.exposureValue = 2;
                  c.state.exposureUnit = 's';
                  c.state.exposureCount = 3;
                  return PanelOutcome::kTakePhoto;
                },
                steps),
            CaptureResult::kCompleted);
  EXPECT_TRUE(DitherNotes().empty());
  ASSERT_EQ(rig.host.runNotes.size(), 1u);
  EXPECT_EQ(rig.host.runNotes[0].text.rfind("Dithering is on, but this series is not guided", 0),
            0u);
  for (const auto& message : rig.host.messages) {
    EXPECT_EQ(message.text.find("ither"), std::string::npos)
        << "a note, not a box that holds the run up: " << message.text;
  }
}

// A cancel while settling ends the run as a cancel during an exposure does: no further
// exposure, the frame taken kept in the image, nothing of the guiding left behind.
class CancelWhileSettling : public CaptureGuidingSteps {
 public:
  explicit CancelWhileSettling(testing::ScriptedHost& host) : host_(host) {}
  std::optional<DitherOutcome> Dither(Corvex& corvex, const DitherSettings& settings,
                                      bool selfGuided, const SettleSteps& steps) override {
    host_.CancelAt(corvex.clock.NowMs() + 2500);
    auto outcome = CaptureGuidingSteps::Dither(corvex, settings, selfGuided, steps);
    end = outcome ? outcome->settle.end : SettleEnd::kSettled;
    return outcome;
  }
  SettleEnd end = SettleEnd::kSettled;

 private:
  testing::ScriptedHost& host_;
};

TEST_F(DitherTest, ACancelWhileSettlingEndsTheRunCleanly) {
  for (bool guider : {false, true}) {
    SCOPED_TRACE(guider ? "guider camera" : "self-guided");
    log.frames.clear();
    CancelWhileSettling cancelling(rig.host);
    cancelling.ditherSeed = kSeed;
    if (guider) {
      ASSERT_TRUE(testing::SelectBrightestGuiderStar(corvex));
    }
    state.autoSave = true;
    ASSERT_EQ(RunCapture(corvex, guider ? GuiderGuided(3) : SelfGuided(3), cancelling),
              CaptureResult::kCompleted);
    EXPECT_EQ(cancelling.end, SettleEnd::kCancelled);
    EXPECT_TRUE(state.abortRequested);
    EXPECT_EQ(log.frames.size(), guider ? 1u : 2u) << "no exposure after the cancel";
    // The image is the frame taken (as saved), not a guide window of the settling.
    FitsContents saved;
    const auto files = std::filesystem::directory_iterator(rig.home.path() / "autosave");
    std::filesystem::path newest;
    for (const auto& file : files) {
      if (file.path().extension() == ".FIT" &&
          (newest.empty() || file.last_write_time() > std::filesystem::last_write_time(newest))) {
        newest = file.path();
      }
    }
    const auto bytes = testing::FileBytes(newest);
    ASSERT_EQ(DecodeFitsFile(bytes, FitsLayout::kCurrent, false, saved), kFitsOk);
    EXPECT_EQ(Values(corvex.store.currentImage.begin(),
                     corvex.store.currentImage.begin() + kImageValues),
              saved.image);
    ExpectNothingLeftBehind();
    state.abortRequested = false;
  }
}

// Align-and-add of a dithered series guided by the guider camera gives stars as sharp as one
// frame's. (The simulated guider sits square to the main camera here, so its even moves are
// the main camera's even moves too.)
TEST_F(DitherTest, TheAlignedSumOfADitheredSeriesIsAsSharpAsOneFrame) {
  sim::SimConfig config = testing::StillMount();
  config.fullReadoutMs = 0;
  config.guiderRotationDeg = 0;
  Attach(config);
  ASSERT_TRUE(testing::SelectBrightestGuiderStar(corvex));
  ASSERT_EQ(RunCapture(corvex, GuiderGuided(5), steps), CaptureResult::kCompleted);
  ASSERT_EQ(log.frames.size(), 5u);
  ASSERT_EQ(DitherNotes().size(), 4u);
  const StarMeasurement one = Star(log.frames[0].data(), state.pickedStarX, state.pickedStarY);
  const StarMeasurement last = Star(log.frames[4].data(), state.pickedStarX, state.pickedStarY);
  const StarMeasurement sum =
      Star(corvex.store.currentImage.data(), last.x, last.y);  // the sum lies on the last frame
  EXPECT_GT(std::hypot(last.x - one.x, last.y - one.y), 1.5) << "the frames were dithered";
  EXPECT_NEAR(sum.fwhm, one.fwhm, 0.1 * one.fwhm);
  EXPECT_NEAR(sum.hfr, one.hfr, 0.1 * one.hfr);
  ExpectNothingLeftBehind();
}

}  // namespace
}  // namespace corvex
