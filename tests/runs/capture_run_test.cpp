// The capture run on the simulated camera and a virtual clock: exposures, progress, series,
// continuous mode, cancelling, and the steps after each frame.
#include "runs/capture_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "camera/camera_link.h"
#include "camera/exposures.h"
#include "corvex.h"
#include "guiding/star_pick.h"
#include "guiding/telescope_link.h"
#include "runs/guiding_loops.h"
#include "sim/observatory.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

class CaptureRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::SimConfig config;
    config.fullReadoutMs = 0;
    observatory = std::make_shared<sim::SimulatedObservatory>(rig.clock, config);
    corvex.devices = sim::MakeSimulatedEnumerator(observatory);
    std::filesystem::create_directories(corvex.paths.SettingsFile().parent_path());
  }
  // A panel left with "Take Photo" after setting the exposure.
  std::function<PanelOutcome(Corvex&)> Panel(int value, char unit, int count = 1) {
    return [value, unit, count](Corvex& c) {
      c.state.exposureValue = value;
      c.state.exposureUnit = unit;
      c.state.exposureCount = count;
      return PanelOutcome::kTakePhoto;
    };
  }
  std::size_t FullReadouts() const {
    std::size_t n = 0;
    for (const auto& r : observatory->readouts()) n += r.width == 500 && r.height == 290;
    return n;
  }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  ProgramState& state = corvex.state;
  CaptureGuiding noGuiding;
  std::shared_ptr<sim::SimulatedObservatory> observatory;
};

TEST(CaptureProgress, StepsByExposureLength) {
  EXPECT_EQ(ProgressSteps(5, 's'), 6);
  EXPECT_EQ(ProgressSteps(12, 's'), 6);
  EXPECT_EQ(ProgressSteps(13, 's'), 20);
  EXPECT_EQ(ProgressSteps(4, 's'), 2);
  EXPECT_EQ(ProgressSteps(1, 'm'), 20);
  EXPECT_EQ(ProgressSteps(50, 't'), 2);
}

TEST_F(CaptureRunTest, WithoutACameraNothingHappens) {
  corvex.devices.reset();
  EXPECT_EQ(RunCapture(corvex, Panel(1, 's'), noGuiding), CaptureResult::kNoCamera);
  EXPECT_EQ(rig.host.MessageTexts().back(), "Sorry, No camera found on USB");
}

TEST_F(CaptureRunTest, ThePanelCanBeLeftWithoutARun) {
  EXPECT_EQ(RunCapture(
                corvex, [](Corvex&) { return PanelOutcome::kCancel; }, noGuiding),
            CaptureResult::kPanelCancelled);
  EXPECT_EQ(RunCapture(
                corvex, [](Corvex&) { return PanelOutcome::kGoToGuider; }, noGuiding),
            CaptureResult::kGoToGuider);
  EXPECT_EQ(FullReadouts(), 0u);
}

TEST_F(CaptureRunTest, ALongExposureShowsItsProgressAndIsRead) {
  state.focusLeft = 10;
  corvex.history.entries[0] = "old";
  ASSERT_EQ(RunCapture(corvex, Panel(5, 's'), noGuiding), CaptureResult::kCompleted);
  EXPECT_EQ(FullReadouts(), 1u);
  const sim::FrameRequest& frame = observatory->readouts().back();
  EXPECT_GE(frame.endMs - frame.startMs, 5000);
  EXPECT_LE(frame.endMs - frame.startMs, 5050);
  EXPECT_EQ(rig.host.progressCaptions.front(), "EXPOSURE UNDERWAY");
  EXPECT_EQ(rig.host.progressCaptions.back(), "READ QZ CAMERA - takes 2 - 3 seconds");
  const auto& positions = rig.host.progressPositions;
  EXPECT_NE(std::find(positions.begin(), positions.end(), 42 * 5), positions.end());
  EXPECT_EQ(corvex.fits.exposureSeconds, 5);
  EXPECT_EQ(corvex.fits.pixelWidth, 0.0098);
  EXPECT_EQ(state.imageTitle, "QZ Camera Image");
  EXPECT_EQ(state.focusLeft, 184) << "the focus window is back after every run";
  EXPECT_EQ(corvex.history.entries[0], "");
  EXPECT_GT(*std::max_element(corvex.store.currentImage.begin(),
                              corvex.store.currentImage.begin() + kImageValues),
            1000);
}

