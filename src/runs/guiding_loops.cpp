#include "runs/guiding_loops.h"

#include <cstdio>
#include <optional>
#include <random>

#include "commands/camera_commands.h"
#include "corvex.h"
#include "guiding/guide_correction.h"
#include "guiding/guide_frames.h"
#include "guiding/star_centroid.h"
#include "guiding/telescope_link.h"
#include "runs/dithering.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr const char* kInfo = "Guiding Info";
constexpr const char* kCreating = "Guiding Info - Creating Guiding Frame";
constexpr const char* kStabilising = "Guiding Info - stabilising";
constexpr const char* kChecking = "Guiding Info - Checking Telescope";
constexpr const char* kDarkframe = "Guiding Info - Darkframe in Progress";
constexpr const char* kDownloading = "Guiding Info - Downloading Image";
constexpr const char* kSwitching = "Guiding Info - Switching Guiding Frame";
constexpr const char* kDithering = "Guiding Info - Dithering";

// The guiding information window, from the latest measurement.
void UpdateInfo(Corvex& corvex, bool guider) {
  const ProgramState& state = corvex.state;
  const GuidingState& guiding = corvex.guiding;
  GuidingInfo info;
  info.guider = guider;
  info.caption = guiding.guidingInfoText;
  const int x = guider ? state.guiderStarX : state.starX;
  const int y = guider ? state.guiderStarY : state.starY;
  const int xTenths = guider ? state.guiderStarXTenths : state.starXTenths;
  const int yTenths = guider ? state.guiderStarYTenths : state.starYTenths;
  info.x = x + xTenths * 0.1;
  info.y = y + yTenths * 0.1;
  info.dx = guiding.errorX * 0.001;
  info.dy = guiding.errorY * 0.001;
  info.slewTimeX = guiding.guiderSlewTimeX;
  info.slewTimeY = guiding.guiderSlewTimeY;
  info.referenceX = guiding.referenceX;
  info.referenceY = guiding.referenceY;
  info.measuredCorrections = guiding.measuredCorrections;
  info.timeMs = corvex.clock.NowMs();
  corvex.host.ShowGuidingInfo(info);
}

void SetCaption(Corvex& corvex, const char* caption, bool guider) {
  corvex.guiding.guidingInfoText = caption;
  UpdateInfo(corvex, guider);
}

// The reference from the latest search, with its tenths: the main camera's star, or the
// guider's.
void ReferenceFromStar(Corvex& corvex) {
  const ProgramState& s = corvex.state;
  corvex.guiding.SetReference(s.starX, s.starXTenths, s.starY, s.starYTenths);
}

void ReferenceFromGuiderStar(Corvex& corvex) {
  const ProgramState& s = corvex.state;
  corvex.guiding.SetReference(s.guiderStarX, s.guiderStarXTenths, s.guiderStarY,
                              s.guiderStarYTenths);
}

// The main camera can guide: a method, a camera and a picked star (code 53), and a link
// (code 54).
int CheckSelfGuiding(Corvex& corvex) {
  const ProgramState& state = corvex.state;
  if (!TelescopeMethodChosen(corvex) || !state.cameraFound || !state.guideStarPicked) {
    ShowMessage(corvex.host, 53);
    return kGuidingRefused;
  }
  if (!PrepareTelescopeLink(corvex)) {
    ShowMessage(corvex.host, 54);
    return kGuidingLinkFailed;
  }
  return kGuidingReady;
}

// A search around the reference during a self-guided exposure (silent when nothing is found).
bool FindAtReference(Corvex& corvex) {
  const GuidingState& guiding = corvex.guiding;
  return FindStarCentre(corvex, guiding.referenceX, guiding.referenceY, corvex.state.maskRadius,
                        true) == kStarFound;
}

GuidingEnd EndFor(int result) {
  if (result == kGuideFrameFailed) return GuidingEnd::kCameraFailed;
  if (result == kGuideMountMoving) return GuidingEnd::kMountMoving;
  return GuidingEnd::kStarLost;
}

int StartCode(int result) {
  if (result == kGuideFrameFailed) return kGuidingCameraFailed;
  if (result == kGuideMountMoving) return kGuidingMountMoving;
  return kGuidingStarNotFound;
}

