#include "guide_jobs.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <chrono>
#include <thread>

#include "camera/camera_link.h"
#include "commands/camera_commands.h"
#include "corvex.h"
#include "exit_codes.h"
#include "files/settings_file.h"
#include "runs/guide_training.h"
#include "guiding/guide_correction.h"
#include "guiding/guide_frames.h"
#include "guiding/guide_stats.h"
#include "runs/guiding_loops.h"
#include "guiding/star_pick.h"
#include "guiding/telescope_link.h"
#include "guiding/telescope_panel.h"
#include "commands/settings_commands.h"
#include "json_output.h"
#include "mount/indi_mount.h"
#include "mount/sky_coordinates.h"
#include "json_reports.h"
#include "platform/terminal_host.h"
#include "sim/observatory.h"
#include "state/exposure.h"

namespace corvex::cli {

namespace {

// Stars closer to the edge than this are not chosen automatically: the search square and the
// guide window need room around them.
constexpr int kAutoPickMargin = 24;

// corvex.conf's telescope settings with the command line's over them. False after saying
// what is wrong.
bool ChooseMountMethod(Corvex& corvex, const std::string& method, const std::string& server,
                       const std::string& mount) {
  ReadProgramOptionsFile(corvex);
  ProgramOptions& o = corvex.options;
  if (!method.empty()) o.Set(kTelescopeMethodKey, method == "indi" ? "indi" : "camera");
  std::string host;
  int port = 0;
  if (!server.empty() &&
      (!ParseServerAddress(server, host, port) || !o.Set(kIndiServerKey, server))) {
    std::fprintf(stderr, "corvex-cli: --indi needs HOST:PORT, not \"%s\"\n",
                 TerminalText(server).c_str());
    return false;
  }
  if (!mount.empty() && !o.Set(kIndiMountKey, mount)) {
    std::fprintf(stderr, "corvex-cli: --mount: the name holds control characters\n");
    return false;
  }
  corvex.mount.reset();
  if (!corvex.makeMount) corvex.makeMount = MakeConfiguredIndiMount;
  return true;
}

// The camera, the settings file and the telescope method. False after saying what is wrong.
bool Prepare(Corvex& corvex, const GuideOptions& options) {
  ProgramState& state = corvex.state;
  if (!ChooseMountMethod(corvex, options.method, options.indiServer, options.indiMount)) {
    return false;
  }
  DiscoverCamera(corvex.camera, *corvex.devices, state);
  if (!state.cameraFound) return false;
  // Opening the link reads the settings file; the options then go over it.
  if (!PrepareTelescopeLink(corvex)) {
    std::fprintf(stderr, "corvex-cli: Communication with telescope failed\n");
    return false;
  }
  char& method = state.settings.telescopeMethod;
  if (options.method == "lx200") method = 'l';
  if (options.method == "relays") method = 'b';
  if (method == 'n' && !MountMethod(corvex)) {
    std::fprintf(stderr, "corvex-cli: no telescope method is set; guiding by LX200 commands\n");
    method = 'l';
  }
  state.exposureValue = options.exposure.value;
  state.exposureUnit = options.exposure.unit;
  state.exposureMs = MainExposureMs(options.exposure.value, options.exposure.unit);
  state.guiderExposureValue = static_cast<std::int16_t>(options.exposure.value);
  state.guiderExposureUnit = options.exposure.unit;
  state.maskRadius = state.settings.starMaskRadius;
  if (options.trainingSeconds > 0) {
    state.settings.selfGuideTrainingSeconds = options.trainingSeconds;
    corvex.guiding.training.trainingSeconds = options.trainingSeconds;
  }
  return true;
}

// The guide star: the given point, or the brightest star of a first frame.
bool PickMainStar(Corvex& corvex, const GuideOptions& options) {
  if (!ExposeFullFrame(corvex)) return false;
  std::optional<SamplePoint> at;
  if (options.star) {
    at = SamplePoint{options.star->first, options.star->second};
  } else {
    at = BrightestStar(corvex.store.currentImage.data(), kImageStride, kImageRows, kImageStride,
                       kAutoPickMargin);
  }
  return at && PickGuideStar(corvex, at->x, at->y);
}

bool PickGuiderStar(Corvex& corvex, std::optional<SamplePoint> at) {
  if (!TakeGuiderFrame(corvex)) return false;  // no star is picked on a frame that never came
  if (!at) {
    at = BrightestStar(corvex.store.guiderImage.data(), kReadoutWidth, kImageRows, kReadoutWidth,
                       kAutoPickMargin);
  }
  return at && SelectGuiderStar(corvex, at->x, at->y);
}

bool PickStar(Corvex& corvex, const GuideOptions& options) {
  const bool picked =
      options.guider
          ? PickGuiderStar(corvex, options.star ? std::optional<SamplePoint>(SamplePoint{
                                                      options.star->first, options.star->second})
                                                : std::nullopt)
          : PickMainStar(corvex, options);
  if (!picked) std::fprintf(stderr, "corvex-cli: no guide star\n");
  return picked;
}

int Cancelled() {
  std::fprintf(stderr, "corvex-cli: cancelled\n");
  return kExitCancelled;
}

// The camera, the settings, the telescope and the guide star, with a Ctrl-C honoured between
// them: 0, or the exit code.
int Start(Corvex& corvex, const GuideOptions& options) {
  if (!Prepare(corvex, options)) return kExitFailed;
  if (corvex.host.PumpEvents()) return Cancelled();
  if (!PickStar(corvex, options)) return kExitFailed;
  if (corvex.host.PumpEvents()) return Cancelled();
  return kExitOk;
}

// The training; 0, or the exit code (the training has said why it stopped).
int Train(Corvex& corvex, const GuideOptions& options) {
  const int trained = options.guider ? TrainGuider(corvex) : TrainSelfGuiding(corvex);
  if (trained == kTrainingCancelled) return Cancelled();
  if (trained != kTrainingDone) return kExitFailed;
  if (!options.guider) return kExitOk;
  // Guide on what the training measured: its angle included ("Ignore RA Angle" off).
  corvex.state.settings.ignoreRaAngle = false;
  // Training leaves the star where its last move took it: select it again there.
  const SamplePoint last = corvex.guiding.training.trainingSamples[8];
  if (!PickGuiderStar(corvex, last)) return kExitFailed;
  return corvex.host.PumpEvents() ? Cancelled() : kExitOk;
}

// The CSV log of the corrections. A row that cannot be written is reported at once; guiding
// goes on without the log, and the command fails at the end.
class GuideLog {
 public:
  // False (after saying so) when the file cannot be made.
  bool Open(const std::string& path) {
    path_ = path;
    if (path.empty()) return true;
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr) {
      std::fprintf(stderr, "corvex-cli: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
      return false;
    }
    Write(kGuideLogHeader);
    return !failed_;
  }