TEST_F(CaptureRunTest, AShortExposureTravelsInTheReadoutRequest) {
  ASSERT_EQ(RunCapture(corvex, Panel(5, 't'), noGuiding), CaptureResult::kCompleted);
  EXPECT_EQ(rig.host.progressCaptions,
            std::vector<std::string>{"READ QZ CAMERA - takes 2 - 3 seconds"});
  const sim::FrameRequest& frame = observatory->readouts().back();
  EXPECT_EQ(frame.endMs - frame.startMs, 500);
}

TEST_F(CaptureRunTest, SeriesAndContinuousRuns) {
  state.continuousMode = true;
  ASSERT_EQ(RunCapture(corvex, Panel(2, 's', 3), noGuiding), CaptureResult::kCompleted);
  EXPECT_EQ(FullReadouts(), 3u) << "continuous mode with a count stops after that many";
  EXPECT_EQ(corvex.fits.exposureSeconds, 2) << "in continuous mode each frame replaces it";

  // Without a count it runs until a press cancels it.
  state.continuousMode = true;
  rig.host.CancelAt(rig.clock.NowMs() + 9000);
  ASSERT_EQ(RunCapture(corvex, Panel(2, 's'), noGuiding), CaptureResult::kCompleted);
  EXPECT_GE(FullReadouts(), 3u + 3u);
  EXPECT_LT(rig.clock.NowMs(), 30000) << "the press ended it";
}

TEST_F(CaptureRunTest, APressDuringAnExposureEndsTheRunWithoutAReadout) {
  state.alternativeSlewMethod = true;
  rig.host.CancelAt(3000);
  ASSERT_EQ(RunCapture(corvex, Panel(10, 's', 3), noGuiding), CaptureResult::kCompleted);
  EXPECT_EQ(FullReadouts(), 0u);
  EXPECT_LT(rig.clock.NowMs(), 4000);
  EXPECT_FALSE(rig.host.beeps.empty());
}

TEST_F(CaptureRunTest, AutomaticStepsAfterEachFrame) {
  state.autoSave = true;
  state.autoColour = true;
  state.settings.beepWhenDone = true;
  ASSERT_EQ(RunCapture(corvex, Panel(1, 's'), noGuiding), CaptureResult::kCompleted);
  EXPECT_TRUE(state.colourConverted);
  EXPECT_TRUE(std::filesystem::exists(rig.home.path() / "autosave" / "IMG1.FIT"));
  EXPECT_EQ(std::filesystem::file_size(rig.home.path() / "autosave" / "IMG1.FIT"), 748160u);
  EXPECT_EQ(state.settings.lastFileNumber, 1);
  EXPECT_EQ(rig.host.notices, std::vector<std::string>{"Saving Image: into " +
                                                       (rig.home.path() / "autosave").string()});
  const std::vector<int> done{-1, -3, -1};
  EXPECT_TRUE(std::search(rig.host.beeps.begin(), rig.host.beeps.end(), done.begin(), done.end()) !=
              rig.host.beeps.end());
}

TEST_F(CaptureRunTest, TheCountdownShowsTheSecondsLeft) {
  state.startDelay = true;
  ASSERT_EQ(RunCapture(corvex, Panel(1, 's'), noGuiding), CaptureResult::kCompleted);
  EXPECT_EQ(rig.host.progressCaptions[0], "EXPOSURE DELAY (Left - 10)");
  EXPECT_EQ(rig.host.progressCaptions[9], "EXPOSURE DELAY (Left - 1)");
  EXPECT_GE(rig.clock.NowMs(), 10000 + 1000);
}

TEST_F(CaptureRunTest, ASeriesIsAlignedAndAddedOnTheGuideStar) {
  const sim::SensorPoint star = observatory->StarPosition(0);
  state.guideStarPicked = true;
  state.pickedStarX = static_cast<int>(star.x) + 6;
  state.pickedStarY = static_cast<int>(star.y);
  ASSERT_EQ(RunCapture(corvex, Panel(2, 's', 3), noGuiding), CaptureResult::kCompleted);
  EXPECT_EQ(FullReadouts(), 3u);
  // The sky of three frames added together is about three times one frame's.
  const int sky = corvex.store.currentImage[40 * 512 + 40];
  EXPECT_GT(sky, 3 * 100 + 2 * 50);
}