// Counts a turn that measured nothing, and forgets the count on one that measured. Guiding
// gives up (and says why) at kMaxMissedFrames in a row, and at once on a telescope that could
// not be stopped (the link has said so).
std::optional<GuidingEnd> CountMiss(Corvex& corvex, int result) {
  GuidingState& guiding = corvex.guiding;
  if (result == kGuideMountMoving) return GuidingEnd::kMountMoving;
  if (result != kGuideStarLost && result != kGuideFrameFailed) {
    guiding.missedFrames = 0;
    return std::nullopt;
  }
  if (++guiding.missedFrames < kMaxMissedFrames) return std::nullopt;
  char text[160];
  std::snprintf(text, sizeof text,
                result == kGuideFrameFailed
                    ? "Guiding stopped - no frame came from the camera %d times in a row"
                    : "Guiding stopped - the guide star was not found in %d frames in a row",
                kMaxMissedFrames);
  ShowMessage(corvex.host, kFreeTextMessage, text);
  return EndFor(result);
}

}  // namespace

GuidingEnd RunContinuousSelfGuiding(Corvex& corvex, const GuidingCycleObserver& observer) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  // 1. Refusals.
  if (CheckSelfGuiding(corvex) != kGuidingReady) return GuidingEnd::kRefused;
  // 2. Start.
  state.selfGuidingActive = true;
  state.continuousMode = true;
  guiding.calibrationActive = false;
  state.pauseBetweenExposures = false;
  state.maskRadius = state.settings.starMaskRadius;
  PlaceGuideWindow(corvex);
  guiding.guideAbort = false;
  guiding.missedFrames = 0;
  guiding.selfGuideStarSignal = 0;
  guiding.referenceX = state.starX;  // the tenths follow with the first frame
  guiding.referenceY = state.starY;
  guiding.guidingInfoText = kInfo;

  // 3. One frame and one correction a cycle; the caller hears every turn, so that its own
  // end (a time, a count) is checked whatever the frame held.
  GuidingEnd end = GuidingEnd::kStopped;
  while (state.continuousMode) {
    if (corvex.host.PumpEvents()) {
      end = GuidingEnd::kCancelled;
      break;
    }
    GuideCorrection correction;
    if (!TakeGuideExposure(corvex)) {
      correction.result = kGuideFrameFailed;
    } else if (guiding.firstGuideFrame) {
      // The first frame sets the reference where the star is, tenths included, so that
      // guiding starts from no error; without a star there it waits for the next frame.
      if (FindAtReference(corvex) &&
          FindStarCentre(corvex, state.starX, state.starY, state.maskRadius, true) == kStarFound) {
        ReferenceFromStar(corvex);
        guiding.selfGuideStarSignal = guiding.starSignal;
        guiding.firstGuideFrame = false;
        UpdateInfo(corvex, false);
      } else {
        correction.result = kGuideStarLost;
      }
    }
    if (correction.result == kGuideDone) {
      if (corvex.host.PumpEvents()) {
        end = GuidingEnd::kCancelled;
        break;
      }
      if (guiding.guideAbort) continue;
      correction = SelfGuideCorrection(corvex, false);
      UpdateInfo(corvex, false);
    }
    guiding.lastCorrection = correction;
    if (observer) observer(corvex, correction);
    if (const auto gaveUp = CountMiss(corvex, correction.result)) {
      end = *gaveUp;
      break;
    }
  }

  // 4. The end.
  state.continuousMode = false;
  ShowMessage(corvex.host, 51);
  guiding.firstGuideFrame = true;
  corvex.host.CloseGuidingInfo();
  ResetFocusFrameCentre(state);
  state.starX = guiding.savedStarX;
  state.starY = guiding.savedStarY;
  state.selfGuidingActive = false;
  state.guideWindowActive = false;
  guiding.guideAbort = false;
  return end;
}

