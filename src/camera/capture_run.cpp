#include "camera/capture_run.h"

#include <algorithm>
#include <vector>

#include "camera/align_and_add.h"
#include "camera/camera_commands.h"
#include "camera/camera_link.h"
#include "corvex.h"
#include "files/quick_save.h"
#include "files/settings_file.h"
#include "processing/calibration.h"
#include "processing/colour_adjustments.h"
#include "processing/colour_synthesis.h"
#include "state/exposure.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr int kTurnMs = 20;  // how long a waiting loop sleeps between its looks at the clock
constexpr int kLongClearMs = 10000;
constexpr int kShortClearMs = 1000;
constexpr std::string_view kImageTitle = "QZ Camera Image";

bool ShortUnit(char unit) {
  return unit == 'h' || unit == 't' || unit == 'q';
}

// The values one run keeps for itself.
struct Run {
  bool multiRun = false;
  bool continuousRun = false;
  int progressSteps = 2;
  int progressPos = 0;
  std::int64_t exposureStart = 0;
  std::int64_t exposureEnd = 0;
  std::int64_t nextProgress = 0;
  std::int64_t nextRegisterClear = 0;
  std::int64_t halfTime = 0;
  bool firstHalfRead = false;
  int guideFrameCounter = 0;
  bool postProcessed = false;
  bool darkLoaded = false;
  std::string statusText;
  AlignState align;
};

void ShowStatus(Corvex& corvex, const Run& run) {
  corvex.host.OpenProgress(run.statusText);
  corvex.host.SetProgress(run.progressPos);
}

// What a press does to a run: this exposure ends now and no other follows.
void EndAsCancelled(Corvex& corvex, Run& run) {
  ProgramState& state = corvex.state;
  state.exposureCount = 1;
  state.abortRequested = true;
  run.continuousRun = false;
  state.continuousMode = false;
  state.guideWithGuiderCamera = false;
  state.guiderGuidingRunning = false;
  run.exposureEnd = corvex.clock.NowMs();
  corvex.host.Beep(kBeepSimple);
  ResetFocusFrameCentre(state);
  if (state.selfGuideNext) corvex.host.CloseGuidingInfo();
  state.selfGuideNext = false;
  state.matchingDarkframe = false;
  state.selfGuidingActive = false;
}

// Drains the Host's input; a press cancels the run: this exposure ends now and no other
// follows.
void PumpAndCheckCancel(Corvex& corvex, Run& run) {
  if (corvex.host.PumpEvents()) EndAsCancelled(corvex, run);
}

void PostFrameSteps(Corvex& corvex, Run& run) {
  ProgramState& state = corvex.state;
  state.exposureEndTime = corvex.clock.CalendarSeconds();
  if (!state.autoSynthesis) {
    ClearHistory(corvex.history);
    if (state.autoDarkSubtract) AddHistoryLabel(corvex.history, "Dark Frame Subtracted");
  }
  state.autoSynthesis = false;
  corvex.host.SetWaitCursor(false);
  RebuildDisplay(corvex);
  if (state.autoSave) {
    corvex.host.ShowNotice("Saving Image", SavingImageText(state.settings.autosaveDirectory,
                                                           state.settings.lastFileNumber));
    const std::int64_t shownUntil = corvex.clock.NowMs() + 20;
    const QuickSaveResult result = QuickSaveImage(corvex);
    corvex.clock.SleepUntil(shownUntil);
    corvex.host.CloseNotice();
    ReportQuickSave(corvex, result);
  }
  run.postProcessed = true;
}

