#include "camera/focus_mode.h"

#include "camera/camera_commands.h"
#include "corvex.h"

namespace corvex {

namespace {

// Before each phase: a press stops focus mode after the phase.
void CheckForStop(Corvex& corvex) {
  if (corvex.host.PumpEvents()) corvex.state.focusStop = true;
}

}  // namespace

void RunFocusMode(Corvex& corvex, const std::function<bool(int peak, int exposureMs)>& afterFrame) {
  ProgramState& state = corvex.state;
  state.focusStop = false;
  state.focusRunning = false;
  if (state.exposureUnit == 'm' || state.exposureValue >= 100) return;
  state.focusRunning = true;
  while (true) {
    // The frame phase.
    CheckForStop(corvex);
    corvex.host.SetWaitCursor(true);
    const int peak = FocusExposure(corvex);
    const int usedMs = state.exposureMs;
    corvex.host.SetWaitCursor(false);
    state.focusFrameShown = true;
    RebuildDisplay(corvex);  // the focus display, and with auto-exposure the next exposure
    if (afterFrame && !afterFrame(peak, usedMs)) state.focusStop = true;
    if (state.focusStop) break;

    // The pause phase.
    CheckForStop(corvex);
    corvex.host.Beep(kBeepSimple);
    if (state.pauseBetweenExposures &&
        corvex.host.ShowMessageBox("Press OK to continue or Stop to end focus mode.",
                                   "Focus Frame Pause", MessageButtons::kOkCancel,
                                   MessageIcon::kNone) != MessageResult::kOk) {
      state.focusStop = true;
    }
    if (state.settings.focusOneSecondDelay) corvex.clock.SleepFor(1000);
    if (state.focusStop) break;
  }
  state.focusRunning = false;
  state.focusFrameShown = false;
}

}  // namespace corvex