int PrepareSelfGuidedExposure(Corvex& corvex, const TenthsPoint* target) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  if (const int refused = CheckSelfGuiding(corvex); refused != kGuidingReady) return refused;
  const unsigned faults = corvex.camera.transferFaults;
  SetCaption(corvex, kCreating, false);
  state.maskRadius = state.settings.starMaskRadius;
  PlaceGuideWindow(corvex);
  guiding.SetReference(state.starX, 0, state.starY, 0);
  if (target) SetReferenceTenths(guiding, *target);
  SetCaption(corvex, kStabilising, false);
  for (int frame = 0; frame < 3; ++frame) {
    SelfGuideWindowExposure(corvex, false);
    ShowGuideFrame(corvex);
  }
  // A reference taken on frames that did not arrive whole would be guided to.
  const bool framesArrived = corvex.camera.transferFaults == faults;
  if (!framesArrived || !FindAtReference(corvex)) {
    state.selfGuidingActive = false;
    state.guideWindowActive = false;
    return framesArrived ? kGuidingStarNotFound : kGuidingCameraFailed;
  }
  ReferenceFromStar(corvex);
  SetCaption(corvex, kInfo, false);
  const unsigned before = corvex.camera.transferFaults;
  SelfGuideWindowExposure(corvex, false);
  if (corvex.camera.transferFaults == before && FindAtReference(corvex)) ReferenceFromStar(corvex);
  // A dithered exposure is guided to its dither's place itself: the searches only found the
  // star near it, and the frames follow the dither exactly rather than the star's wander.
  if (target) SetReferenceTenths(guiding, *target);
  guiding.missedFrames = 0;
  return kGuidingReady;
}

bool SelfGuideCycle(Corvex& corvex, bool firstHalfRead) {
  ProgramState& state = corvex.state;
  const unsigned faults = corvex.camera.transferFaults;
  SelfGuideWindowExposure(corvex, firstHalfRead);
  if (state.matchingDarkframe) return true;
  ShowGuideFrame(corvex);
  if (corvex.camera.transferFaults != faults) {
    // Never measured. Inside an exposure guiding ends at the first frame without its star,
    // and a frame that did not arrive has none.
    state.selfGuidingActive = false;
    state.selfGuideNext = false;
    state.guideWindowActive = false;
    return false;
  }
  const GuideCorrection correction = SelfGuideCorrection(corvex);
  UpdateInfo(corvex, false);
  if (correction.result == kGuideMountMoving) {
    // The telescope may still be moving (the user has been told): no more guiding on it.
    state.selfGuidingActive = false;
    state.selfGuideNext = false;
    state.guideWindowActive = false;
  }
  return state.selfGuideNext;
}

void SwitchGuideFrame(Corvex& corvex) {
  const bool dark = corvex.state.matchingDarkframe;
  SetCaption(corvex, kSwitching, false);
  unsigned faults = corvex.camera.transferFaults;
  for (int frame = 0; frame < 2; ++frame) SelfGuideWindowExposure(corvex, true);
  if (!dark && corvex.camera.transferFaults == faults && FindAtReference(corvex)) {
    ReferenceFromStar(corvex);
  }
  SetCaption(corvex, dark ? kDarkframe : kInfo, false);
  faults = corvex.camera.transferFaults;
  SelfGuideWindowExposure(corvex, true);
  if (!dark && corvex.camera.transferFaults == faults && FindAtReference(corvex)) {
    ReferenceFromStar(corvex);
  }
}