// The run's pause between exposures, with its own progress bar.
void PauseBetweenExposures(Corvex& corvex, Run& run) {
  const std::int64_t length = static_cast<std::int64_t>(corvex.state.pauseMinutes) * 60000;
  run.statusText = "Pause between exposures";
  run.progressPos = 0;
  ShowStatus(corvex, run);
  const std::int64_t start = corvex.clock.NowMs();
  std::int64_t nextStep = start + length / 16;
  const std::int64_t end = start + length;
  while (corvex.clock.NowMs() < end && !corvex.state.abortRequested) {
    corvex.clock.SleepUntil(std::min({end, nextStep, corvex.clock.NowMs() + kTurnMs}));
    if (corvex.clock.NowMs() >= nextStep) {
      nextStep += length / 16;
      run.progressPos += 16;
      corvex.host.SetProgress(run.progressPos);
    }
    PumpAndCheckCancel(corvex, run);
  }
  corvex.host.CloseProgress();
}

// Arms self-guiding again for the next exposure of a run that guided this one.
void RearmGuiding(Corvex& corvex, Run& run) {
  ProgramState& state = corvex.state;
  if (state.guidingRanThisExposure) {
    state.selfGuideNext = true;
    state.guidingRanThisExposure = false;
    run.guideFrameCounter = 0;
    run.firstHalfRead = false;
  }
  if (state.guideStarPicked) {
    state.starX = state.pickedStarX;
    state.starY = state.pickedStarY;
  }
}

enum class WaitEnd { kDone, kGuidingLost };

// The wait of an exposure with a progress bar (units s and m), with guiding inside it.
WaitEnd WaitWithProgress(Corvex& corvex, Run& run, CaptureGuiding& guiding) {
  ProgramState& state = corvex.state;
  Clock& clock = corvex.clock;
  const int ms = state.exposureMs;
  ShowStatus(corvex, run);
  run.exposureEnd = run.exposureStart + ms;
  run.nextProgress = run.exposureStart + ms / run.progressSteps;
  run.halfTime = run.exposureStart + ms / 2;
  run.nextRegisterClear = run.exposureStart + kLongClearMs;
  const bool selfGuided = state.selfGuideNext;
  while (clock.NowMs() < run.exposureEnd) {
    clock.SleepUntil(std::min({run.exposureEnd, run.nextProgress, clock.NowMs() + kTurnMs}));
    if (state.guiderGuidingRunning && guiding.GuiderStep(corvex)) run.exposureEnd = clock.NowMs();
    if (clock.NowMs() >= run.nextRegisterClear) {
      ClearRegister(corvex);
      run.nextRegisterClear = clock.NowMs() + kLongClearMs;
    }
    if (clock.NowMs() >= run.nextProgress) {
      run.nextProgress += ms / run.progressSteps;
      run.progressPos += 256 / run.progressSteps;
      corvex.host.SetProgress(run.progressPos);
    }
    PumpAndCheckCancel(corvex, run);
    if (!selfGuided || state.abortRequested) continue;
    if (!run.firstHalfRead && clock.NowMs() >= run.halfTime) {
      // The first half of the interlaced sensor is read at mid-exposure and kept.
      run.firstHalfRead = true;
      ClearRegister(corvex);
      state.fieldSelect = 1;
      guiding.BeforeFirstHalfRead(corvex);
      ReadFullFrame(corvex);
      CopyImage(corvex.store.currentImage, corvex.store.secondaryImage);
      SaveColourUndo(corvex);
      ClearSensor(corvex);
      // The second half is timed from this clear, not from the end of the guide frames that
      // follow it, so that it collects as long as the first.
      const std::int64_t secondHalfStart = clock.NowMs();
      guiding.AfterFirstHalfRead(corvex);
      PumpAndCheckCancel(corvex, run);
      run.progressPos = 128;
      run.exposureEnd = secondHalfStart + ms / 2;
      run.nextProgress = clock.NowMs() + ms / run.progressSteps;
      if (state.matchingDarkframe) run.guideFrameCounter = 0;
    }
    // Guiding goes on through both halves; a matching dark frame takes as many guide frames
    // as the exposure it matches, half in each half.
    if (!state.matchingDarkframe || run.guideFrameCounter < state.guidingFrames / 2) {
      if (!guiding.Cycle(corvex, run.firstHalfRead) || !state.selfGuideNext) {
        guiding.EndSelfGuidedExposure(corvex);
        corvex.host.CloseProgress();
        state.abortRequested = true;
        ShowMessage(corvex.host, 57);
        return WaitEnd::kGuidingLost;
      }
    }
    ++run.guideFrameCounter;
  }
  // The guide frames of a light exposure: the count its matching dark frame repeats.
  if (selfGuided && !state.matchingDarkframe) state.guidingFrames = run.guideFrameCounter;
  return WaitEnd::kDone;
}

