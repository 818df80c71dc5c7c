#include "camera_jobs.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <system_error>

#include "camera/camera_requests.h"
#include "processing/colour_adjustments.h"
#include "processing/colour_synthesis.h"
#include "processing/sensor_geometry.h"

namespace corvex::indi {

namespace {

constexpr int kTurnMs = 20;  // how often a wait here looks for a cancel

// Takes the link for each register clear of a wait and lets it go after, and ends a wait in
// seconds when asked to.
class SharedLinkTurns final : public ExposureTurns {
 public:
  SharedLinkTurns(DriverCamera& camera, const std::function<bool()>* cancelRequested)
      : camera_(camera), cancelRequested_(cancelRequested) {}
  void BeforeClear(ExposureTimer&) override { group_.emplace(camera_); }
  bool AfterClear(ExposureTimer& timer) override {
    if (group_) faulted = faulted || group_->Faulted();
    group_.reset();
    if (cancelRequested_ != nullptr && *cancelRequested_ && (*cancelRequested_)()) {
      cancelled = true;
      timer.end = camera_.clock().NowMs();
    }
    return true;
  }
  bool faulted = false;
  bool cancelled = false;

 private:
  DriverCamera& camera_;
  const std::function<bool()>* cancelRequested_;
  std::optional<LinkGroup> group_;
};

}  // namespace

ExposureOutcome ExposeMain(DriverCamera& camera, const ExposureTiming& timing, ImageBuffer& image,
                           const std::function<bool()>& cancelRequested) {
  if (timing.wait == ExposureWait::kCameraTimed) {
    LinkGroup group(camera);
    const ExposureOutcome outcome = ExposeMainFrame(group.link(), timing, image);
    return outcome == ExposureOutcome::kRead && group.Faulted() ? ExposureOutcome::kReadFailed
                                                                : outcome;
  }
  bool faulted = false;
  ExposureTimer timer;
  {
    LinkGroup group(camera);
    timer = StartExposure(group.link(), timing);
    faulted = group.Faulted();
  }
  // As in a capture run, only the waits of seconds and minutes look for a cancel; a shorter
  // exposure is over within ten seconds.
  const bool longWait = timing.wait == ExposureWait::kLongSteps;
  SharedLinkTurns turns(camera, longWait ? &cancelRequested : nullptr);
  WaitOutExposure(camera.linkForWaits(), timer, turns);
  LinkGroup group(camera);
  FinishExposure(group.link(), timer);
  if (turns.cancelled) return ExposureOutcome::kCancelled;
  const bool read = ReadFullFrame(group.link(), kWholeFrameField, timing.exposureMs, image);
  return read && !faulted && !turns.faulted && !group.Faulted() ? ExposureOutcome::kRead
                                                                : ExposureOutcome::kReadFailed;
}

ExposureOutcome ExposeGuideHead(DriverCamera& camera, const GuiderExposureOptions& options,
                                GuiderBuffer& image, GuiderBuffer& scratch,
                                const std::function<bool()>& cancelRequested) {
  Clock& clock = camera.clock();
  bool faulted = false;
  {
    LinkGroup group(camera);
    GuiderClear(group.link());
    faulted = group.Faulted();
  }
  const std::int64_t end = clock.NowMs() + options.exposureMs;
  while (clock.NowMs() < end) {
    if (cancelRequested && cancelRequested()) return ExposureOutcome::kCancelled;
    clock.SleepUntil(std::min(end, clock.NowMs() + kTurnMs));
  }
  bool read = false;
  {
    LinkGroup group(camera);
    read = ReadGuiderFrame(group.link());
    // The guider sends 8-bit values: each byte is the high byte of a sample.
    const CameraLink& link = group.link();
    for (int i = 0; i < kGuiderValues; ++i) {
      image[i] = static_cast<std::uint16_t>(link.usbReceiveBuffer[i] << 8);
    }
    faulted = faulted || group.Faulted();
  }
  if (options.dark != nullptr) SubtractGuiderDark(image, *options.dark);
  if (options.hotPixelFilter) FilterGuiderHotPixels(image, scratch);
  if (options.gainFactor != 1) ApplyGain(image.span(), options.gainFactor);
  return read && !faulted ? ExposureOutcome::kRead : ExposureOutcome::kReadFailed;
}

std::uint8_t PulseMask(char direction, const ProgramSettings& settings) {
  constexpr char kTableOrder[] = {'e', 'w', 'n', 's'};
  for (std::size_t slot = 0; slot < 4; ++slot) {
    if (kTableOrder[slot] == direction) return RelayMask(settings.directionTable[slot]);
  }
  return 0;
}

PulseOutcome PulseRelays(DriverCamera& camera, std::uint8_t mask, std::uint32_t durationMs) {
  LinkGroup group(camera);
  return PulseGuideRelays(group.link(), mask, durationMs);
}

bool MoveFilter(DriverCamera& camera, int port, int position) {
  LinkGroup group(camera);
  if (!SelectFilter(group.link(), static_cast<std::uint16_t>(port), position)) return false;
  return !group.Faulted();
}

void SynthesizeColour(ImageBuffer& raw, const ProgramSettings& settings, ImageBuffer& luminance,
                      ColourPlanes& planes, ColourPlanes& detail, ColourPlanes& scratch) {
  SubtractBlackLevel(raw, BlackLevel(raw));
  SynthesizeRows(raw, luminance, ViewOf(planes), settings.pixelOffset, settings.lineOffset,
                 HasLabelBand(raw));
  if (settings.lightPollutionCorrection) CorrectLightPollution(ViewOf(planes));
  if (settings.antiAlias) AntiAliasPass(ViewOf(planes), ViewOf(detail), ViewOf(scratch));
}

void LayGuiderFrame(const GuiderBuffer& guider, ImageBuffer& image) {
  image.Fill(0);
  for (int row = 0; row < kImageRows; ++row) {
    std::copy_n(guider.data() + row * kReadoutWidth, kReadoutWidth,
                image.data() + row * kImageStride + kReadoutLeftPad);
  }
}

std::filesystem::path LocalFramePath(const std::filesystem::path& directory, std::string prefix,
                                     std::int64_t startCalendarSeconds) {
  if (const auto at = prefix.find("ISO8601"); at != std::string::npos) {
    std::string stamp = IsoDateTime(startCalendarSeconds);
    std::replace(stamp.begin(), stamp.end(), ':', '-');  // no colons in file names
    prefix.replace(at, 7, stamp);
  }
  const auto numberAt = prefix.find("XXX");
  if (numberAt == std::string::npos) return directory / (prefix + ".fits");
  std::error_code ignored;
  for (int number = 1;; ++number) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%03d", number);
    std::string name = prefix;
    name.replace(numberAt, 3, digits);
    const std::filesystem::path path = directory / (name + ".fits");
    if (!std::filesystem::exists(path, ignored) || number >= 99999) return path;
  }
}

}  // namespace corvex::indi
