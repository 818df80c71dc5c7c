// The capture run: the camera panel's "Take Photo" becomes an optional countdown, one or more
// exposures with their progress, the readout into currentImage and the automatic steps after
// each frame (dark subtraction, align and add, colour synthesis, display, quick save, pause).
// It pumps the Host between its steps, and a key or mouse press cancels it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace corvex {

struct Corvex;

// What the guiding code does inside a run. With no guiding every step does nothing and the
// exposures are plain ones.
class CaptureGuiding {
 public:
  virtual ~CaptureGuiding() = default;
  // Before a self-guided exposure: is the telescope there? False ends the run at once.
  virtual bool CheckTelescope(Corvex&) { return true; }
  // After the first half of an interlaced exposure has been read.
  virtual void AfterFirstHalf(Corvex&) {}
  // One guiding correction during the second half; false when guiding ended itself (lost).
  virtual bool Correction(Corvex&) { return true; }
  // Guiding from the guider camera: start it (false when it cannot), one step during the wait
  // (true when the exposure must end now), and stop it.
  virtual bool StartGuiderGuiding(Corvex&) { return false; }
  virtual bool GuiderStep(Corvex&) { return false; }
  virtual void StopGuiderGuiding(Corvex&) {}
};

enum class PanelOutcome { kTakePhoto, kCancel, kGoToGuider };
enum class CaptureResult {
  kCompleted,       // the run ended (also when a press cancelled it)
  kPanelCancelled,  // the panel was left without "Take Photo"
  kGoToGuider,      // the panel's "GoTo Guider": the window opens the guider camera interface
  kNoCamera,        // "Sorry, No camera found on USB"
  kEndedEarly,      // no guide star, a failed telescope check, or guiding lost
};

// How many progress steps an exposure shows: 6 for 5-12 s, 20 for 13 s and more or minutes,
// 2 otherwise.
int ProgressSteps(int exposureValue, char exposureUnit);

// Waits n seconds pumping the Host; a press beeps and ends the wait early (returns true).
bool WaitSeconds(Corvex& corvex, int seconds);

// The camera panel runs as `panel` (it edits the capture settings in ProgramState and says
// how it was left); then the run.
CaptureResult RunCapture(Corvex& corvex, const std::function<PanelOutcome(Corvex&)>& panel,
                         CaptureGuiding& guiding);

}  // namespace corvex