int StartGuiderGuiding(Corvex& corvex) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  if (!TelescopeMethodChosen(corvex) || !state.cameraFound) {
    ShowMessage(corvex.host, 55);
    return kGuidingRefused;
  }
  if (!guiding.guiderStarSelected) {
    ShowMessage(corvex.host, 53);
    return kGuidingRefused;
  }
  if (!PrepareTelescopeLink(corvex)) {
    ShowMessage(corvex.host, 54);
    return kGuidingLinkFailed;
  }
  SetCaption(corvex, kCreating, true);
  guiding.guiderStarLost = false;
  state.maskRadius = state.settings.starMaskRadius;
  guiding.guideAbort = false;
  guiding.missedFrames = 0;

  // The reference: the selected star on a first frame that arrived, with its tenths and its
  // brightness (at the exposure guiding runs with) as the guide star's from now on.
  bool referenced = false;
  while (!referenced) {
    if (corvex.host.PumpEvents()) return kGuidingCancelled;
    int result = kGuideFrameFailed;
    if (TakeGuiderFrame(corvex)) {
      guiding.SetReference(guiding.selectedGuiderStarX, 0, guiding.selectedGuiderStarY, 0);
      result = kGuideStarLost;
      if (FindGuiderStarCentre(corvex, guiding.referenceX, guiding.referenceY, state.maskRadius,
                               true) == kStarFound) {
        ReferenceFromGuiderStar(corvex);
        guiding.guideStarSignal = guiding.guiderStarSignal;
        referenced = true;
        result = kGuideDone;
      }
    }
    if (CountMiss(corvex, result)) {
      guiding.guiderStarLost = true;
      return result == kGuideFrameFailed ? kGuidingCameraFailed : kGuidingStarNotFound;
    }
  }
  SetCaption(corvex, kStabilising, true);
  if (corvex.host.PumpEvents()) return kGuidingCancelled;
  // Three settling corrections, a frame between each.
  for (int i = 0; i < 3; ++i) {
    const GuideCorrection correction = i == 0 ? GuiderCorrection(corvex) : GuiderCycle(corvex);
    if (i == 0 && CountMiss(corvex, correction.result)) guiding.guiderStarLost = true;
    UpdateInfo(corvex, true);
    if (guiding.guiderStarLost) return StartCode(correction.result);
  }
  SetCaption(corvex, kInfo, true);
  if (!TakeGuiderFrame(corvex) && CountMiss(corvex, kGuideFrameFailed)) {
    guiding.guiderStarLost = true;
    return kGuidingCameraFailed;
  }
  UpdateInfo(corvex, true);
  if (corvex.host.PumpEvents()) return kGuidingCancelled;
  return kGuidingReady;
}

GuideCorrection GuiderCycle(Corvex& corvex) {
  GuidingState& guiding = corvex.guiding;
  GuideCorrection correction;
  if (TakeGuiderFrame(corvex)) {
    correction = GuiderCorrection(corvex);
    if (correction.result != kGuideStarLost) UpdateInfo(corvex, true);
  } else {
    correction.result = kGuideFrameFailed;
    guiding.lastCorrection = correction;
  }
  if (CountMiss(corvex, correction.result)) guiding.guiderStarLost = true;
  return correction;
}

GuidingEnd RunGuiderGuiding(Corvex& corvex, const GuidingCycleObserver& observer) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  state.guiderGuidingRunning = true;
  if (const int started = StartGuiderGuiding(corvex); started != kGuidingReady) {
    state.guiderGuidingRunning = false;
    corvex.host.CloseGuidingInfo();
    switch (started) {
      case kGuidingCancelled:
        return GuidingEnd::kCancelled;
      case kGuidingStarNotFound:
        return GuidingEnd::kStarLost;
      case kGuidingCameraFailed:
        return GuidingEnd::kCameraFailed;
      case kGuidingMountMoving:
        return GuidingEnd::kMountMoving;
      default:
        return GuidingEnd::kRefused;
    }
  }
  GuidingEnd end = GuidingEnd::kStopped;
  while (state.guiderGuidingRunning) {
    const GuideCorrection correction = GuiderCycle(corvex);
    if (observer) observer(corvex, correction);
    if (guiding.guiderStarLost) {
      end = EndFor(correction.result);
      break;
    }
    if (corvex.host.PumpEvents()) {
      end = GuidingEnd::kCancelled;
      break;
    }
  }
  state.guiderGuidingRunning = false;
  corvex.host.CloseGuidingInfo();
  return end;
}

bool CaptureGuidingSteps::BeginSelfGuidedExposure(Corvex& corvex) {
  if (corvex.state.matchingDarkframe) {
    SetCaption(corvex, kDarkframe, false);
    return true;
  }
  SetCaption(corvex, kChecking, false);
  const TenthsPoint target = DitherTarget();
  const bool dithered = dither_.hasBase && dither_.offset != DitherOffset{};
  if (PrepareSelfGuidedExposure(corvex, dithered ? &target : nullptr) != kGuidingReady) {
    return false;
  }
  if (!dither_.hasBase) {
    dither_.base = ReferenceTenths(corvex.guiding);
    dither_.hasBase = true;
  }
  return true;
}

void CaptureGuidingSteps::BeforeFirstHalfRead(Corvex& corvex) {
  SetCaption(corvex, kDownloading, false);
}

void CaptureGuidingSteps::AfterFirstHalfRead(Corvex& corvex) { SwitchGuideFrame(corvex); }

