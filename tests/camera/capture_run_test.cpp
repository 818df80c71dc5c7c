// The capture run on the simulated camera and a virtual clock: exposures, progress, series,
// continuous mode, cancelling, and the steps after each frame.
#include "camera/capture_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "camera/camera_commands.h"
#include "corvex.h"
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
  EXPECT_EQ(rig.host.notices, std::vector<std::string>{"Saving Image: c:\\AUTOSAVE    0.IMG"});
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
  ASSERT_EQ(RunCapture(corvex, Panel(2, 's', 3), noGuiding), CaptureResult::kCompleted);
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

}  // namespace
}  // namespace corvex
