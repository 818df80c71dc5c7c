// Focus mode on the simulated camera: frames, peaks, auto-exposure, the pause and the stop.
#include "runs/focus_mode.h"

#include <gtest/gtest.h>

#include "camera/camera_link.h"
#include "commands/display_commands.h"
#include "corvex.h"
#include "processing/display_image.h"
#include "sim/observatory.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

class FocusModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    observatory = std::make_shared<sim::SimulatedObservatory>(rig.clock, sim::SimConfig{});
    corvex.devices = sim::MakeSimulatedEnumerator(observatory);
    ASSERT_TRUE(DiscoverCamera(corvex.camera, *corvex.devices, corvex.state));
    InstallDisplayRebuild(corvex);
    corvex.state.exposureValue = 2;
    corvex.state.exposureUnit = 't';
  }
  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  std::shared_ptr<sim::SimulatedObservatory> observatory;
};

TEST_F(FocusModeTest, FramesUntilStoppedWithTheirPeaks) {
  std::vector<int> peaks;
  RunFocusMode(corvex, [&](int peak, int) {
    peaks.push_back(peak);
    return peaks.size() < 3;
  });
  ASSERT_EQ(peaks.size(), 3u);
  EXPECT_GT(peaks[0], 500) << "the bright star is in the default window";
  EXPECT_FALSE(corvex.state.focusRunning);
  EXPECT_EQ(corvex.display.shown, ShownBitmap::kFocusFrame);
  EXPECT_GE(rig.clock.NowMs(), 2 * 1000) << "a second's delay after each frame";
}

TEST_F(FocusModeTest, AutoExposureDoublesAFaintFrame) {
  corvex.state.autoExposureMode = true;
  corvex.state.exposureValue = 1;
  corvex.state.exposureUnit = 'h';  // 10 ms: far too faint
  std::vector<int> used;
  RunFocusMode(corvex, [&](int, int ms) {
    used.push_back(ms);
    return used.size() < 3;
  });
  EXPECT_EQ(used, (std::vector<int>{10, 20, 40}));
}

TEST_F(FocusModeTest, ThePauseQuestionAndLongExposures) {
  corvex.state.pauseBetweenExposures = true;
  rig.host.QueueAnswer(MessageResult::kCancel);
  int frames = 0;
  RunFocusMode(corvex, [&](int, int) { return ++frames < 10; });
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(rig.host.messages.back().caption, "Focus Frame Pause");

  corvex.state.exposureUnit = 'm';
  frames = 0;
  RunFocusMode(corvex, [&](int, int) { return ++frames < 10; });
  EXPECT_EQ(frames, 0) << "minute exposures do not focus";
}

TEST_F(FocusModeTest, ACameraThatStopsAnsweringStopsFocusMode) {
  sim::SimConfig config;
  config.disconnectAfter = 4;  // the first frame's clears and readout, then nothing
  observatory = std::make_shared<sim::SimulatedObservatory>(rig.clock, config);
  corvex.devices = sim::MakeSimulatedEnumerator(observatory);
  ASSERT_TRUE(DiscoverCamera(corvex.camera, *corvex.devices, corvex.state));
  corvex.state.autoExposureMode = true;
  corvex.state.exposureValue = 1;
  corvex.state.exposureUnit = 'h';
  std::vector<int> peaks;
  EXPECT_FALSE(RunFocusMode(corvex, [&](int peak, int) {
    peaks.push_back(peak);
    return peaks.size() < 10;
  }));
  EXPECT_EQ(peaks.size(), 1u) << "no peak of a frame that never came";
  EXPECT_EQ(corvex.state.exposureValue, 2) << "doubled once, after the one real frame";
  EXPECT_EQ(rig.host.MessageTexts().back(),
            "Focus mode stopped: the focus frame could not be read from the camera.");
  EXPECT_FALSE(corvex.state.focusRunning);
}

}  // namespace
}  // namespace corvex
