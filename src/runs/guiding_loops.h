// The guiding loops: continuous self-guiding with the main camera, the guiding inside a
// self-guided exposure (its preparation, its cycles and the switch at mid-exposure), and
// guiding from the guider camera, on its own or during a main-camera exposure.
//
// All of it runs on the calling thread; the Host is pumped between cycles, and a press, or
// clearing the flag a loop tests (continuousMode, guiderGuidingRunning), stops it. A frame
// that did not arrive is never measured, and a loop that goes kMaxMissedFrames frames in a
// row without finding its star ends with a message instead of guiding on nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "runs/capture_run.h"
#include "runs/dithering.h"
#include "state/guiding_state.h"

namespace corvex {

struct Corvex;

inline constexpr int kGuidingReady = 0;
inline constexpr int kGuidingRefused = 1;     // its message has been shown
inline constexpr int kGuidingLinkFailed = 2;  // "Communication with telescope failed"
inline constexpr int kGuidingStarNotFound = 3;
inline constexpr int kGuidingCancelled = 4;     // the user's cancel press
inline constexpr int kGuidingCameraFailed = 5;  // the frames did not arrive
inline constexpr int kGuidingMountMoving = 6;   // a stop could not be sent

inline constexpr int kMaxMissedFrames = 10;

// How a guiding loop ended.
enum class GuidingEnd {
  kStopped,       // the flag the loop tests was cleared (a Stop button, or the caller's end)
  kCancelled,     // the user's cancel press
  kRefused,       // it did not start; its message has been shown
  kStarLost,      // no guide star in kMaxMissedFrames frames in a row
  kCameraFailed,  // no frame arrived kMaxMissedFrames times in a row
  kMountMoving,   // a stop could not be sent: the telescope may still be moving
};

// Hears every turn of a loop, after its correction or its missed frame (result 3 or 4): the
// CLI logs the corrections, and may stop the loop by clearing the flag the loop tests.
using GuidingCycleObserver = std::function<void(Corvex&, const GuideCorrection&)>;

// "Start Auto-Guiding": repeated guide-window exposures around the picked star, one
// correction each, until continuousMode is cleared; then "Guiding Terminated".
GuidingEnd RunContinuousSelfGuiding(Corvex& corvex, const GuidingCycleObserver& observer = {});

// Before a self-guided exposure: the guide window, three settling frames and the reference.
// With a `target` (a dithered series) the star is looked for there and the reference stays
// on it, instead of being taken from wherever the star is.
int PrepareSelfGuidedExposure(Corvex& corvex, const TenthsPoint* target = nullptr);
// One guide-window frame during a self-guided exposure and, unless it is a dark frame, one
// correction. False once guiding has ended itself (the star was lost).
bool SelfGuideCycle(Corvex& corvex, bool firstHalfRead);
// Right after the mid-exposure download: the reference taken again on the new field.
void SwitchGuideFrame(Corvex& corvex);

// Guiding with the guider camera: start (the reference and three settling corrections) and
// one cycle (a frame and a correction). guiderStarLost is set once guiding has given up: too
// many frames in a row without the star, or a telescope that could not be stopped.
int StartGuiderGuiding(Corvex& corvex);
GuideCorrection GuiderCycle(Corvex& corvex);
// The guider dialog's "Start Guiding": cycles until guiding gives up or guiderGuidingRunning
// is cleared ("Stop Guiding", or a press).
GuidingEnd RunGuiderGuiding(Corvex& corvex, const GuidingCycleObserver& observer = {});

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
  void BeginRun(Corvex& corvex) override;
  void EndRun(Corvex& corvex) override;
  std::optional<DitherOutcome> Dither(Corvex& corvex, const DitherSettings& settings,
                                      bool selfGuided, const SettleSteps& steps) override;

  // The dither offsets' seed; random when not set (tests and simulated runs set one).
  std::optional<std::uint64_t> ditherSeed;

 private:
  // Where the run's guiding started (the dither offsets are kept from here), the offset in
  // force, and whether a dither left the guiding window open for the next exposure.
  struct DitherState {
    bool hasBase = false;
    TenthsPoint base;
    DitherOffset offset;
    std::optional<DitherOffsets> offsets;
    bool infoOpen = false;
  };
  TenthsPoint DitherTarget() const;
  DitherState dither_;
};

}  // namespace corvex