TEST_F(CaptureRunTest, AShortReadoutIsNotTakenForAFrame) {
  sim::SimConfig config;
  config.fullReadoutMs = 0;
  config.shortReadAt = 1;
  observatory = std::make_shared<sim::SimulatedObservatory>(rig.clock, config);
  corvex.devices = sim::MakeSimulatedEnumerator(observatory);
  corvex.store.currentImage.Fill(1234);
  state.autoSave = true;
  state.autoColour = true;
  state.alternativeSlewMethod = true;
  ASSERT_EQ(RunCapture(corvex, Panel(2, 's', 3), noGuiding), CaptureResult::kReadoutFailed);
  EXPECT_EQ(FullReadouts(), 1u) << "the run ends after the broken frame";
  EXPECT_EQ(corvex.store.currentImage[100 * 512 + 100], 1234) << "the image before is kept";
  EXPECT_FALSE(state.colourConverted);
  EXPECT_FALSE(std::filesystem::exists(rig.home.path() / "autosave" / "IMG1.FIT"));
  const auto texts = rig.host.MessageTexts();
  EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                          [](const std::string& t) { return t.rfind("Short read", 0) == 0; }),
            1)
      << "reported once, by the link";
}

// The width (second moment along RA) of the star around (x, y) of the stored image.
double StarWidth(const ImageBuffer& image, int x, int y) {
  double sum = 0, sx = 0, sxx = 0;
  for (int row = y - 6; row <= y + 6; ++row) {
    for (int col = x - 8; col <= x + 8; ++col) {
      const double v = std::max(0.0, image[row * 512 + col] - 600.0);
      sum += v;
      sx += v * col;
      sxx += v * col * col;
    }
  }
  const double mean = sx / sum;
  return std::sqrt(sxx / sum - mean * mean);
}

TEST_F(CaptureRunTest, ADriftingSeriesAddsUpAsSharpAsOneFrame) {
  sim::SimConfig config;
  config.fullReadoutMs = 0;
  config.driftRaPxPerMin = 60;  // a pixel a second: two pixels between frames
  config.driftDecPxPerMin = 0;
  config.periodicPx = 0;
  observatory = std::make_shared<sim::SimulatedObservatory>(rig.clock, config);
  corvex.devices = sim::MakeSimulatedEnumerator(observatory);
  const sim::SensorPoint star = observatory->StarPosition(0);
  state.guideStarPicked = true;
  state.pickedStarX = static_cast<int>(std::lround(star.x)) + 6;
  state.pickedStarY = static_cast<int>(std::lround(star.y));
  ASSERT_EQ(RunCapture(corvex, Panel(2, 's', 3), noGuiding), CaptureResult::kCompleted);
  const int x = corvex.state.starX;
  const int y = corvex.state.starY;
  const double series = StarWidth(corvex.store.currentImage, x, y);

  state.pickedStarX = static_cast<int>(std::lround(observatory->StarPosition(0).x)) + 6;
  ASSERT_EQ(RunCapture(corvex, Panel(2, 's', 1), noGuiding), CaptureResult::kCompleted);
  const double single = StarWidth(corvex.store.currentImage, state.pickedStarX + 1, y);
  EXPECT_LT(series, single * 1.2) << "series " << series << ", one frame " << single;
  EXPECT_GT(series, 0.5);
}

TEST_F(CaptureRunTest, SelfGuidingNeedsAGuideStar) {
  state.selfGuideNext = true;
  EXPECT_EQ(RunCapture(corvex, Panel(5, 's'), noGuiding), CaptureResult::kEndedEarly);
  EXPECT_EQ(rig.host.MessageTexts().back(), "You must first take an image and pick a star");
  EXPECT_EQ(FullReadouts(), 0u);
}

// ---- Self-guided exposures ----

// The camera on the simulator, the telescope on LX200, and the brightest star of a first
// frame picked as the guide star.
bool PrepareSelfGuiding(Corvex& corvex) {
  ProgramState& state = corvex.state;
  if (!DiscoverCamera(corvex.camera, *corvex.devices, state)) return false;
  PrepareTelescopeLink(corvex);
  state.settings.telescopeMethod = 'l';
  state.exposureMs = 1000;
  return testing::PickBrightestStar(corvex);
}