  void Row(double seconds, const GuideCorrection& c) { Write(GuideLogRow(seconds, c).c_str()); }

  // False when any of the log was lost.
  bool Close() {
    if (file_ != nullptr && std::fclose(file_) != 0) Fail();
    file_ = nullptr;
    return !failed_;
  }

 private:
  void Write(const char* text) {
    if (file_ == nullptr) return;
    // Flushed row by row, so that a full disk is found at the row it cut, not at the end.
    if (std::fputs(text, file_) < 0 || std::fflush(file_) != 0) Fail();
  }
  void Fail() {
    std::fprintf(stderr,
                 "corvex-cli: cannot write the guide log %s: %s; guiding goes on without it\n",
                 path_.c_str(), std::strerror(errno));
    failed_ = true;
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
  }

  std::string path_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
};

// Whether a turn of the guiding loop measured the star (its error is known).
bool Measured(const GuideCorrection& c) {
  return c.result == kGuideDone || c.result == kGuideMoveFailed;
}

// The star's offset from where guiding started, over the run: from the simulator's truth when
// there is one, else from the measured errors.
class Track {
 public:
  Track(Corvex& corvex, std::shared_ptr<sim::SimulatedObservatory> observatory)
      : corvex_(corvex), observatory_(std::move(observatory)) {
    if (observatory_) {
      const std::int64_t now = corvex.clock.NowMs();
      start_ = observatory_->mount().OffsetAt(now);
      const sim::PointingOffset guided = observatory_->mount().GuidedAt(now);
      unguidedStart_ = {start_.x - guided.x, start_.y - guided.y};
    }
  }

  void Add(const GuideCorrection& correction) {
    ++count_;
    if (!observatory_) {
      Accumulate(correction.errorX * 0.001, correction.errorY * 0.001, 0, 0);
      return;
    }
    const std::int64_t now = corvex_.clock.NowMs();
    const sim::PointingOffset offset = observatory_->mount().OffsetAt(now);
    const sim::PointingOffset guided = observatory_->mount().GuidedAt(now);
    Accumulate(offset.x - start_.x, offset.y - start_.y, offset.x - guided.x - unguidedStart_.x,
               offset.y - guided.y - unguidedStart_.y);
  }