// The wait of a short-unit exposure above a second: register clears every second, no bar.
void WaitShort(Corvex& corvex, Run& run) {
  const std::int64_t end = run.exposureStart + corvex.state.exposureMs;
  run.nextRegisterClear = run.exposureStart + kShortClearMs;
  while (corvex.clock.NowMs() < end) {
    corvex.clock.SleepUntil(std::min({end, run.nextRegisterClear, corvex.clock.NowMs() + kTurnMs}));
    if (corvex.clock.NowMs() >= run.nextRegisterClear) {
      ClearRegister(corvex);
      run.nextRegisterClear += kShortClearMs;
    }
  }
}

// The readout and the frame's own steps. False when the frame did not arrive whole: the image
// that was there before is kept and the run ends as a press would end it.
bool ReadOut(Corvex& corvex, Run& run, bool selfGuided, CaptureGuiding& guiding) {
  ProgramState& state = corvex.state;
  ImageStore& store = corvex.store;
  run.statusText =
      std::string("READ QZ CAMERA") +
      (state.exposureCount < 2 ? " - takes 2 - 3 seconds"
                               : " (Left - " + std::to_string(state.exposureCount) + ")");
  if (selfGuided) {
    state.fieldSelect = 2;
    guiding.EndSelfGuidedExposure(corvex);
    state.matchingDarkframe = false;
  } else {
    state.fieldSelect = 3;
  }
  run.progressPos = 0;
  ShowStatus(corvex, run);
  if (state.settings.verboseCameraMessages) corvex.host.Beep(kBeepSimple);
  const std::vector<std::uint16_t> before(store.currentImage.begin(),
                                          store.currentImage.begin() + kImageValues);
  if (!ReadFullFrame(corvex)) {
    std::copy(before.begin(), before.end(), store.currentImage.begin());
    state.selfGuideNext = false;
    EndAsCancelled(corvex, run);
    return false;
  }
  if (selfGuided) {
    for (int i = 0; i < kImageValues; ++i) {
      store.currentImage[i] = static_cast<std::uint16_t>(
          std::min(store.currentImage[i] + store.secondaryImage[i], 65535));
    }
  }
  state.selfGuideNext = false;
  PumpAndCheckCancel(corvex, run);
  if (state.autoDarkSubtract && AutoSubtractDarkFrame(corvex, !run.darkLoaded) == 0) {
    run.darkLoaded = true;
  }
  if (run.multiRun && !state.continuousMode && !state.guidingRanThisExposure) {
    const int result = state.alternativeSlewMethod ? AlignAndAddByProfiles(corvex, run.align)
                                                   : AlignAndAdd(corvex, run.align);
    if (result == kAlignStarLost || result == kAlignNoRegion) {
      state.exposureCount = 1;
      ShowMessage(corvex.host, result == kAlignStarLost ? 33 : 34);
    }
  }
  return true;
}

void EndOfRun(Corvex& corvex, Run& run, CaptureGuiding& guiding) {
  ProgramState& state = corvex.state;
  ResetFocusFrameCentre(state);
  ClearAlignReference(run.align);
  if (state.guideStarPicked) {
    state.starX = state.pickedStarX;
    state.starY = state.pickedStarY;
  }
  run.firstHalfRead = false;
  if (state.guiderGuidingRunning) {
    guiding.StopGuiderGuiding(corvex);
    state.guiderGuidingRunning = false;
  }
  state.guideWithGuiderCamera = false;
  corvex.host.CloseProgress();
  corvex.host.SetWaitCursor(false);
}

}  // namespace

