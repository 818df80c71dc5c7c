#include "guiding/guide_frames.h"

#include "commands/camera_commands.h"
#include "corvex.h"

namespace corvex {

void ShowGuideFrame(Corvex& corvex) {
  ProgramState& state = corvex.state;
  const bool wasShown = state.focusFrameShown;
  state.focusFrameShown = true;
  RebuildDisplay(corvex);
  state.focusFrameShown = wasShown;
}

bool TakeGuideExposure(Corvex& corvex) {
  const unsigned faults = corvex.camera.transferFaults;
  StarWindowExposure(corvex);
  ShowGuideFrame(corvex);
  return corvex.camera.transferFaults == faults;
}

bool TakeGuiderFrame(Corvex& corvex) {
  const unsigned faults = corvex.camera.transferFaults;
  GuiderExposure(corvex);
  return corvex.camera.transferFaults == faults;
}

}  // namespace corvex
