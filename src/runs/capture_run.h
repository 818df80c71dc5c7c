// The capture run: the camera panel's "Take Photo" becomes an optional countdown, one or more
// exposures with their progress, the readout into currentImage and the automatic steps after
// each frame (dark subtraction, align and add, colour synthesis, display, quick save, pause).
// It pumps the Host between its steps; an explicit cancel request ends it (after asking, when
// the exposure under way has collected light for more than 10 seconds).
//
// Whichever way a run ends, it leaves no guiding behind: the guide window and the guiding
// windows are closed, the focus window is back at 184, 65 and the guide star where it was
// picked. A frame that did not arrive whole is never kept: the image before it stays.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "runs/dithering.h"

namespace corvex {

struct Corvex;
struct ProgramState;

// What the guiding code does inside a run. With no guiding every step does nothing and the
// exposures are plain ones.
class CaptureGuiding {
 public:
  virtual ~CaptureGuiding() = default;
  // A self-guided exposure has started: open the guiding information and, unless it is a
  // matching dark frame, prepare guiding. False (the run ends at once) when that fails.
  virtual bool BeginSelfGuidedExposure(Corvex&) { return true; }
  // Around the mid-exposure download of the interlaced sensor's first half.
  virtual void BeforeFirstHalfRead(Corvex&) {}
  virtual void AfterFirstHalfRead(Corvex&) {}
  // One guide frame and correction on a turn of the exposure's wait; false when guiding has
  // ended itself (the star was lost).
  virtual bool Cycle(Corvex&, bool firstHalfRead) {
    (void)firstHalfRead;
    return true;
  }
  // The self-guided exposure is being read (or was abandoned): close its information.
  virtual void EndSelfGuidedExposure(Corvex&) {}
  // Guiding from the guider camera: start it (false when it cannot), one step during the wait
  // (true when the exposure must end now), and stop it.
  virtual bool StartGuiderGuiding(Corvex&) { return false; }
  virtual bool GuiderStep(Corvex&) { return false; }
  virtual void StopGuiderGuiding(Corvex&) {}
  // The run begins, and ends whichever way: a dither's move of the guide reference does not
  // outlive the run.
  virtual void BeginRun(Corvex&) {}
  virtual void EndRun(Corvex&) {}
  // Between two exposures of a guided series: moves the guide reference by a new dither
  // offset and guides until it settles (self-guided: on guide-window frames; otherwise the
  // guider camera, whose guiding runs on). Nothing when this guiding cannot dither.
  struct DitherOutcome {
    DitherOffset offset;
    SettleResult settle;
  };
  virtual std::optional<DitherOutcome> Dither(Corvex&, const DitherSettings&, bool /*selfGuided*/,
                                              const SettleSteps&) {
    return std::nullopt;
  }
};

enum class PanelOutcome { kTakePhoto, kCancel, kGoToGuider };
enum class CaptureResult {
  kCompleted,       // the run ended (also when a cancel request ended it)
  kPanelCancelled,  // the panel was left without "Take Photo"
  kGoToGuider,      // the panel's "GoTo Guider": the window opens the guider camera interface
  kNoCamera,        // "Sorry, No camera found on USB"
  kEndedEarly,      // no guide star, a failed telescope check, or guiding lost
  kNotStarted,      // refused before the first exposure (its message says why)
  kReadoutFailed,   // a readout did not arrive whole; the run ended there
};

// Waits n seconds pumping the Host; a cancel request beeps and ends the wait early (returns
// true).
bool WaitSeconds(Corvex& corvex, int seconds);

// Why a run with these settings could not be aligned: an aligned series (more than one
// exposure, not continuous, not self-guided, aligned on the star) without a picked guide star
// whose search square lies inside the image. nullopt when nothing is missing.
std::optional<std::string> CheckSeriesAlignment(const ProgramState& state);

// The camera panel runs as `panel` (it edits the capture settings in ProgramState and says
// how it was left); then the run. Before the first exposure the run checks the alignment
// (above) and its calibration files, and loads the dark frame it will subtract from every
// frame; when either cannot be used it shows why and takes no exposure (kNotStarted).
CaptureResult RunCapture(Corvex& corvex, const std::function<PanelOutcome(Corvex&)>& panel,
                         CaptureGuiding& guiding);

}  // namespace corvex