// "Self-Guide Next Exposure" with a 20 s exposure and 1 s guide frames.
std::function<PanelOutcome(Corvex&)> SelfGuidedPanel() {
  return [](Corvex& c) {
    c.state.exposureValue = 20;
    c.state.exposureUnit = 's';
    c.state.selfGuideNext = true;
    c.state.guideExposureValue = 1;
    c.state.guideExposureUnit = 's';
    return PanelOutcome::kTakePhoto;
  };
}

// The guiding steps, with a look at the camera's request count on every cycle.
class CountedSteps : public CaptureGuidingSteps {
 public:
  explicit CountedSteps(const sim::SimulatedObservatory& observatory) : observatory_(observatory) {}
  bool Cycle(Corvex& corvex, bool firstHalfRead) override {
    requestsAtCycle.push_back(observatory_.requests());
    return CaptureGuidingSteps::Cycle(corvex, firstHalfRead);
  }
  std::vector<int> requestsAtCycle;

 private:
  const sim::SimulatedObservatory& observatory_;
};

class SelfGuidedCaptureTest : public CaptureRunTest {
 protected:
  void SetUp() override {
    CaptureRunTest::SetUp();
    ASSERT_TRUE(PrepareSelfGuiding(corvex));
    readoutsBefore = observatory->readouts().size();
  }
  // Fields of the full-frame readouts, and the number of guide window readouts, since `from`.
  std::vector<int> FullFrameFields(std::size_t from) const {
    return FullFrameFields(*observatory, from);
  }
  static std::vector<int> FullFrameFields(const sim::SimulatedObservatory& o, std::size_t from) {
    std::vector<int> fields;
    const auto& r = o.readouts();
    for (std::size_t i = from; i < r.size(); ++i) {
      if (!r[i].guider && r[i].width == 500 && r[i].height == 290) fields.push_back(r[i].field);
    }
    return fields;
  }
  int WindowReadouts(std::size_t from) const {
    int n = 0;
    const auto& r = observatory->readouts();
    for (std::size_t i = from; i < r.size(); ++i) n += !r[i].guider && r[i].width == 128;
    return n;
  }
  // When the first half was read (the field 1 readout).
  std::int64_t HalfReadMs() const {
    for (const auto& r : observatory->readouts()) {
      if (r.width == 500 && r.field == 1) return r.endMs;
    }
    return -1;
  }

  CaptureGuidingSteps steps;
  std::size_t readoutsBefore = 0;
};

TEST_F(SelfGuidedCaptureTest, GuidesThroughBothHalvesOfTheExposure) {
  ASSERT_EQ(RunCapture(corvex, SelfGuidedPanel(), steps), CaptureResult::kCompleted);
  // The first half during the exposure, the second at its end.
  EXPECT_EQ(FullFrameFields(readoutsBefore), (std::vector<int>{1, 2}));
  const std::int64_t half = HalfReadMs();
  int before = 0, after = 0;
  for (const auto& c : observatory->telescopeCommands()) {
    if (c.text.compare(0, 3, "#:M") != 0) continue;
    (c.atMs < half ? before : after) += 1;
  }
  EXPECT_GT(before, 0) << "corrections in the first half";
  EXPECT_GT(after, 0) << "and in the second";
  // Seven window frames prepare and switch; every other one is a guiding cycle.
  EXPECT_GE(state.guidingFrames, 3);
  EXPECT_EQ(state.guidingFrames, WindowReadouts(readoutsBefore) - 7);
  EXPECT_EQ(rig.host.GuidingInfoCaptions(),
            (std::vector<std::string>{
                "Guiding Info - Checking Telescope", "Guiding Info - Creating Guiding Frame",
                "Guiding Info - stabilising", "Guiding Info", "Guiding Info - Downloading Image",
                "Guiding Info - Switching Guiding Frame", "Guiding Info"}));
  EXPECT_FALSE(rig.host.guidingInfoOpen);
  EXPECT_FALSE(state.selfGuideNext);
  EXPECT_FALSE(state.selfGuidingActive);
  EXPECT_FALSE(state.guideWindowActive);
  EXPECT_EQ(state.focusLeft, 184);
}