  // The run's figures in the JSON report: the line Print writes, and the measured errors
  // on the guiding axes with the guide log's summary figures.
  void Report(const GuideStats& stats, const GuideAxes& axes, const std::string& logPath) const {
    JsonReport& report = JsonReport::Get();
    if (!report.active()) return;
    const double n = count_ > 0 ? count_ : 1;
    JsonObject measured;
    measured.Text("axes", axes.sky ? "RA/Dec" : "x/y")
        .Number(axes.sky ? "rms_ra_px" : "rms_x_px", stats.RmsFirst())
        .Number(axes.sky ? "rms_dec_px" : "rms_y_px", stats.RmsSecond())
        .Number("rms_total_px", stats.RmsTotal())
        .Number("largest_px", stats.Largest())
        .Number("duration_s", stats.Duration());
    report.fields()
        .Whole("corrections", count_)
        .Number("rms_ra_px", std::sqrt(ra_ / n))
        .Number("rms_dec_px", std::sqrt(dec_ / n));
    if (observatory_) {
      report.fields().Number("unguided_rms_px", std::sqrt(unguided_ / n));
    } else {
      report.fields().Null("unguided_rms_px");
    }
    report.fields().Raw("measured", measured.Json());
    if (logPath.empty()) {
      report.fields().Null("log");
    } else {
      report.fields().Text("log", logPath);
    }
  }
  void Print() const {
    const double n = count_ > 0 ? count_ : 1;
    const std::string unguided =
        observatory_ ? std::to_string(std::sqrt(unguided_ / n)) : std::string("nan");
    std::printf("rms_ra_px=%.3f rms_dec_px=%.3f unguided_rms_px=%s corrections=%d\n",
                std::sqrt(ra_ / n), std::sqrt(dec_ / n), unguided.c_str(), count_);
  }

 private:
  void Accumulate(double ra, double dec, double unguidedRa, double unguidedDec) {
    ra_ += ra * ra;
    dec_ += dec * dec;
    unguided_ += unguidedRa * unguidedRa + unguidedDec * unguidedDec;
  }

  Corvex& corvex_;
  std::shared_ptr<sim::SimulatedObservatory> observatory_;
  sim::PointingOffset start_, unguidedStart_;
  double ra_ = 0, dec_ = 0, unguided_ = 0;
  int count_ = 0;
};

bool ParsePair(const std::string& text, int& first, int& second, bool& negative) {
  char colon = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%d%c%d%c", &first, &colon, &second, &tail) != 3 || colon != ':') {
    return false;
  }
  negative = text.find('-') != std::string::npos && text.find('-') < text.find(':');
  return true;
}

}  // namespace

int RunTrainJob(Corvex& corvex, const GuideOptions& options) {
  if (const int failed = Start(corvex, options); failed != kExitOk) return failed;
  const int trained = Train(corvex, options);
  if (trained == kExitOk) ReportTraining(corvex, options.guider);
  return trained;
}

int RunGuideJob(Corvex& corvex, const GuideOptions& options,
                const std::shared_ptr<sim::SimulatedObservatory>& observatory) {
  if (const int failed = Start(corvex, options); failed != kExitOk) return failed;
  if (options.train) {
    if (const int failed = Train(corvex, options); failed != kExitOk) return failed;
    ReportTraining(corvex, options.guider);
  }
  // The measured errors along the axes guiding steers by, for the report.
  GuideAxes axes;
  const GuiderTraining& training = corvex.guiding.training;
  if (options.guider && training.guiderTrained && training.useTrainedValues &&
      !corvex.state.settings.ignoreRaAngle) {
    axes = AxesFromTraining(training);
  }
  GuideStats stats;
  GuideLog log;
  if (!log.Open(options.log)) return kExitFailed;
  const std::int64_t start = corvex.clock.NowMs();
  const std::int64_t end = start + static_cast<std::int64_t>(options.minutes * 60000);
  Track track(corvex, observatory);
  // The run's progress through its minutes, as the capture's exposures show theirs.
  corvex.host.OpenProgress("GUIDING");
  // Every turn of the loop, measured or not, so that the time is up when it is up.
  const auto observer = [&](Corvex& c, const GuideCorrection& correction) {
    const std::int64_t now = c.clock.NowMs();
    if (Measured(correction)) {
      track.Add(correction);
      log.Row((now - start) / 1000.0, correction);
      const AxisError e = ResolveOnAxes(axes, correction.errorX * 0.001, correction.errorY * 0.001);
      stats.Add({(now - start) / 1000.0, e.first, e.second});
      if (options.verbose) {
        std::fprintf(stderr, "%8.1f s  dx %+7.3f px  dy %+7.3f px\n", (now - start) / 1000.0,
                     correction.errorX * 0.001, correction.errorY * 0.001);
      }
    }
    c.host.SetProgress(static_cast<int>(std::min<std::int64_t>(now - start, end - start) * 256 /
                                        std::max<std::int64_t>(end - start, 1)));
    if (now >= end) {
      c.state.continuousMode = false;
      c.state.guiderGuidingRunning = false;
    }
  };
  const GuidingEnd ended = options.guider ? RunGuiderGuiding(corvex, observer)
                                          : RunContinuousSelfGuiding(corvex, observer);
  corvex.host.CloseProgress();
  const bool logged = log.Close();
  track.Print();
  track.Report(stats, axes, options.log);
  switch (ended) {
    case GuidingEnd::kStopped:
      return logged ? kExitOk : kExitFailed;
    case GuidingEnd::kCancelled:
      return Cancelled();
    default:
      return kExitFailed;  // the guiding or the link has said why
  }
}

