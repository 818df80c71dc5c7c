#include "guiding/guide_frames.h"

#include "camera/camera_commands.h"
#include "corvex.h"

namespace corvex {

void ShowGuideFrame(Corvex& corvex) {
  ProgramState& state = corvex.state;
  const bool wasShown = state.focusFrameShown;
  state.focusFrameShown = true;
  RebuildDisplay(corvex);
  state.focusFrameShown = wasShown;
}

void TakeGuideExposure(Corvex& corvex) {
  StarWindowExposure(corvex);
  ShowGuideFrame(corvex);
}

}  // namespace corvex
