#include "capture_jobs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <tuple>

#include "camera/camera_link.h"
#include "camera/camera_requests.h"
#include "commands/display_commands.h"
#include "commands/settings_commands.h"
#include "runs/capture_run.h"
#include "runs/focus_mode.h"
#include "runs/guiding_loops.h"
#include "camera_source.h"
#include "commands/camera_commands.h"
#include "corvex.h"
#include "exit_codes.h"
#include "files/fits_file.h"
#include "files/pgm_file.h"
#include "files/program_options_file.h"
#include "commands/quick_save.h"
#include "files/settings_file.h"
#include "guiding/telescope_link.h"
#include "json_output.h"
#include "platform/terminal_host.h"
#include "processing/display_image.h"
#include "processing/star_measurement.h"
#include "state/exposure.h"

namespace corvex::cli {

namespace {

constexpr int kProgressStepMs = 100;

bool FindCamera(Corvex& corvex) {
  DiscoverCamera(corvex.camera, *corvex.devices, corvex.state);
  return corvex.state.cameraFound;
}

std::string Shown(const std::filesystem::path& path) {
  return TerminalText(path.string());
}

// Waits out an exposure with a progress bar; false when Ctrl-C cancelled it.
bool WaitForExposure(Corvex& corvex, std::int64_t end, int exposureMs) {
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

// The exposure's middle as DATE-OBS and TIME-OBS, as the quick save stamps its frames.
void StampObservationTime(Corvex& corvex) {
  const ProgramState& state = corvex.state;
  const std::int64_t middle =
      state.exposureStartTime + (state.exposureEndTime - state.exposureStartTime) / 2;
  corvex.fits.observationDate = FormatObservationDate(middle);
  corvex.fits.observationTime = FormatObservationTime(middle);
}

// The autosave directory must take new files, or be one the save can create: a run that
// cannot keep its frames is refused before its first exposure.
std::optional<std::string> AutosaveProblem(const std::filesystem::path& directory) {
  std::error_code ec;
  std::filesystem::path existing = directory;
  while (!existing.empty() && !std::filesystem::exists(existing, ec)) {
    if (existing == existing.parent_path()) break;
    existing = existing.parent_path();
  }
  if (existing.empty()) existing = ".";
  if (!std::filesystem::is_directory(existing, ec)) {
    return Shown(existing) + " is not a directory";
  }
  if (access(existing.c_str(), W_OK | X_OK) != 0) {
    return "cannot write in " + Shown(existing) + " (" + std::strerror(errno) + ")";
  }
  return std::nullopt;
}

// The run's quick saves and the files they wrote. A file counts as saved only when the save
// says it wrote it: numbers already taken are passed over, so the counter alone does not say
// which files a run made. A frame is saved when all its files (one, or two with both
// formats) were written.
class SaveTracker {
 public:
  explicit SaveTracker(int filesPerFrame) : filesPerFrame_(filesPerFrame) {}
  void Attempted() {
    ++saves_;
    if (writtenThisFrame_ < filesPerFrame_) ++failed_;
    writtenThisFrame_ = 0;
  }
  void Wrote(const std::filesystem::path& file) {
    ++writtenThisFrame_;
    std::printf("Saved %s\n", Shown(file).c_str());
    std::fflush(stdout);
    files_.Text(file.string());
  }
  const JsonArray& files() const { return files_; }
  int saves() const { return saves_; }
  int failed() const { return failed_; }

 private:
  int filesPerFrame_;
  int saves_ = 0;
  int failed_ = 0;
  int writtenThisFrame_ = 0;
  JsonArray files_;
};

}  // namespace

int RunSnap(const CameraJob& job, const ExposureSetting& exposure, const std::filesystem::path& out,
            ImageFormat format) {
  Corvex& corvex = job.corvex;
  if (!FindCamera(corvex)) return kExitFailed;
  const int faultsBefore = job.faults.count;
  ProgramState& state = corvex.state;
  state.exposureValue = exposure.value;
  state.exposureUnit = exposure.unit;
  state.exposureMs = MainExposureMs(exposure.value, exposure.unit);
  state.fieldSelect = 3;

  state.exposureStartTime = corvex.clock.CalendarSeconds();
  ClearRegister(corvex.camera);
  ClearSensor(corvex.camera);
  const std::int64_t end = corvex.clock.NowMs() + state.exposureMs;
  // Up to a second the camera times the exposure itself (the delay travels in the readout).
  if (state.exposureMs > 1000 && !WaitForExposure(corvex, end, state.exposureMs)) {
    std::fprintf(stderr, "corvex-cli: exposure cancelled, nothing saved\n");
    return kExitCancelled;
  }
  std::fprintf(stderr, "READ QZ CAMERA - takes 2 - 3 seconds\n");
  const bool read = ReadFullFrame(corvex);
  if (!read || job.faults.count != faultsBefore) {
    std::fprintf(stderr, "corvex-cli: the camera failed during the exposure; %s was not written\n",
                 Shown(out).c_str());
    return kExitFailed;
  }
  state.exposureEndTime = corvex.clock.CalendarSeconds();

  state.colourConverted = false;
  ClearHistory(corvex.history);
  FitsHeaderFields& fits = corvex.fits;
  fits.exposureSeconds = state.exposureMs / 1000.0;
  fits.pixelWidth = 0.0098;
  fits.pixelHeight = 0.0126;
  StampObservationTime(corvex);
  return SaveImage(corvex, out, format) ? kExitOk : kExitFailed;
}

int RunGuiderSnap(const CameraJob& job, const GuiderSnapOptions& options,
                  const std::filesystem::path& out) {
  Corvex& corvex = job.corvex;
  ProgramState& state = corvex.state;
  if (!options.dark.empty()) {
    const PgmImage dark = ReadPgm(options.dark, kReadoutWidth, kImageRows);
    if (!dark.error.empty()) {
      std::fprintf(stderr, "corvex-cli: %s: %s\n", Shown(options.dark).c_str(),
                   TerminalText(dark.error).c_str());
      return kExitUsage;
    }
    std::copy(dark.values.begin(), dark.values.end(), corvex.store.guiderDark.begin());
    state.guiderDarkSubtract = true;
  }
  if (!FindCamera(corvex)) return kExitFailed;
  const int faultsBefore = job.faults.count;
  state.guiderExposureValue = static_cast<std::int16_t>(options.exposure.value);
  state.guiderExposureUnit = options.exposure.unit;
  state.guiderHotPixelFilter = options.hotPixelFilter;
  state.guiderGain = options.gain;
  GuiderExposure(corvex);
  if (job.faults.count != faultsBefore) {
    std::fprintf(stderr,
                 "corvex-cli: the camera failed during the guider exposure; %s was not written\n",
                 Shown(out).c_str());
    return kExitFailed;
  }
  if (!WritePgm16(out, corvex.store.guiderImage.span(), kReadoutWidth, kImageRows)) {
    std::fprintf(stderr, "corvex-cli: cannot write %s\n", Shown(out).c_str());
    return kExitFailed;
  }
  std::printf("Wrote %s (guider frame, %d ms exposure)\n", Shown(out).c_str(),
              GuiderExposureMs(state.guiderExposureValue, state.guiderExposureUnit));
  return kExitOk;
}

int RunCaptureJob(const CameraJob& job, const CaptureOptions& options) {
  Corvex& corvex = job.corvex;
  ProgramState& state = corvex.state;

  // Everything the run will read or write is checked before its first exposure, the files
  // named on the command line before anything else is touched.
  if (options.dither && !options.selfGuide) {
    std::fprintf(stderr,
                 "corvex-cli: --dither moves the guide star between guided exposures: add "
                 "--self-guide (with --guide-star X,Y)\n");
    return kExitUsage;
  }
  if (options.darkSubtract) {
    const std::filesystem::path dark =
        corvex.paths.Map(options.dark.empty() ? "c:\\dark.def" : options.dark);
    if (const auto problem = CalibrationFileProblem(dark, CalibrationUse::kRunDark)) {
      std::fprintf(stderr, "corvex-cli: dark frame %s: %s\n", Shown(dark).c_str(),
                   problem->c_str());
      return kExitUsage;
    }
  }
  std::optional<ImageFormat> outputFormat;
  if (!options.output.empty() && !CheckImageOutput(options.output, outputFormat)) {
    return kExitUsage;
  }
  InstallDisplayRebuild(corvex);
  // The settings as the program keeps them between runs (the quick-save counter among them).
  ReadSettingsFile(corvex);
  ReadProgramOptionsFile(corvex);
  if (!options.format.empty()) corvex.options.Set(kAutosaveFormatKey, options.format);
  if (options.dither) {
    corvex.options.Set(kDitherKey, "yes");
    corvex.options.Set(kDitherAmountKey, std::to_string(*options.dither));
  } else if (options.selfGuide && corvex.options.Flag(kDitherKey)) {
    std::fprintf(stderr, "corvex-cli: dithering by up to %lld px (dither.enabled of corvex.conf)\n",
                 corvex.options.Whole(kDitherAmountKey));
  }

  const AutosaveFormat format = AutosaveFormatOf(corvex.options);
  if (options.save) {
    const std::filesystem::path directory = AutosaveFilePath(corvex, 1).parent_path();
    if (const auto problem = AutosaveProblem(directory)) {
      std::fprintf(stderr, "corvex-cli: cannot save into the autosave directory %s: %s\n",
                   Shown(directory).c_str(), problem->c_str());
      return kExitUsage;
    }
  }
  if (!options.save && options.output.empty()) {
    std::fprintf(stderr,
                 "corvex-cli: neither --save nor -o FILE was given: no frame of this run is "
                 "kept\n");
  }

  SaveTracker saves(format == AutosaveFormat::kBoth ? 2 : 1);
  corvex.quickSaved = [&saves](const std::filesystem::path& file) { saves.Wrote(file); };
  job.host.SetNoticeClosedHandler([&saves](const std::string& caption) {
    if (caption == "Saving Image") saves.Attempted();
  });
  const int faultsBefore = job.faults.count;
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
    if (options.selfGuide) {
      // The camera panel's "Self-Guide Next Exposure" with one-second guide frames. The link
      // is opened here (it reads the settings file) so that the method chosen stays.
      PrepareTelescopeLink(c);
      if (s.settings.telescopeMethod == 'n') {
        std::fprintf(stderr,
                     "corvex-cli: no telescope method is set; guiding by LX200 commands\n");
        s.settings.telescopeMethod = 'l';
      }
      s.selfGuideNext = true;
      s.guideExposureValue = 1;
      s.guideExposureUnit = 's';
    }
    return PanelOutcome::kTakePhoto;
  };
  CaptureGuiding noGuiding;
  CaptureGuidingSteps guidingSteps;
  guidingSteps.ditherSeed = options.ditherSeed;
  const CaptureResult result =
      RunCapture(corvex, panel, options.selfGuide ? guidingSteps : noGuiding);
  job.host.SetNoticeClosedHandler({});
  corvex.quickSaved = {};
  if (result == CaptureResult::kNoCamera) return kExitFailed;

