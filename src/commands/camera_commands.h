// The program's camera operations: each takes what it needs from ProgramState (the exposure
// settings, the focus window, the field, the guider's options) and lays its frame into the
// ImageStore, over the device operations of camera/. The capture run, focus mode, guiding,
// the windows and the command-line tool call these.
#pragma once

namespace corvex {

struct Corvex;

// Reads the whole sensor (fieldSelect) into currentImage; the exposure, of exposureMs, is
// already running. Returns false when the request could not be sent or the frame came back
// short; the link has reported it, and what did not arrive reads 0. Callers that keep a frame
// check the result. When readoutTimeMs holds 3000 and the exposure is over half a second, the
// time the frame took to arrive replaces it.
bool ReadFullFrame(Corvex& corvex);
// A whole-frame exposure of exposureMs from a clean sensor, waited out without pumping the
// Host (a first frame to pick a guide star on). False as for ReadFullFrame; currentImage then
// keeps the image it held before.
bool ExposeFullFrame(Corvex& corvex);

// What FocusExposure returns when the focus window could not be read.
inline constexpr int kFocusFrameFailed = -1;
// One focus frame of the 128 x 128 window at focusLeft, focusTop into the start of
// currentImage (stride 128), at the exposure value and unit (exposureMs is set from them);
// returns and stores focusPeak. A frame that did not arrive whole returns kFocusFrameFailed
// and leaves focusPeak and the image as they were.
int FocusExposure(Corvex& corvex);
// One focus-window frame for measuring a star; no peak. False when it did not arrive whole
// (the missing part reads 0).
bool StarWindowExposure(Corvex& corvex);
// One self-guiding window frame during a main exposure (guideExposureMs), from field 1 once
// the first half was read, else field 2, with the window gain unless the display stretch is
// on. False as for StarWindowExposure.
bool SelfGuideWindowExposure(Corvex& corvex, bool firstHalfRead);

// One guider frame into guiderImage, with dark, hot-pixel filter and gain as set. False when
// the frame did not arrive whole: what is missing reads 0, so that guiding loses its star
// instead of measuring an old frame; a caller that keeps frames must not keep this one.
bool GuiderExposure(Corvex& corvex);

// Moves the filter wheel (on filterWheelPort) to position 1-7; false, with nothing sent, for
// any other position.
bool SelectFilter(Corvex& corvex, int position);

}  // namespace corvex