namespace {

// Sends the go-to the options name: a catalogue object, a planet or typed co-ordinates, over
// whichever method is chosen. nullopt when the options themselves are refused (said on
// stderr; nothing sent); otherwise whether the go-to went out.
std::optional<bool> SendGoTo(Corvex& corvex, const GoToOptions& options) {
  if (options.messier || options.cngc) {
    return GoToObject(corvex, options.messier.value_or(0), options.cngc.value_or(0));
  }
  if (!options.planet.empty()) {
    if (PlanetNumber(options.planet) == 0) {
      std::fprintf(stderr,
                   "corvex-cli: unknown planet \"%s\" (Mercury, Venus, Mars, Jupiter, Saturn, "
                   "Uranus, Neptune, Pluto)\n",
                   options.planet.c_str());
      return std::nullopt;
    }
    return GoToPlanet(corvex, options.planet);
  }
  int hours = 0, minutes = 0, degrees = 0, decMinutes = 0;
  bool negative = false, south = false;
  if (!ParsePair(options.ra, hours, minutes, negative) ||
      !ParsePair(options.dec, degrees, decMinutes, south)) {
    std::fprintf(stderr, "corvex-cli: --ra needs H:M and --dec needs D:M\n");
    return std::nullopt;
  }
  return GoToTarget(corvex, hours, minutes, degrees, decMinutes, south);
}

// A go-to on an INDI mount: sent, then followed until the mount has arrived (or Ctrl-C, which
// stops the mount), and the position it reports.
int GoToOnMount(Corvex& corvex, const GoToOptions& options) {
  if (!ConnectMount(corvex)) return kExitFailed;
  const std::optional<bool> sent = SendGoTo(corvex, options);
  if (!sent) return kExitUsage;
  if (!*sent) return corvex.mount && corvex.mount->Lost() ? kExitFailed : kExitUsage;
  std::printf("Info from Scope: %s\n", TerminalText(corvex.telescope.scopeInfoText).c_str());
  std::fflush(stdout);
  if (!options.wait) return kExitOk;
  Mount& mount = *corvex.mount;
  // A mount may take a moment to answer the go-to with its slew.
  corvex.host.OpenProgress("Slewing");
  while (mount.Slewing()) {
    if (corvex.host.PumpEvents()) {
      mount.Abort();
      corvex.host.CloseProgress();
      std::fprintf(stderr, "corvex-cli: cancelled; the mount was told to stop\n");
      return kExitCancelled;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  corvex.host.CloseProgress();
  if (mount.Lost()) {
    std::fprintf(stderr, "corvex-cli: the connection to the INDI mount %s was lost\n",
                 mount.Name().c_str());
    return kExitFailed;
  }
  if (ReadMountInfo(corvex)) {
    std::printf("Mount at %s\n", TerminalText(corvex.telescope.scopeInfoText).c_str());
  }
  return kExitOk;
}

}  // namespace

int RunGoToJob(Corvex& corvex, const GoToOptions& options) {
  if (!ChooseMountMethod(corvex, options.method, options.indiServer, options.indiMount)) {
    return kExitUsage;
  }
  if (MountMethod(corvex)) return GoToOnMount(corvex, options);
  DiscoverCamera(corvex.camera, *corvex.devices, corvex.state);
  if (!corvex.state.cameraFound) return kExitFailed;
  if (!PrepareTelescopeLink(corvex)) {
    std::fprintf(stderr, "corvex-cli: Communication with telescope failed\n");
    return kExitFailed;
  }
  const unsigned faults = corvex.camera.transferFaults;
  const std::optional<bool> sent = SendGoTo(corvex, options);
  if (!sent) return kExitUsage;
  if (corvex.camera.transferFaults != faults) {
    std::fprintf(stderr,
                 "corvex-cli: the go-to did not get through to the telescope; it may not be "
                 "slewing\n");
    return kExitFailed;
  }
  if (!*sent) return kExitUsage;  // out of range: the message has said so, nothing was sent
  std::printf("Info from Scope: %s\n", TerminalText(corvex.telescope.scopeInfoText).c_str());
  if (!corvex.telescope.slewReplyText.empty()) {
    std::fprintf(stderr, "The telescope refused the slew: %s\n",
                 TerminalText(corvex.telescope.slewReplyText).c_str());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace corvex::cli