  int code = kExitOk;
  const int faults = job.faults.count - faultsBefore;
  if (job.host.CancelRequested()) {
    std::fprintf(stderr, "The run was cancelled\n");
    code = kExitCancelled;
  } else if (faults > 0 || result == CaptureResult::kReadoutFailed) {
    if (state.abortRequested || result == CaptureResult::kReadoutFailed) {
      std::fprintf(stderr,
                   "corvex-cli: the run ended on a camera fault; the frame being read "
                   "was not kept\n");
    } else {
      std::fprintf(stderr,
                   "corvex-cli: the camera link reported %d failed transfer%s during "
                   "the run\n",
                   faults, faults == 1 ? "" : "s");
    }
    code = kExitFailed;
  } else if (result != CaptureResult::kCompleted || state.abortRequested) {
    std::fprintf(stderr, "corvex-cli: the run ended early\n");
    code = kExitFailed;
  }
  if (saves.failed() > 0) {
    std::fprintf(stderr, "corvex-cli: %d of %d frames could not be saved\n", saves.failed(),
                 saves.saves());
    if (code == kExitOk) code = kExitFailed;
  }
  // The final frame goes to -o only when the run finished as asked: a cancelled series holds
  // a partial sum, and a failed readout left the frame before it.
  bool outputWritten = false;
  if (outputFormat && code == kExitOk) {
    if (!options.save) StampObservationTime(corvex);
    outputWritten = SaveImage(corvex, options.output, *outputFormat);
    if (!outputWritten) code = kExitFailed;
  }
  JsonObject& report = JsonReport::Get().fields();
  report.Raw("saved", saves.files().Json());
  if (outputWritten) {
    report.Text("output", options.output);
  } else {
    report.Null("output");
  }
  return code;
}

int RunFocusJob(const CameraJob& job, const FocusOptions& options) {
  Corvex& corvex = job.corvex;
  ProgramState& state = corvex.state;
  if (!FindCamera(corvex)) return kExitFailed;
  InstallDisplayRebuild(corvex);
  state.exposureValue = options.exposure.value;
  state.exposureUnit = options.exposure.unit;
  state.autoExposureMode = options.autoExposure;
  if (options.window) {
    state.focusLeft = static_cast<std::int16_t>(options.window->first);
    state.focusTop = static_cast<std::int16_t>(options.window->second);
  }
  const int faultsBefore = job.faults.count;
  int frame = 0;
  JsonArray frames;
  std::optional<std::pair<int, double>> best;  // the frame with the smallest HFR, and it
  const auto report = [&frames, &best] {
    JsonReport::Get().fields().Raw("frames", frames.Json());
    if (best) {
      JsonReport::Get()
          .fields()
          .Whole("best_frame", best->first)
          .Number("best_hfr_px", best->second);
    } else {
      JsonReport::Get().fields().Null("best_frame");
    }
  };
  const bool framesRead = RunFocusMode(corvex, [&](int peak, int exposureMs) {
    // A frame read over a failed link shows nothing true: focus mode stops before showing it.
    if (job.faults.count != faultsBefore) return false;
    // The brightest star's widths beside the peak: focus is where they are smallest.
    const std::optional<StarMeasurement> star =
        MeasureBrightestStar(corvex.store.currentImage.data(), kFocusFrameSide, kFocusFrameSide,
                             kFocusFrameSide, kFocusFrameMargin);
    char widths[64] = ", no star to measure";
    if (star) {
      std::snprintf(widths, sizeof widths, ", HFR %.2f px, FWHM %.2f px", star->hfr, star->fwhm);
    }
    std::printf("frame %d: peak %d, exposure %d ms%s\n", ++frame, peak, exposureMs, widths);
    JsonObject row;
    row.Whole("frame", frame).Whole("peak", peak).Whole("exposure_ms", exposureMs);
    if (star) {
      row.Number("hfr_px", star->hfr)
          .Number("fwhm_px", star->fwhm)
          .Number("x", star->x)
          .Number("y", star->y);
      if (!best || star->hfr < best->second) best = {frame, star->hfr};
    } else {
      row.Null("hfr_px").Null("fwhm_px");
    }
    frames.Raw(row.Json());
    std::fflush(stdout);
    return frame < options.frames;
  });
  report();
  if (job.faults.count != faultsBefore || !framesRead) {
    std::fprintf(stderr,
                 "corvex-cli: focus mode stopped: the camera failed during a focus "
                 "frame\n");
    return kExitFailed;
  }
  if (job.host.CancelRequested()) return kExitCancelled;
  return frame > 0 ? kExitOk : kExitFailed;
}

}  // namespace corvex::cli
