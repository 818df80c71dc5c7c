#include "commands/camera_commands.h"

#include <algorithm>
#include <vector>

#include "camera/camera_requests.h"
#include "camera/exposures.h"
#include "corvex.h"
#include "state/exposure.h"

namespace corvex {

namespace {

constexpr int kReadoutTimeProbe = 3000;  // readoutTimeMs is measured while it holds this value
constexpr int kStarWindowWaitFromMs = 500;

WindowExposure FocusWindowExposure(const ProgramState& state, int waitFromMs,
                                   bool clearWhileWaiting) {
  return {.exposureMs = state.exposureMs,
          .field = state.fieldSelect,
          .left = state.focusLeft,
          .top = state.focusTop,
          .waitFromMs = waitFromMs,
          .clearWhileWaiting = clearWhileWaiting};
}

}  // namespace

bool ReadFullFrame(Corvex& corvex) {
  ProgramState& state = corvex.state;
  const bool measure = state.readoutTimeMs == kReadoutTimeProbe && state.exposureMs > 500;
  std::int64_t receiveMs = 0;
  const bool read = ReadFullFrame(corvex.camera, state.fieldSelect, state.exposureMs,
                                  corvex.store.currentImage, measure ? &receiveMs : nullptr);
  if (measure) state.readoutTimeMs = static_cast<int>(receiveMs);
  return read;
}

bool ExposeFullFrame(Corvex& corvex) {
  corvex.state.fieldSelect = kWholeFrameField;
  ClearRegister(corvex.camera);
  ClearSensor(corvex.camera);
  corvex.clock.SleepFor(corvex.state.exposureMs);
  ImageBuffer& image = corvex.store.currentImage;
  const std::vector<std::uint16_t> before(image.begin(), image.begin() + kImageValues);
  if (ReadFullFrame(corvex)) return true;
  std::copy(before.begin(), before.end(), image.begin());
  return false;
}

int FocusExposure(Corvex& corvex) {
  ProgramState& state = corvex.state;
  ImageBuffer& image = corvex.store.currentImage;
  const std::vector<std::uint16_t> before(image.begin(), image.begin() + kWindowBytes / 2);
  state.exposureMs = ShortExposureMs(state.exposureValue, state.exposureUnit);
  if (!ExposeFocusWindow(corvex.camera, FocusWindowExposure(state, kUndelayedReadout, true),
                         image)) {
    std::copy(before.begin(), before.end(), image.begin());
    return kFocusFrameFailed;
  }
  state.focusPeak = FocusPeak(image);
  return state.focusPeak;
}

bool StarWindowExposure(Corvex& corvex) {
  ProgramState& state = corvex.state;
  state.exposureMs = ShortExposureMs(state.exposureValue, state.exposureUnit);
  return ExposeFocusWindow(corvex.camera, FocusWindowExposure(state, kStarWindowWaitFromMs, false),
                           corvex.store.currentImage);
}

bool SelfGuideWindowExposure(Corvex& corvex, bool firstHalfRead) {
  ProgramState& state = corvex.state;
  state.fieldSelect = firstHalfRead ? kFirstHalfField : kSecondHalfField;
  // A stretched display shows the window as it is; otherwise the gain makes a faint star
  // visible (16 is the setting for none).
  const int gain = !state.displayStretchActive && state.guideWindowGain != 16
                       ? GuideWindowGainFactor(state.guideWindowGain)
                       : 1;
  return ExposeGuideWindow(corvex.camera, state.guideExposureMs, state.fieldSelect,
                           state.focusLeft, state.focusTop, gain, corvex.store.currentImage);
}

bool GuiderExposure(Corvex& corvex) {
  const ProgramState& state = corvex.state;
  ImageStore& store = corvex.store;
  const GuiderExposureOptions options{
      .exposureMs = GuiderExposureMs(state.guiderExposureValue, state.guiderExposureUnit),
      // A dark frame being taken is not cleaned with the dark it replaces.
      .dark = state.guiderDarkSubtract && !state.guiderDarkInProgress ? &store.guiderDark
                                                                      : nullptr,
      .hotPixelFilter = state.guiderHotPixelFilter,
      .gainFactor = GuiderGainFactor(state.guiderGain)};
  return ExposeGuider(corvex.camera, options, store.guiderImage, store.guiderScratch);
}

bool SelectFilter(Corvex& corvex, int position) {
  return SelectFilter(corvex.camera, static_cast<std::uint16_t>(corvex.state.filterWheelPort),
                      position);
}

}  // namespace corvex
