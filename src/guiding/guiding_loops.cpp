#include "guiding/guiding_loops.h"

#include "camera/camera_commands.h"
#include "corvex.h"
#include "guiding/guide_correction.h"
#include "guiding/guide_frames.h"
#include "guiding/star_centroid.h"
#include "guiding/telescope_link.h"
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
  if (state.settings.telescopeMethod == 'n' || !state.cameraFound || !state.guideStarPicked) {
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

}  // namespace

void RunContinuousSelfGuiding(Corvex& corvex, const GuidingCycleObserver& observer) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  // 1. Refusals.
  if (CheckSelfGuiding(corvex) != kGuidingReady) return;
  // 2. Start.
  state.selfGuidingActive = true;
  state.continuousMode = true;
  guiding.calibrationActive = false;
  state.pauseBetweenExposures = false;
  state.maskRadius = state.settings.starMaskRadius;
  PlaceGuideWindow(corvex);
  guiding.guideAbort = false;
  guiding.referenceX = state.starX;  // the tenths follow with the first frame
  guiding.referenceY = state.starY;
  guiding.guidingInfoText = kInfo;

  // 3. One frame and one correction a cycle.
  while (state.continuousMode) {
    if (corvex.host.PumpEvents()) state.continuousMode = false;
    if (!state.continuousMode) break;
    TakeGuideExposure(corvex);
    if (guiding.firstGuideFrame) {
      // The first frame sets the reference where the star is, tenths included, so that
      // guiding starts from no error.
      for (int pass = 0; pass < 2; ++pass) {
        FindStarCentre(corvex, state.starX, state.starY, state.maskRadius);
      }
      ReferenceFromStar(corvex);
      guiding.firstGuideFrame = false;
      UpdateInfo(corvex, false);
    }
    if (corvex.host.PumpEvents()) state.continuousMode = false;
    if (guiding.guideAbort || !state.selfGuidingActive) continue;
    const GuideCorrection correction = SelfGuideCorrection(corvex);
    UpdateInfo(corvex, false);
    if (observer) observer(corvex, correction);
  }

  // 4. The end.
  ShowMessage(corvex.host, 51);
  guiding.firstGuideFrame = true;
  corvex.host.CloseGuidingInfo();
  ResetFocusFrameCentre(state);
  state.starX = guiding.savedStarX;
  state.starY = guiding.savedStarY;
  state.selfGuidingActive = false;
  state.guideWindowActive = false;
  guiding.guideAbort = false;
}

int PrepareSelfGuidedExposure(Corvex& corvex) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  if (const int refused = CheckSelfGuiding(corvex); refused != kGuidingReady) return refused;
  SetCaption(corvex, kCreating, false);
  state.maskRadius = state.settings.starMaskRadius;
  PlaceGuideWindow(corvex);
  guiding.SetReference(state.starX, 0, state.starY, 0);
  SetCaption(corvex, kStabilising, false);
  for (int frame = 0; frame < 3; ++frame) {
    SelfGuideWindowExposure(corvex, false);
    ShowGuideFrame(corvex);
  }
  if (!FindAtReference(corvex)) {
    state.selfGuidingActive = false;
    state.guideWindowActive = false;
    return kGuidingStarNotFound;
  }
  ReferenceFromStar(corvex);
  SetCaption(corvex, kInfo, false);
  SelfGuideWindowExposure(corvex, false);
  if (FindAtReference(corvex)) ReferenceFromStar(corvex);
  return kGuidingReady;
}

bool SelfGuideCycle(Corvex& corvex, bool firstHalfRead) {
  ProgramState& state = corvex.state;
  SelfGuideWindowExposure(corvex, firstHalfRead);
  if (state.matchingDarkframe) return true;
  ShowGuideFrame(corvex);
  SelfGuideCorrection(corvex);
  UpdateInfo(corvex, false);
  return state.selfGuideNext;
}

