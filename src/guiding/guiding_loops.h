// The guiding loops: continuous self-guiding with the main camera, the guiding inside a
// self-guided exposure (its preparation, its cycles and the switch at mid-exposure), and
// guiding from the guider camera, on its own or during a main-camera exposure.
//
// All of it runs on the calling thread; the Host is pumped between cycles, and a press, or
// clearing the flag a loop tests (continuousMode, guiderGuidingRunning), stops it.
#pragma once

#include <functional>

#include "camera/capture_run.h"
#include "guiding/guiding_state.h"

namespace corvex {

struct Corvex;

inline constexpr int kGuidingReady = 0;
inline constexpr int kGuidingRefused = 1;     // its message has been shown
inline constexpr int kGuidingLinkFailed = 2;  // "Communication with telescope failed"
inline constexpr int kGuidingStarNotFound = 3;

// Hears every cycle of a loop after its correction (the CLI logs it, and may stop the loop by
// clearing the flag the loop tests).
using GuidingCycleObserver = std::function<void(Corvex&, const GuideCorrection&)>;

// "Start Auto-Guiding": repeated guide-window exposures around the picked star, one
// correction each, until continuousMode is cleared; then "Guiding Terminated".
void RunContinuousSelfGuiding(Corvex& corvex, const GuidingCycleObserver& observer = {});

// Before a self-guided exposure: the guide window, three settling frames and the reference.
int PrepareSelfGuidedExposure(Corvex& corvex);
// One guide-window frame during a self-guided exposure and, unless it is a dark frame, one
// correction. False once guiding has ended itself (the star was lost).
bool SelfGuideCycle(Corvex& corvex, bool firstHalfRead);
// Right after the mid-exposure download: the reference taken again on the new field.
void SwitchGuideFrame(Corvex& corvex);

// Guiding with the guider camera: start (the reference and three settling corrections) and
// one cycle (a frame and a correction; a lost star sets guiderStarLost).
int StartGuiderGuiding(Corvex& corvex);
void GuiderCycle(Corvex& corvex);
// The guider dialog's "Start Guiding": cycles until the star is lost or guiderGuidingRunning
// is cleared ("Stop Guiding", or a press).
void RunGuiderGuiding(Corvex& corvex, const GuidingCycleObserver& observer = {});

// What a capture run calls: self-guided and matching dark exposures, and guider guiding for
// "AutoGuide Image".
class CaptureGuidingSteps : public CaptureGuiding {
 public:
  bool BeginSelfGuidedExposure(Corvex& corvex) override;
  void BeforeFirstHalfRead(Corvex& corvex) override;
  void AfterFirstHalfRead(Corvex& corvex) override;
  bool Cycle(Corvex& corvex, bool firstHalfRead) override;
  void EndSelfGuidedExposure(Corvex& corvex) override;
  bool StartGuiderGuiding(Corvex& corvex) override;
  bool GuiderStep(Corvex& corvex) override;
  void StopGuiderGuiding(Corvex& corvex) override;
};

}  // namespace corvex
