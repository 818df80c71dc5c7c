// The guide window frames that calibration and continuous self-guiding measure on, taken at
// the current exposure settings and shown as they arrive.
#pragma once

namespace corvex {

struct Corvex;

// Redraws the display from the guide window at the start of currentImage.
void ShowGuideFrame(Corvex& corvex);

// The main window's "take and show one guide exposure": a window frame at the current
// exposure settings, then its display.
void TakeGuideExposure(Corvex& corvex);

}  // namespace corvex