void SwitchGuideFrame(Corvex& corvex) {
  const bool dark = corvex.state.matchingDarkframe;
  SetCaption(corvex, kSwitching, false);
  for (int frame = 0; frame < 2; ++frame) SelfGuideWindowExposure(corvex, true);
  if (!dark && FindAtReference(corvex)) ReferenceFromStar(corvex);
  SetCaption(corvex, dark ? kDarkframe : kInfo, false);
  SelfGuideWindowExposure(corvex, true);
  if (!dark && FindAtReference(corvex)) ReferenceFromStar(corvex);
}

int StartGuiderGuiding(Corvex& corvex) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  if (state.settings.telescopeMethod == 'n' || !state.cameraFound) {
    ShowMessage(corvex.host, 55);
    return kGuidingRefused;
  }
  if (!guiding.guiderStarSelected) {
    ShowMessage(corvex.host, 53);
    return kGuidingRefused;
  }
  PrepareTelescopeLink(corvex);
  SetCaption(corvex, kCreating, true);
  guiding.guiderStarLost = false;
  state.maskRadius = state.settings.starMaskRadius;
  guiding.guideAbort = false;
  GuiderExposure(corvex);
  guiding.SetReference(guiding.selectedGuiderStarX, 0, guiding.selectedGuiderStarY, 0);
  if (FindGuiderStarCentre(corvex, guiding.referenceX, guiding.referenceY, state.maskRadius) ==
      kStarFound) {
    ReferenceFromGuiderStar(corvex);
  }
  SetCaption(corvex, kStabilising, true);
  corvex.host.PumpEvents();
  // Three settling corrections, a frame between each.
  for (int i = 0; i < 3; ++i) {
    if (i > 0) GuiderExposure(corvex);
    if (GuiderCorrection(corvex).result == kGuideStarLost) guiding.guiderStarLost = true;
    UpdateInfo(corvex, true);
  }
  SetCaption(corvex, kInfo, true);
  GuiderExposure(corvex);
  UpdateInfo(corvex, true);
  corvex.host.PumpEvents();
  return kGuidingReady;
}

void GuiderCycle(Corvex& corvex) {
  GuiderExposure(corvex);
  if (GuiderCorrection(corvex).result == kGuideStarLost) {
    corvex.guiding.guiderStarLost = true;
  } else {
    UpdateInfo(corvex, true);
  }
}

void RunGuiderGuiding(Corvex& corvex, const GuidingCycleObserver& observer) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  state.guiderGuidingRunning = true;
  if (StartGuiderGuiding(corvex) != kGuidingReady) {
    state.guiderGuidingRunning = false;
    corvex.host.CloseGuidingInfo();
    return;
  }
  while (!guiding.guiderStarLost && state.guiderGuidingRunning) {
    GuiderCycle(corvex);
    if (observer && !guiding.guiderStarLost) observer(corvex, guiding.lastCorrection);
    if (corvex.host.PumpEvents()) state.guiderGuidingRunning = false;
  }
  state.guiderGuidingRunning = false;
  corvex.host.CloseGuidingInfo();
}

bool CaptureGuidingSteps::BeginSelfGuidedExposure(Corvex& corvex) {
  if (corvex.state.matchingDarkframe) {
    SetCaption(corvex, kDarkframe, false);
    return true;
  }
  SetCaption(corvex, kChecking, false);
  return PrepareSelfGuidedExposure(corvex) == kGuidingReady;
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
  corvex.state.selfGuidingActive = false;
  corvex.state.guideWindowActive = false;
}

bool CaptureGuidingSteps::StartGuiderGuiding(Corvex& corvex) {
  return corvex::StartGuiderGuiding(corvex) == kGuidingReady;
}

bool CaptureGuidingSteps::GuiderStep(Corvex& corvex) {
  GuiderCycle(corvex);
  return corvex.guiding.guiderStarLost;
}

void CaptureGuidingSteps::StopGuiderGuiding(Corvex& corvex) { corvex.host.CloseGuidingInfo(); }

}  // namespace corvex
