// The frames calibration and the guiding loops measure on: guide-window frames of the main
// camera, taken at the current exposure settings and shown as they arrive, and guider camera
// frames. Each says whether it arrived whole, because a frame whose readout failed holds
// nothing (or the last frame's leftovers) and must never be measured.
#pragma once

namespace corvex {

struct Corvex;

// Redraws the display from the guide window at the start of currentImage.
void ShowGuideFrame(Corvex& corvex);

// The main window's "take and show one guide exposure": a window frame at the current
// exposure settings, then its display. False when a transfer of it failed.
bool TakeGuideExposure(Corvex& corvex);

// One guider camera frame into guiderImage (GuiderExposure). False when a transfer of it
// failed.
bool TakeGuiderFrame(Corvex& corvex);

}  // namespace corvex
