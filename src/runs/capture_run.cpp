#include "runs/capture_run.h"

#include <algorithm>
#include <vector>

#include "camera/camera_link.h"
#include "camera/camera_requests.h"
#include "camera/exposures.h"
#include "commands/calibration_commands.h"
#include "commands/camera_commands.h"
#include "commands/colour_commands.h"
#include "commands/settings_commands.h"
#include "corvex.h"
#include "commands/quick_save.h"
#include "files/raw_file.h"
#include "files/settings_file.h"
#include "processing/calibration.h"
#include "processing/colour_adjustments.h"
#include "processing/colour_synthesis.h"
#include "runs/align_and_add.h"
#include "state/exposure.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr int kTurnMs = 20;  // how long a waiting loop sleeps between its looks at the clock
// A cancel request is confirmed first when the exposure under way has collected more light.
constexpr std::int64_t kConfirmCancelAfterMs = 10000;
constexpr std::string_view kImageTitle = "QZ Camera Image";

// The values one run keeps for itself.
struct Run {
  bool multiRun = false;
  bool alignFrames = false;  // a series whose frames are aligned and added
  bool continuousRun = false;
  bool subtractDark = false;  // the dark frame is loaded: every frame of the run loses it
  int progressSteps = 2;
  int progressPos = 0;
  ExposureTimer timer;  // the exposure under way: its start, end and next clear
  std::int64_t halfTime = 0;
  bool exposing = false;        // the sensor is collecting light, since timer.start
  int frameLightMs = 0;         // the light this exposure collected (less when cut short)
  std::int64_t seriesLightMs = 0;  // the light of the frames in the series' sum
  bool firstHalfRead = false;   // this exposure's first half is in store.run.firstHalf
  bool frameRead = false;       // this exposure's frame arrived whole and is in the image
  bool selfGuidedOpen = false;  // a self-guided exposure began and was not yet closed
  bool guiderStarted = false;   // this run started guiding from the guider camera
  int guideFrameCounter = 0;
  int seriesFrames = -1;  // the exposures of a series (0 without an end); -1: a single one
  int framesStarted = 0;  // exposures begun in this run
  bool postProcessed = false;
  std::string statusText;
  AlignState align;
  std::vector<std::uint16_t> imageBefore;  // put back when an exposure brings no frame
  DitherSettings dither;                   // corvex.conf's, when the run began
};

void ShowStatus(Corvex& corvex, const Run& run) {
  corvex.host.OpenProgress(run.statusText);
  corvex.host.SetProgress(run.progressPos);
}

void KeepImage(const Corvex& corvex, Run& run) {
  const ImageBuffer& image = corvex.store.currentImage;
  run.imageBefore.assign(image.begin(), image.begin() + kImageValues);
}

void RestoreImage(Corvex& corvex, const Run& run) {
  std::copy(run.imageBefore.begin(), run.imageBefore.end(), corvex.store.currentImage.begin());
}

// What a cancel does to a run: this exposure ends now and no other follows.
void EndAsCancelled(Corvex& corvex, Run& run) {
  ProgramState& state = corvex.state;
  state.exposureCount = 1;
  state.abortRequested = true;
  run.continuousRun = false;
  state.continuousMode = false;
  state.guideWithGuiderCamera = false;
  state.guiderGuidingRunning = false;
  run.timer.end = corvex.clock.NowMs();
  corvex.host.Beep(kBeepSimple);
  ResetFocusFrameCentre(state);
  state.selfGuideNext = false;
  state.matchingDarkframe = false;
  state.selfGuidingActive = false;
}

// Drains the Host's input. A cancel request ends the run, unless it would throw away an
// exposure that has collected light for more than 10 seconds and the Host, asked, says no.
void PumpAndCheckCancel(Corvex& corvex, Run& run) {
  if (!corvex.host.PumpEvents()) return;
  if (run.exposing) {
    const std::int64_t collected = corvex.clock.NowMs() - run.timer.start;
    if (collected > kConfirmCancelAfterMs &&
        !corvex.host.ConfirmCancelExposure(static_cast<int>(collected / 1000))) {
      return;
    }
  }
  EndAsCancelled(corvex, run);
}

void EndSelfGuided(Corvex& corvex, Run& run, CaptureGuiding& guiding) {
  guiding.EndSelfGuidedExposure(corvex);
  run.selfGuidedOpen = false;
}