TEST_F(SelfGuidedCaptureTest, BothHalvesAreExposedAlike) {
  ASSERT_EQ(RunCapture(corvex, SelfGuidedPanel(), steps), CaptureResult::kCompleted);
  std::vector<std::int64_t> exposed;
  const auto& r = observatory->readouts();
  for (std::size_t i = readoutsBefore; i < r.size(); ++i) {
    if (r[i].width == 500) exposed.push_back(r[i].endMs - r[i].startMs);
  }
  ASSERT_EQ(exposed.size(), 2u);
  EXPECT_NEAR(static_cast<double>(exposed[0]), 10000, 1000);
  EXPECT_NEAR(static_cast<double>(exposed[1]), 10000, 1000);
}

TEST_F(SelfGuidedCaptureTest, AMatchingDarkFrameTakesTheGuideFramesButMovesNothing) {
  ASSERT_EQ(RunCapture(corvex, SelfGuidedPanel(), steps), CaptureResult::kCompleted);
  const int frames = state.guidingFrames;
  ASSERT_GT(frames, 0);
  const std::size_t commands = observatory->telescopeCommands().size();
  const std::size_t from = observatory->readouts().size();
  rig.host.guidingInfos.clear();

  state.matchingDarkframe = true;
  ASSERT_EQ(RunCapture(corvex, SelfGuidedPanel(), steps), CaptureResult::kCompleted);
  EXPECT_EQ(observatory->telescopeCommands().size(), commands) << "nothing moved";
  EXPECT_EQ(FullFrameFields(from), (std::vector<int>{1, 2}));
  // As many guide frames as the light exposure, half in each half, plus the switch's three.
  EXPECT_EQ(WindowReadouts(from), 2 * (frames / 2) + 3);
  EXPECT_EQ(state.guidingFrames, frames);
  EXPECT_EQ(state.guideExposureMs, 100);
  EXPECT_EQ(rig.host.GuidingInfoCaptions().front(), "Guiding Info - Darkframe in Progress");
  EXPECT_FALSE(state.matchingDarkframe);
}

TEST_F(SelfGuidedCaptureTest, ALostStarEndsTheExposure) {
  // The same exposure again, on a camera that stops answering at the last guide frame but
  // one (in the second half): the frames come back empty and the star is lost.
  testing::TestRig dry;
  std::filesystem::create_directories(dry.corvex.paths.SettingsFile().parent_path());
  sim::SimConfig config;
  config.fullReadoutMs = 0;
  auto dryObservatory = std::make_shared<sim::SimulatedObservatory>(dry.clock, config);
  dry.corvex.devices = sim::MakeSimulatedEnumerator(dryObservatory);
  ASSERT_TRUE(PrepareSelfGuiding(dry.corvex));
  CountedSteps counted(*dryObservatory);
  ASSERT_EQ(RunCapture(dry.corvex, SelfGuidedPanel(), counted), CaptureResult::kCompleted);
  ASSERT_GT(counted.requestsAtCycle.size(), 3u);

  testing::TestRig lost;
  std::filesystem::create_directories(lost.corvex.paths.SettingsFile().parent_path());
  config.disconnectAfter = counted.requestsAtCycle[counted.requestsAtCycle.size() - 2];
  auto lostObservatory = std::make_shared<sim::SimulatedObservatory>(lost.clock, config);
  lost.corvex.devices = sim::MakeSimulatedEnumerator(lostObservatory);
  ASSERT_TRUE(PrepareSelfGuiding(lost.corvex));
  const std::size_t from = lostObservatory->readouts().size();
  EXPECT_EQ(RunCapture(lost.corvex, SelfGuidedPanel(), steps), CaptureResult::kEndedEarly);
  const auto texts = lost.host.MessageTexts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Selfguiding terminated - lost star"),
            texts.end());
  EXPECT_EQ(FullFrameFields(*lostObservatory, from), std::vector<int>{1})
      << "the exposure ended before its second half was read";
  EXPECT_FALSE(lost.corvex.state.selfGuideNext);
  EXPECT_FALSE(lost.corvex.state.guideWindowActive);
  EXPECT_FALSE(lost.host.guidingInfoOpen);
  EXPECT_FALSE(lost.host.progressOpen);
}

}  // namespace
}  // namespace corvex
