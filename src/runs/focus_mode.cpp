#include "runs/focus_mode.h"

#include "commands/camera_commands.h"
#include "corvex.h"
#include "state/messages.h"

namespace corvex {

namespace {

// Before each phase: a stop request (a cancel from the Host) ends focus mode after the phase.
void CheckForStop(Corvex& corvex) {
  if (corvex.host.PumpEvents()) corvex.state.focusStop = true;
}

}  // namespace

bool RunFocusMode(Corvex& corvex, const std::function<bool(int peak, int exposureMs)>& afterFrame) {
  ProgramState& state = corvex.state;
  state.focusStop = false;
  state.focusRunning = false;
  if (state.exposureUnit == 'm' || state.exposureValue >= 100) return true;
  state.focusRunning = true;
  bool framesRead = true;
  while (true) {
    // The frame phase.
    CheckForStop(corvex);
    corvex.host.SetWaitCursor(true);
    const int peak = FocusExposure(corvex);
    const int usedMs = state.exposureMs;
    corvex.host.SetWaitCursor(false);
    if (peak == kFocusFrameFailed) {
      // Going on would show peak 0 frame after frame (and auto-exposure would keep doubling
      // the exposure) on a camera that is not answering.
      ShowMessage(corvex.host, kFreeTextMessage,
                  "Focus mode stopped: the focus frame could not be read from the camera.");
      state.focusStop = true;
      framesRead = false;
      break;
    }
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
  return framesRead;
}

}  // namespace corvex
