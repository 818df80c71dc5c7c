#include "capture_jobs.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>

#include "camera/camera_commands.h"
#include "camera/camera_link.h"
#include "camera/capture_run.h"
#include "camera/focus_mode.h"
#include "corvex.h"
#include "files/fits_file.h"
#include "files/pgm_file.h"
#include "files/quick_save.h"
#include "files/raw_file.h"
#include "files/settings_file.h"
#include "processing/display_image.h"
#include "state/exposure.h"

namespace corvex::cli {

namespace {

constexpr int kProgressStepMs = 100;

bool FindCamera(Corvex& corvex) {
  DiscoverCamera(corvex.camera, *corvex.devices, corvex.state);
  return corvex.state.cameraFound;
}

// Waits out an exposure with a progress bar; false when Ctrl-C cancelled it.
bool WaitForExposure(Corvex& corvex, std::int64_t end, int exposureMs) {
  if (exposureMs < 1000) {
    corvex.clock.SleepUntil(end);
    return true;
  }
  corvex.host.OpenProgress("EXPOSURE IN PROGRESS");
  bool cancelled = false;
  while (corvex.clock.NowMs() < end && !cancelled) {
    corvex.clock.SleepUntil(std::min(end, corvex.clock.NowMs() + kProgressStepMs));
    const std::int64_t left = end - corvex.clock.NowMs();
    corvex.host.SetProgress(static_cast<int>(256 - left * 256 / exposureMs));
    cancelled = corvex.host.PumpEvents();
  }
  corvex.host.CloseProgress();
  return !cancelled;
}

}  // namespace

std::optional<ExposureSetting> ParseExposure(const std::string& text, const std::string& allowed) {
  ExposureSetting setting;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  const auto [rest, ec] = std::from_chars(begin, end, setting.value);
  if (ec != std::errc() || rest == begin || setting.value < 1) return std::nullopt;
  if (rest == end) return setting;  // seconds
  if (rest + 1 != end || allowed.find(*rest) == std::string::npos) return std::nullopt;
  setting.unit = *rest;
  return setting;
}

int RunSnap(Corvex& corvex, const ExposureSetting& exposure, const std::string& out) {
  if (!FindCamera(corvex)) return 1;
  ProgramState& state = corvex.state;
  state.exposureValue = exposure.value;
  state.exposureUnit = exposure.unit;
  state.exposureMs = MainExposureMs(exposure.value, exposure.unit);
  state.fieldSelect = 3;

  state.exposureStartTime = corvex.clock.CalendarSeconds();
  ClearRegister(corvex);
  ClearSensor(corvex);
  const std::int64_t end = corvex.clock.NowMs() + state.exposureMs;
  // Up to a second the camera times the exposure itself (the delay travels in the readout).
  if (state.exposureMs > 1000 && !WaitForExposure(corvex, end, state.exposureMs)) {
    std::fprintf(stderr, "corvex-cli: exposure cancelled, nothing saved\n");
    return 1;
  }
  std::fprintf(stderr, "READ QZ CAMERA - takes 2 - 3 seconds\n");
  ReadFullFrame(corvex);
  state.exposureEndTime = corvex.clock.CalendarSeconds();

  state.colourConverted = false;
  ClearHistory(corvex.history);
  FitsHeaderFields& fits = corvex.fits;
  fits.exposureSeconds = state.exposureMs / 1000.0;
  fits.pixelWidth = 0.0098;
  fits.pixelHeight = 0.0126;
  const std::int64_t middle =
      state.exposureStartTime + (state.exposureEndTime - state.exposureStartTime) / 2;
  fits.observationDate = FormatObservationDate(middle);
  fits.observationTime = FormatObservationTime(middle);

  const int result = IsFitsFileName(out) ? SaveFitsImage(corvex, out) : WriteRawImage(corvex, out);
  if (result != 0) return 1;
  std::printf("Wrote %s (%d ms exposure)\n", out.c_str(), state.exposureMs);
  return 0;
}

int RunGuiderSnap(Corvex& corvex, const GuiderSnapOptions& options, const std::string& out) {
  ProgramState& state = corvex.state;
  if (!options.dark.empty()) {
    const PgmImage dark = ReadPgm(options.dark, kReadoutWidth, kImageRows);
    if (!dark.error.empty()) {
      std::fprintf(stderr, "corvex-cli: %s: %s\n", options.dark.c_str(), dark.error.c_str());
      return 1;
    }
    std::copy(dark.values.begin(), dark.values.end(), corvex.store.guiderDark.begin());
    state.guiderDarkSubtract = true;
  }
  if (!FindCamera(corvex)) return 1;
  state.guiderExposureValue = static_cast<std::int16_t>(std::min(options.exposure.value, 32767));
  state.guiderExposureUnit = options.exposure.unit;
  state.guiderHotPixelFilter = options.hotPixelFilter;
  state.guiderGain = options.gain;
  GuiderExposure(corvex);
  if (!WritePgm16(out, corvex.store.guiderImage.span(), kReadoutWidth, kImageRows)) {
    std::fprintf(stderr, "corvex-cli: cannot write %s\n", out.c_str());
    return 1;
  }
  std::printf("Wrote %s (guider frame, %d ms exposure)\n", out.c_str(),
              GuiderExposureMs(state.guiderExposureValue, state.guiderExposureUnit));
  return 0;
}

int RunCaptureJob(Corvex& corvex, const CaptureOptions& options) {
  ProgramState& state = corvex.state;
  InstallDisplayRebuild(corvex);
  // The settings as the program keeps them between runs (the quick-save counter among them).
  ReadSettingsFile(corvex);
  // Each file is listed as it is written: numbers already taken are passed over, so the
  // counter alone does not say which files a run made.
  corvex.quickSaved = [](const std::filesystem::path& file) {
    std::printf("Saved %s\n", file.c_str());
    std::fflush(stdout);
  };
  const auto panel = [&options](Corvex& c) {
    ProgramState& s = c.state;
    s.exposureValue = options.exposure.value;
    s.exposureUnit = options.exposure.unit;
    s.exposureCount = options.count;
    s.continuousMode = options.continuous;
    s.averageExposures = options.average;
    s.startDelay = options.startDelay;
    s.pauseMinutes = options.pauseMinutes;
    s.autoDarkSubtract = options.darkSubtract;
    if (!options.dark.empty()) s.darkFrameFile = options.dark;
    s.autoColour = options.colour;
    s.autoSave = options.save;
    s.settings.beepWhenDone = options.beep;
    // A series is aligned on the guide star when one is given, else by its region profiles.
    s.alternativeSlewMethod = options.alternativeAlign || !options.guideStar;
    if (options.guideStar) {
      s.guideStarPicked = true;
      s.pickedStarX = options.guideStar->first;
      s.pickedStarY = options.guideStar->second;
    }
    return PanelOutcome::kTakePhoto;
  };
  CaptureGuiding noGuiding;
  const CaptureResult result = RunCapture(corvex, panel, noGuiding);
  if (result == CaptureResult::kNoCamera) return 1;
  if (state.abortRequested) std::printf("The run was cancelled\n");
  return result == CaptureResult::kCompleted ? 0 : 1;
}

int RunFocusJob(Corvex& corvex, const FocusOptions& options) {
  ProgramState& state = corvex.state;
  if (!FindCamera(corvex)) return 1;
  InstallDisplayRebuild(corvex);
  state.exposureValue = options.exposure.value;
  state.exposureUnit = options.exposure.unit;
  state.autoExposureMode = options.autoExposure;
  if (options.window) {
    state.focusLeft = static_cast<std::int16_t>(options.window->first);
    state.focusTop = static_cast<std::int16_t>(options.window->second);
  }
  int frame = 0;
  RunFocusMode(corvex, [&](int peak, int exposureMs) {
    std::printf("frame %d: peak %d, exposure %d ms\n", ++frame, peak, exposureMs);
    std::fflush(stdout);
    return frame < options.frames;
  });
  return frame > 0 ? 0 : 1;
}

}  // namespace corvex::cli