int ProgressSteps(int exposureValue, char exposureUnit) {
  if (exposureUnit == 's' && exposureValue >= 5 && exposureValue <= 12) return 6;
  if ((exposureUnit == 's' && exposureValue >= 13) || exposureUnit == 'm') return 20;
  return 2;
}

bool WaitSeconds(Corvex& corvex, int seconds) {
  const std::int64_t end = corvex.clock.NowMs() + 1000LL * seconds;
  while (corvex.clock.NowMs() < end) {
    corvex.clock.SleepUntil(std::min(end, corvex.clock.NowMs() + kTurnMs));
    if (corvex.host.PumpEvents()) {
      corvex.host.Beep(kBeepSimple);
      return true;
    }
  }
  return false;
}

CaptureResult RunCapture(Corvex& corvex, const std::function<PanelOutcome(Corvex&)>& panel,
                         CaptureGuiding& guiding) {
  ProgramState& state = corvex.state;
  Run run;

  // 1. A fresh run.
  state.abortRequested = false;
  state.guidingRanThisExposure = false;
  corvex.fits.pixelWidth = 0.0098;
  corvex.fits.pixelHeight = 0.0126;
  if (state.darkFrameFile.empty()) state.darkFrameFile = "c:\\dark.def";
  if (state.flatFieldFile.empty()) state.flatFieldFile = "c:\\flat.def";

  // 2. The camera.
  if (!state.cameraFound) {
    if (ReadSettingsFile(corvex) != kSettingsOk) ShowMessage(corvex.host, 20);
    if (corvex.devices) DiscoverCamera(corvex.camera, *corvex.devices, state);
    if (!state.cameraFound) {
      ShowMessage(corvex.host, kFreeTextMessage, "Sorry, No camera found on USB");
      return CaptureResult::kNoCamera;
    }
  }

  // 3-4. The panel.
  ClearAlignReference(run.align);
  state.exposureCount = 1;
  const PanelOutcome outcome = panel(corvex);
  if (outcome != PanelOutcome::kTakePhoto) {
    if (state.focusRunning) {
      corvex.host.SetWaitCursor(true);
      RebuildDisplay(corvex);
      corvex.host.SetWaitCursor(false);
      state.focusRunning = false;
    }
    return outcome == PanelOutcome::kGoToGuider ? CaptureResult::kGoToGuider
                                                : CaptureResult::kPanelCancelled;
  }

  // 5. The exposure settings.
  state.colourConverted = false;
  state.focusStop = true;
  state.focusRunning = false;
  state.exposureMs = MainExposureMs(state.exposureValue, state.exposureUnit);
  state.guideExposureMs = state.matchingDarkframe
                              ? 100
                              : ShortExposureMs(state.guideExposureValue, state.guideExposureUnit);
  corvex.fits.exposureSeconds = 0;
  corvex.host.SetWaitCursor(true);
  state.imageTitle = std::string(kImageTitle);
  run.multiRun = state.exposureCount > 1;

  // 6. The countdown.
  if (state.startDelay) {
    for (int i = 0; i < 10; ++i) {
      run.statusText = "EXPOSURE DELAY (Left - " + std::to_string(10 - i) + ")";
      run.progressPos = 25 * i;
      ShowStatus(corvex, run);
      WaitSeconds(corvex, 1);
      corvex.host.Beep(kBeepSimple);
    }
    corvex.host.CloseProgress();
  }

  // 7-8. The exposures.
  state.runExposureCount = state.exposureCount;
  run.continuousRun = state.continuousMode;
  CaptureResult result = CaptureResult::kCompleted;
  bool firstPass = true;
  do {
    // Continuous mode without a count keeps taking single frames until cancelled.
    if (!firstPass && state.exposureCount == 0) state.exposureCount = 1;
    firstPass = false;
    run.firstHalfRead = false;
    state.exposureStartTime = corvex.clock.CalendarSeconds();
    while (state.exposureCount > 0) {
      run.postProcessed = false;
      const double seconds = state.exposureMs * 0.001;
      corvex.fits.exposureSeconds =
          state.continuousMode ? seconds : corvex.fits.exposureSeconds + seconds;
      run.statusText = "EXPOSURE UNDERWAY";
      if (state.exposureCount > 1) {
        run.statusText += " (Left - " + std::to_string(state.exposureCount) + ")";
      }
      run.progressPos = 0;
      run.progressSteps = ProgressSteps(state.exposureValue, state.exposureUnit);
      PumpAndCheckCancel(corvex, run);
      ClearRegister(corvex);
      ClearSensor(corvex);
      run.exposureStart = corvex.clock.NowMs();

      const bool selfGuided = state.selfGuideNext;
      if (selfGuided) {
        if (!state.guideStarPicked) {
          ShowMessage(corvex.host, 53);
          result = CaptureResult::kEndedEarly;
          break;
        }
        state.guidingRanThisExposure = true;
        if (!guiding.BeginSelfGuidedExposure(corvex)) {
          guiding.EndSelfGuidedExposure(corvex);
          state.selfGuideNext = false;
          corvex.host.CloseProgress();
          corvex.host.SetWaitCursor(false);
          return CaptureResult::kEndedEarly;
        }
        ClearSensor(corvex);
        // The sensor starts again after the guiding preparation: so does the exposure, so
        // that both halves of the interlaced frame collect light for the same time.
        run.exposureStart = corvex.clock.NowMs();
      }

      // A press before the wait began has already ended this exposure.
      bool skipWait = state.abortRequested;
      if (state.guideWithGuiderCamera && !state.guiderGuidingRunning) {
        if (guiding.StartGuiderGuiding(corvex)) {
          state.guiderGuidingRunning = true;
        } else {
          state.continuousMode = false;
          state.abortRequested = true;
          skipWait = true;
        }
      }
      if (!skipWait) {
        if (ShortUnit(state.exposureUnit)) {
          if (state.exposureMs > kDelayedReadoutLimitMs) WaitShort(corvex, run);
        } else if (WaitWithProgress(corvex, run, guiding) == WaitEnd::kGuidingLost) {
          result = CaptureResult::kEndedEarly;
          break;
        }
      }
      if (state.exposureCount <= 1 && state.guiderGuidingRunning) {
        guiding.StopGuiderGuiding(corvex);
        state.guiderGuidingRunning = false;
        state.guideWithGuiderCamera = false;
      }

      if (state.settings.beepWhenDone) {
        for (int sound : {-1, -3, -1}) corvex.host.Beep(sound);
      }
      if (state.exposureMs >= 1000) ClearRegister(corvex);
      bool frameRead = false;
      if (!state.abortRequested) frameRead = ReadOut(corvex, run, selfGuided, guiding);

      corvex.host.CloseProgress();
      --state.exposureCount;
      state.colourConverted = false;
      if (state.autoColour && frameRead) {
        state.autoSynthesis = true;
        ClearHistory(corvex.history);
        if (state.autoDarkSubtract) AddHistoryLabel(corvex.history, "Dark Frame Subtracted");
        SynthesizeColourImage(corvex);
      }
      if (run.multiRun && run.continuousRun && state.exposureCount == 0) {
        run.continuousRun = false;
      }
      if (run.continuousRun) {
        PostFrameSteps(corvex, run);
        if (WaitSeconds(corvex, 1)) {
          state.exposureCount = 0;
          run.continuousRun = false;
        }
        if (state.pauseMinutes > 0 && run.continuousRun) PauseBetweenExposures(corvex, run);
      }
      if (state.exposureCount > 0) {
        if (!run.postProcessed && !state.abortRequested) PostFrameSteps(corvex, run);
        RearmGuiding(corvex, run);
      }
    }
    if (result != CaptureResult::kCompleted) break;
    if (!state.abortRequested && !run.postProcessed) PostFrameSteps(corvex, run);
    if (run.continuousRun) RearmGuiding(corvex, run);
  } while (run.continuousRun && !state.abortRequested);

  // 10. The end of the run.
  EndOfRun(corvex, run, guiding);
  return result;
}

}  // namespace corvex