void StopGuider(Corvex& corvex, Run& run, CaptureGuiding& guiding) {
  guiding.StopGuiderGuiding(corvex);
  corvex.state.guiderGuidingRunning = false;
  corvex.state.guideWithGuiderCamera = false;
  run.guiderStarted = false;
}

void PostFrameSteps(Corvex& corvex, Run& run) {
  ProgramState& state = corvex.state;
  state.exposureEndTime = corvex.clock.CalendarSeconds();
  if (!state.autoSynthesis) {
    ClearHistory(corvex.history);
    if (run.subtractDark) AddHistoryLabel(corvex.history, "Dark Frame Subtracted");
  }
  state.autoSynthesis = false;
  corvex.host.SetWaitCursor(false);
  RebuildDisplay(corvex);
  if (state.autoSave) {
    corvex.host.ShowNotice("Saving Image", SavingImageText(corvex));
    const std::int64_t shownUntil = corvex.clock.NowMs() + 20;
    const QuickSaveResult result = QuickSaveImage(corvex, AutosaveFormatOf(corvex.options));
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

// The exposure's timing from the settings as they are now. The run has always gone by what
// they say at each step: a guide frame shown while the focus display's auto-exposure is on
// changes them during a self-guided exposure.
ExposureTiming TimingNow(const ProgramState& state, const Run& run) {
  return {.exposureMs = state.exposureMs,
          .wait = ExposureWaitFor(state.exposureMs, state.exposureUnit),
          .progressSteps = run.progressSteps};
}

enum class WaitEnd { kDone, kGuidingLost, kReadoutFailed };

// What a run does on the turns of a long exposure's wait: the guider's step, the progress
// bar, the cancel presses, and a self-guided exposure's guiding with the read of its first
// half at mid-exposure.
class RunTurns final : public ExposureTurns {
 public:
  RunTurns(Corvex& corvex, Run& run, CaptureGuiding& guiding, bool selfGuided)
      : corvex_(corvex), run_(run), guiding_(guiding), selfGuided_(selfGuided) {}

  void BeforeClear(ExposureTimer& timer) override {
    ProgramState& state = corvex_.state;
    if (state.guiderGuidingRunning && guiding_.GuiderStep(corvex_)) {
      // The guide star is lost: the exposure ends here, with the light it has, and is the
      // run's last (the next ones would end as soon as they began).
      timer.end = corvex_.clock.NowMs();
      run_.frameLightMs = static_cast<int>(timer.end - timer.start);
      state.exposureCount = 1;
      run_.continuousRun = false;
    }
  }

  void Progress(ExposureTimer&) override {
    run_.progressPos += 256 / run_.progressSteps;
    corvex_.host.SetProgress(run_.progressPos);
  }

  bool AfterClear(ExposureTimer& timer) override {
    ProgramState& state = corvex_.state;
    Clock& clock = corvex_.clock;
    const int ms = timer.timing.exposureMs;
    PumpAndCheckCancel(corvex_, run_);
    if (!selfGuided_ || state.abortRequested) return true;
    if (!run_.firstHalfRead && clock.NowMs() >= run_.halfTime) {
      // The first half of the interlaced sensor is read at mid-exposure and kept.
      run_.firstHalfRead = true;
      ClearRegister(corvex_.camera);
      state.fieldSelect = kFirstHalfField;
      guiding_.BeforeFirstHalfRead(corvex_);
      if (!ReadFullFrame(corvex_)) return End(WaitEnd::kReadoutFailed);
      CopyImage(corvex_.store.currentImage, corvex_.store.run.firstHalf);
      SaveColourUndo(corvex_);
      ClearSensor(corvex_.camera);
      // The second half is timed from this clear, not from the end of the guide frames that
      // follow it, so that it collects as long as the first.
      const std::int64_t secondHalfStart = clock.NowMs();
      guiding_.AfterFirstHalfRead(corvex_);
      PumpAndCheckCancel(corvex_, run_);
      run_.progressPos = 128;
      timer.end = secondHalfStart + ms / 2;
      timer.nextProgress = clock.NowMs() + ms / run_.progressSteps;
      if (state.matchingDarkframe) run_.guideFrameCounter = 0;
      if (state.abortRequested) return true;
    }
    // Guiding goes on through both halves; a matching dark frame takes as many guide frames
    // as the exposure it matches, half in each half.
    if (!state.matchingDarkframe || run_.guideFrameCounter < state.guidingFrames / 2) {
      if (!guiding_.Cycle(corvex_, run_.firstHalfRead) || !state.selfGuideNext) {
        EndSelfGuided(corvex_, run_, guiding_);
        corvex_.host.CloseProgress();
        state.abortRequested = true;
        ShowMessage(corvex_.host, 57);
        return End(WaitEnd::kGuidingLost);
      }
    }
    ++run_.guideFrameCounter;
    return true;
  }

  WaitEnd end = WaitEnd::kDone;

 private:
  bool End(WaitEnd why) {
    end = why;
    return false;
  }

  Corvex& corvex_;
  Run& run_;
  CaptureGuiding& guiding_;
  bool selfGuided_;
};

// The wait of an exposure. Seconds and minutes wait with a progress bar, with guiding inside
// the wait; a short unit above a second only sends its register clears; a shorter one is
// timed by the camera.
WaitEnd WaitForLight(Corvex& corvex, Run& run, CaptureGuiding& guiding) {
  ProgramState& state = corvex.state;
  ExposureTimer& timer = run.timer;
  if (timer.timing.wait != ExposureWait::kLongSteps) {
    ExposureTurns noTurns;
    WaitOutExposure(corvex.camera, timer, noTurns);
    return WaitEnd::kDone;
  }
  ShowStatus(corvex, run);
  run.halfTime = timer.start + timer.timing.exposureMs / 2;
  const bool selfGuided = state.selfGuideNext;
  RunTurns turns(corvex, run, guiding, selfGuided);
  if (!WaitOutExposure(corvex.camera, timer, turns)) return turns.end;
  // The guide frames of a light exposure: the count its matching dark frame repeats.
  if (selfGuided && !state.matchingDarkframe) state.guidingFrames = run.guideFrameCounter;
  return WaitEnd::kDone;
}

// The readout and the frame's own steps: the first half added, the dark taken off, the frame
// aligned and added to the series. False when the frame did not arrive whole: the image that
// was there before is kept.
bool ReadOut(Corvex& corvex, Run& run, bool selfGuided, CaptureGuiding& guiding) {
  ProgramState& state = corvex.state;
  ImageStore& store = corvex.store;
  run.statusText =
      std::string("READ QZ CAMERA") +
      (state.exposureCount < 2 ? " - takes 2 - 3 seconds"
                               : " (Left - " + std::to_string(state.exposureCount) + ")");
  if (selfGuided) {
    state.fieldSelect = 2;
    EndSelfGuided(corvex, run, guiding);
    state.matchingDarkframe = false;
  } else {
    state.fieldSelect = 3;
    KeepImage(corvex, run);  // a self-guided exposure kept it when it began
  }
  run.progressPos = 0;
  ShowStatus(corvex, run);
  if (state.settings.verboseCameraMessages) corvex.host.Beep(kBeepSimple);
  if (!ReadFullFrame(corvex)) {
    RestoreImage(corvex, run);
    return false;
  }
  if (run.firstHalfRead) {
    for (int i = 0; i < kImageValues; ++i) {
      store.currentImage[i] = static_cast<std::uint16_t>(
          std::min(store.currentImage[i] + store.run.firstHalf[i], 65535));
    }
  }
  run.frameRead = true;
  corvex.fits.exposureSeconds = run.frameLightMs / 1000.0;
  state.selfGuideNext = false;
  PumpAndCheckCancel(corvex, run);
  if (run.subtractDark) SubtractDark(store.currentImage, store.run.dark, false);
  if (run.alignFrames && !state.guidingRanThisExposure) {
    const int framesBefore = run.align.frames;
    const int result = state.alternativeSlewMethod ? AlignAndAddByProfiles(corvex, run.align)
                                                   : AlignAndAdd(corvex, run.align);
    // The image holds the frames of the sum: this one alone when it began a sum, and after a
    // lost star the frames before it.
    if (run.align.frames == 1) {
      run.seriesLightMs = run.frameLightMs;
    } else if (run.align.frames > framesBefore) {
      run.seriesLightMs += run.frameLightMs;
    }
    corvex.fits.exposureSeconds = static_cast<double>(run.seriesLightMs) / 1000.0;
    if (result == kAlignStarLost || result == kAlignNoRegion) {
      state.exposureCount = 1;
      ShowMessage(corvex.host, result == kAlignStarLost ? 33 : 34);
    }
  }
  return true;
}

// One exposure, from the clear to the readout and the frame's own steps. kCompleted when the
// run may go on (run.frameRead says whether a frame arrived: a cancel takes none); anything
// else ends the run.
CaptureResult TakeExposure(Corvex& corvex, Run& run, CaptureGuiding& guiding) {
  ProgramState& state = corvex.state;
  run.postProcessed = false;
  run.frameRead = false;
  run.firstHalfRead = false;
  run.statusText = "EXPOSURE UNDERWAY";
  if (state.exposureCount > 1) {
    run.statusText += " (Left - " + std::to_string(state.exposureCount) + ")";
  }
  run.progressPos = 0;
  run.progressSteps = ProgressSteps(state.exposureValue, state.exposureUnit);
  ++run.framesStarted;
  if (run.seriesFrames >= 0) corvex.host.ShowSeriesCount(run.framesStarted, run.seriesFrames);
  PumpAndCheckCancel(corvex, run);
  run.timer = StartExposure(corvex.camera, TimingNow(state, run));

  const bool selfGuided = state.selfGuideNext;
  if (selfGuided) {
    if (!state.guideStarPicked) {
      ShowMessage(corvex.host, 53);
      return CaptureResult::kEndedEarly;
    }
    // The guide frames and the first half are laid over the image; an exposure that brings
    // no frame puts it back.
    KeepImage(corvex, run);
    state.guidingRanThisExposure = true;
    run.selfGuidedOpen = true;
    if (!guiding.BeginSelfGuidedExposure(corvex)) {
      RestoreImage(corvex, run);
      return CaptureResult::kEndedEarly;
    }
    // The sensor starts again after the guiding preparation: so does the exposure, so
    // that both halves of the interlaced frame collect light for the same time.
    RestartExposure(corvex.camera, run.timer);
  }

  if (state.guideWithGuiderCamera && !state.guiderGuidingRunning && !state.abortRequested) {
    if (!guiding.StartGuiderGuiding(corvex)) {
      state.continuousMode = false;
      state.abortRequested = true;
      return CaptureResult::kEndedEarly;
    }
    state.guiderGuidingRunning = true;
    run.guiderStarted = true;
  }
  // A cancel before the wait began has already ended this exposure.
  run.frameLightMs = state.exposureMs;
  if (!state.abortRequested) {
    run.exposing = true;
    run.timer.timing = TimingNow(state, run);
    const WaitEnd end = WaitForLight(corvex, run, guiding);
    run.exposing = false;
    if (end != WaitEnd::kDone) {
      if (selfGuided) RestoreImage(corvex, run);
      return end == WaitEnd::kGuidingLost ? CaptureResult::kEndedEarly
                                          : CaptureResult::kReadoutFailed;
    }
  }
  if (state.exposureCount <= 1 && (state.guiderGuidingRunning || run.guiderStarted)) {
    StopGuider(corvex, run, guiding);
  }

  if (state.settings.beepWhenDone) {
    for (int sound : {-1, -3, -1}) corvex.host.Beep(sound);
  }
  run.timer.timing = TimingNow(state, run);
  FinishExposure(corvex.camera, run.timer);
  if (state.abortRequested) {
    if (selfGuided) RestoreImage(corvex, run);
    return CaptureResult::kCompleted;
  }
  return ReadOut(corvex, run, selfGuided, guiding) ? CaptureResult::kCompleted
                                                   : CaptureResult::kReadoutFailed;
}

enum class DitherEnd { kGoOn, kCancelled, kGuidingLost };

// Between two guided exposures: the guide star moves by a dither and guiding settles on it,
// with its progress shown; the result goes to the guide log. A cancel while settling ends
// the run as a cancel during an exposure does.
DitherEnd DitherBetweenExposures(Corvex& corvex, Run& run, CaptureGuiding& guiding,
                                 bool selfGuided) {
  ProgramState& state = corvex.state;
  // A self-guided series' guide windows land in the image: it keeps the frame just taken.
  if (selfGuided) KeepImage(corvex, run);
  run.statusText = "Dithering";
  run.progressPos = 0;
  ShowStatus(corvex, run);
  SettleSteps steps;
  steps.cancelled = [&corvex, &run] {
    PumpAndCheckCancel(corvex, run);
    return corvex.state.abortRequested;
  };
  steps.progress = [&corvex, &run](const std::string& caption, int position) {
    run.statusText = caption;
    run.progressPos = position;
    ShowStatus(corvex, run);
  };
  const auto outcome = guiding.Dither(corvex, run.dither, selfGuided, steps);
  if (selfGuided) {
    RestoreImage(corvex, run);
    RebuildDisplay(corvex);
  }
  corvex.host.CloseProgress();
  if (!outcome) return DitherEnd::kGoOn;
  corvex.host.ShowRunNote(DitherResultText(outcome->offset, run.dither, outcome->settle));
  switch (outcome->settle.end) {
    case SettleEnd::kCancelled:
      return DitherEnd::kCancelled;
    case SettleEnd::kGuidingLost:
      state.abortRequested = true;
      return DitherEnd::kGuidingLost;
    default:
      return DitherEnd::kGoOn;
  }
}

// Every way out of a run comes here: nothing of its guiding stays behind. A run refused
// before its first exposure keeps the guiding asked for the next one.
void EndOfRun(Corvex& corvex, Run& run, CaptureGuiding& guiding, CaptureResult result) {
  ProgramState& state = corvex.state;
  run.exposing = false;
  if (run.selfGuidedOpen) EndSelfGuided(corvex, run, guiding);
  guiding.EndRun(corvex);
  state.selfGuidingActive = false;
  state.guideWindowActive = false;
  if (run.guiderStarted || state.guiderGuidingRunning) StopGuider(corvex, run, guiding);
  if (result != CaptureResult::kNotStarted) {
    state.selfGuideNext = false;
    state.guideWithGuiderCamera = false;
  }
  ResetFocusFrameCentre(state);
  ClearAlignReference(run.align);
  if (state.guideStarPicked) {
    state.starX = state.pickedStarX;
    state.starY = state.pickedStarY;
  }
  run.firstHalfRead = false;
  if (run.seriesFrames >= 0) corvex.host.ShowSeriesCount(0, 0);
  corvex.host.CloseProgress();
  corvex.host.SetWaitCursor(false);
}

// Dithering is on but this series will not guide: its frames are taken as they are, and the
// user is told so (the setting stays for the guided series it is meant for).
void NoteDitherWithoutGuiding(Corvex& corvex, const Run& run) {
  const ProgramState& state = corvex.state;
  const bool guided =
      state.selfGuideNext || state.guideWithGuiderCamera || state.guiderGuidingRunning;
  if (run.dither.enabled && run.multiRun && !guided) {
    corvex.host.ShowRunNote(
        "Dithering is on, but this series is not guided: its frames are not dithered. Dithering "
        "works with \"Self-Guide Next Exposure\" or the guider camera (\"AutoGuide Image\").");
  }
}

// Refuses a run that could not do what it was asked before any light is collected: the
// message says what to change.
bool ReadyToStart(Corvex& corvex, Run& run) {
  ProgramState& state = corvex.state;
  if (const auto problem = CheckSeriesAlignment(state)) {
    ShowMessage(corvex.host, kFreeTextMessage, *problem);
    return false;
  }
  // The dark is loaded once, before the first exposure: every frame of the run loses the
  // same dark, whatever happens to the file or to the other buffers meanwhile.
  std::optional<std::string> problem = CheckRunCalibration(corvex);
  if (!problem && state.autoDarkSubtract) {
    const std::filesystem::path path = DarkFramePath(corvex);
    if (const auto why = LoadDarkFrame(path, corvex.store.run.dark)) {
      problem = "Cannot use the dark frame " + path.string() + ": " + *why;
    }
    run.subtractDark = !problem;
  }
  if (problem) {
    ShowMessage(corvex.host, kFreeTextMessage, *problem + "\nNo exposure was taken.");
    return false;
  }
  return true;
}

}  // namespace

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

std::optional<std::string> CheckSeriesAlignment(const ProgramState& state) {
  const bool aligned = state.exposureCount > 1 && !state.continuousMode && !state.selfGuideNext &&
                       !state.alternativeSlewMethod;
  if (!aligned) return std::nullopt;
  // The star search looks at a square of maskRadius around the star: it must lie inside.
  const int x = state.pickedStarX;
  const int y = state.pickedStarY;
  const int r = state.maskRadius;
  if (state.guideStarPicked && x - r >= 0 && y - r >= 0 && x + r < kImageStride &&
      y + r < kImageRows) {
    return std::nullopt;
  }
  return std::string(
      "Sorry, the exposures of a series are aligned on the guide star, and no guide star inside "
      "the image has been picked.\nPick a guide star first, or choose \"Alternative Slew "
      "Method\" to align the exposures by their brightness profiles.");
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

  // 5. The exposure settings. EXPTIME changes only when a frame lands in the image, so an
  // image that stays (a cancelled or failed run) keeps its own.
  state.colourConverted = false;
  state.focusStop = true;
  state.focusRunning = false;
  state.exposureMs = MainExposureMs(state.exposureValue, state.exposureUnit);
  state.guideExposureMs = state.matchingDarkframe
                              ? 100
                              : ShortExposureMs(state.guideExposureValue, state.guideExposureUnit);
  corvex.host.SetWaitCursor(true);
  state.imageTitle = std::string(kImageTitle);
  run.multiRun = state.exposureCount > 1;
  run.alignFrames = run.multiRun && !state.continuousMode;
  run.dither = DitherSettingsOf(corvex.options);
  if (!ReadyToStart(corvex, run)) {
    EndOfRun(corvex, run, guiding, CaptureResult::kNotStarted);
    return CaptureResult::kNotStarted;
  }

  // A series says from the start which of its exposures is under way: its last one and the
  // countdown before its first, whose captions carry no count of their own, too.
  if (run.multiRun || state.continuousMode) {
    run.seriesFrames = run.multiRun ? state.exposureCount : 0;
    corvex.host.ShowSeriesCount(1, run.seriesFrames);
  }
  guiding.BeginRun(corvex);
  NoteDitherWithoutGuiding(corvex, run);

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
    state.exposureStartTime = corvex.clock.CalendarSeconds();
    while (state.exposureCount > 0) {
      result = TakeExposure(corvex, run, guiding);
      corvex.host.CloseProgress();
      if (result != CaptureResult::kCompleted) break;
      --state.exposureCount;
      state.colourConverted = false;
      if (state.autoColour && run.frameRead) {
        state.autoSynthesis = true;
        ClearHistory(corvex.history);
        if (run.subtractDark) AddHistoryLabel(corvex.history, "Dark Frame Subtracted");
        SynthesizeColourImage(corvex);
      }
      if (run.multiRun && run.continuousRun && state.exposureCount == 0) {
        run.continuousRun = false;
      }
      if (run.continuousRun) {
        if (run.frameRead) PostFrameSteps(corvex, run);
        if (WaitSeconds(corvex, 1)) {
          state.exposureCount = 0;
          run.continuousRun = false;
        }
        if (state.pauseMinutes > 0 && run.continuousRun) PauseBetweenExposures(corvex, run);
      }
      if (state.exposureCount > 0) {
        if (run.frameRead && !run.postProcessed) PostFrameSteps(corvex, run);
        const bool selfGuided = state.guidingRanThisExposure;
        const bool guided = selfGuided || state.guiderGuidingRunning;
        RearmGuiding(corvex, run);
        if (run.dither.enabled && guided && run.frameRead && !state.abortRequested) {
          const DitherEnd end = DitherBetweenExposures(corvex, run, guiding, selfGuided);
          if (end == DitherEnd::kCancelled) state.exposureCount = 0;
          if (end == DitherEnd::kGuidingLost) {
            result = CaptureResult::kEndedEarly;
            break;
          }
        }
      }
    }
    if (result != CaptureResult::kCompleted) break;
    // A frame that arrived is always finished and saved, even when a cancel came after it.
    if (run.frameRead && !run.postProcessed) PostFrameSteps(corvex, run);
    if (run.continuousRun) RearmGuiding(corvex, run);
  } while (run.continuousRun && !state.abortRequested);

  // 10. The end of the run.
  EndOfRun(corvex, run, guiding, result);
  return result;
}

}  // namespace corvex
