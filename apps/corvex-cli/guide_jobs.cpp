#include "guide_jobs.h"

#include <cmath>
#include <cstdio>

#include "camera/camera_commands.h"
#include "camera/camera_link.h"
#include "corvex.h"
#include "files/settings_file.h"
#include "guiding/calibration.h"
#include "guiding/guiding_loops.h"
#include "guiding/star_pick.h"
#include "guiding/telescope_link.h"
#include "guiding/telescope_panel.h"
#include "platform/terminal_host.h"
#include "sim/observatory.h"
#include "state/exposure.h"

namespace corvex::cli {

namespace {

// Stars closer to the edge than this are not chosen automatically: the search square and the
// guide window need room around them.
constexpr int kAutoPickMargin = 24;

// The camera, the settings file and the telescope method. False after saying what is wrong.
bool Prepare(Corvex& corvex, const GuideOptions& options) {
  ProgramState& state = corvex.state;
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
  if (method == 'n') {
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
  GuiderExposure(corvex);
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

bool Train(Corvex& corvex, const GuideOptions& options) {
  if (!options.guider) return TrainSelfGuiding(corvex) == kTrainingDone;
  if (TrainGuider(corvex) != kTrainingDone) return false;
  // Guide on what the training measured: its angle included ("Ignore RA Angle" off).
  corvex.state.settings.ignoreRaAngle = false;
  // Training leaves the star where its last move took it: select it again there.
  const SamplePoint last = corvex.guiding.training.trainingSamples[8];
  return PickGuiderStar(corvex, last);
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
    Accumulate(offset.x - start_.x, offset.y - start_.y,
               offset.x - guided.x - unguidedStart_.x, offset.y - guided.y - unguidedStart_.y);
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
  if (!Prepare(corvex, options) || !PickStar(corvex, options)) return 1;
  return Train(corvex, options) ? 0 : 1;
}

int RunGuideJob(Corvex& corvex, const GuideOptions& options,
                const std::shared_ptr<sim::SimulatedObservatory>& observatory) {
  if (!Prepare(corvex, options) || !PickStar(corvex, options)) return 1;
  if (options.train && !Train(corvex, options)) return 1;

  std::FILE* log = nullptr;
  if (!options.log.empty()) {
    log = std::fopen(options.log.c_str(), "w");
    if (log == nullptr) {
      std::fprintf(stderr, "corvex-cli: cannot write %s\n", options.log.c_str());
      return 1;
    }
    std::fprintf(log, "time_s,dx_px,dy_px,ra_dir,ra_ms,dec_dir,dec_ms\n");
  }
  const std::int64_t start = corvex.clock.NowMs();
  const std::int64_t end = start + static_cast<std::int64_t>(options.minutes * 60000);
  Track track(corvex, observatory);
  const auto observer = [&](Corvex& c, const GuideCorrection& correction) {
    track.Add(correction);
    const std::int64_t now = c.clock.NowMs();
    if (log != nullptr) {
      std::fprintf(log, "%.3f,%.3f,%.3f,%c,%d,%c,%d\n", (now - start) / 1000.0,
                   correction.errorX * 0.001, correction.errorY * 0.001,
                   correction.raLetter ? correction.raLetter : '-', correction.raMs,
                   correction.decLetter ? correction.decLetter : '-', correction.decMs);
    }
    if (now >= end) {
      c.state.continuousMode = false;
      c.state.guiderGuidingRunning = false;
    }
  };
  if (options.guider) {
    RunGuiderGuiding(corvex, observer);
  } else {
    RunContinuousSelfGuiding(corvex, observer);
  }
  if (log != nullptr) std::fclose(log);
  track.Print();
  return 0;
}

int RunGoToJob(Corvex& corvex, const GoToOptions& options) {
  DiscoverCamera(corvex.camera, *corvex.devices, corvex.state);
  if (!corvex.state.cameraFound) return 1;
  if (!PrepareTelescopeLink(corvex)) {
    std::fprintf(stderr, "corvex-cli: Communication with telescope failed\n");
    return 1;
  }
  bool sent = false;
  if (options.messier || options.cngc) {
    sent = GoToObject(corvex, options.messier.value_or(0), options.cngc.value_or(0));
  } else if (!options.planet.empty()) {
    if (PlanetNumber(options.planet) == 0) {
      std::fprintf(stderr,
                   "corvex-cli: unknown planet \"%s\" (Mercury, Venus, Mars, Jupiter, Saturn, "
                   "Uranus, Neptune, Pluto)\n",
                   options.planet.c_str());
      return 2;
    }
    sent = GoToPlanet(corvex, options.planet);
  } else {
    int hours = 0, minutes = 0, degrees = 0, decMinutes = 0;
    bool negative = false, south = false;
    if (!ParsePair(options.ra, hours, minutes, negative) ||
        !ParsePair(options.dec, degrees, decMinutes, south)) {
      std::fprintf(stderr, "corvex-cli: --ra needs H:M and --dec needs D:M\n");
      return 2;
    }
    sent = GoToTarget(corvex, hours, minutes, degrees, decMinutes, south);
  }
  if (!sent) return 1;
  std::printf("Info from Scope: %s\n", TerminalText(corvex.telescope.scopeInfoText).c_str());
  if (!corvex.telescope.slewReplyText.empty()) {
    std::printf("The telescope refused the slew: %s\n",
                TerminalText(corvex.telescope.slewReplyText).c_str());
    return 1;
  }
  return 0;
}

}  // namespace corvex::cli