bool CaptureGuidingSteps::Cycle(Corvex& corvex, bool firstHalfRead) {
  return SelfGuideCycle(corvex, firstHalfRead);
}

void CaptureGuidingSteps::EndSelfGuidedExposure(Corvex& corvex) {
  corvex.host.CloseGuidingInfo();
  dither_.infoOpen = false;
  corvex.state.selfGuidingActive = false;
  corvex.state.guideWindowActive = false;
}

bool CaptureGuidingSteps::StartGuiderGuiding(Corvex& corvex) {
  if (corvex::StartGuiderGuiding(corvex) == kGuidingReady) {
    dither_.base = ReferenceTenths(corvex.guiding);
    dither_.hasBase = true;
    return true;
  }
  // A start that failed or was cancelled half-way has opened the guiding window already.
  corvex.host.CloseGuidingInfo();
  return false;
}

bool CaptureGuidingSteps::GuiderStep(Corvex& corvex) {
  GuiderCycle(corvex);
  return corvex.guiding.guiderStarLost;
}

void CaptureGuidingSteps::StopGuiderGuiding(Corvex& corvex) { corvex.host.CloseGuidingInfo(); }

void CaptureGuidingSteps::BeginRun(Corvex&) { dither_ = DitherState{}; }

void CaptureGuidingSteps::EndRun(Corvex& corvex) {
  // Guider guiding that outlives the run (started from the guider panel) guides on the star
  // where it was picked again.
  if (dither_.hasBase && dither_.offset != DitherOffset{}) {
    if (corvex.state.guiderGuidingRunning) SetReferenceTenths(corvex.guiding, dither_.base);
  }
  if (dither_.infoOpen) corvex.host.CloseGuidingInfo();
  dither_ = DitherState{};
}

TenthsPoint CaptureGuidingSteps::DitherTarget() const {
  return {dither_.base.x + 10 * dither_.offset.x, dither_.base.y + 10 * dither_.offset.y};
}

std::optional<CaptureGuiding::DitherOutcome> CaptureGuidingSteps::Dither(
    Corvex& corvex, const DitherSettings& settings, bool selfGuided, const SettleSteps& steps) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  if (!dither_.hasBase) return std::nullopt;
  if (!dither_.offsets) {
    dither_.offsets.emplace(settings.amountPx, ditherSeed ? *ditherSeed : std::random_device{}());
  }
  DitherOutcome outcome;
  outcome.offset = dither_.offset = dither_.offsets->Next();

  SettleSteps guided = steps;
  if (selfGuided) {
    // Guide-window frames between the exposures, on the field the exposures' guiding starts
    // on, around the picked star as every self-guided exposure places the window.
    state.maskRadius = state.settings.starMaskRadius;
    PlaceGuideWindow(corvex);
    state.selfGuidingActive = true;
    guiding.selfGuideStarSignal = 0;
    guiding.missedFrames = 0;
    dither_.infoOpen = true;
    SetCaption(corvex, kDithering, false);
    guided.cycle = [&corvex] {
      SettleCycle cycle;
      if (!SelfGuideWindowExposure(corvex, false)) {
        cycle.correction.result = kGuideFrameFailed;
      } else {
        ShowGuideFrame(corvex);
        cycle.correction = SelfGuideCorrection(corvex, false);
        UpdateInfo(corvex, false);
      }
      cycle.gaveUp = CountMiss(corvex, cycle.correction.result).has_value();
      return cycle;
    };
  } else {
    SetCaption(corvex, kDithering, true);
    guided.cycle = [&corvex] {
      SettleCycle cycle;
      cycle.correction = GuiderCycle(corvex);
      cycle.gaveUp = corvex.guiding.guiderStarLost;
      return cycle;
    };
  }
  outcome.settle = SettleOnTarget(corvex, settings, DitherTarget(), guided);
  if (selfGuided) {
    state.selfGuidingActive = false;
    state.guideWindowActive = false;
    ResetFocusFrameCentre(state);
    state.starX = guiding.savedStarX;
    state.starY = guiding.savedStarY;
  } else if (outcome.settle.end != SettleEnd::kGuidingLost) {
    SetCaption(corvex, kInfo, true);
  }
  return outcome;
}

}  // namespace corvex
