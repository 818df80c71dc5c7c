#include "camera/exposures.h"

#include <algorithm>
#include <array>

#include "camera/camera_link.h"
#include "camera/camera_requests.h"
#include "platform/clock.h"
#include "state/exposure.h"

namespace corvex {

namespace {

constexpr int kTurnMs = 20;  // how long a waiting loop sleeps between its looks at the clock
constexpr int kLongClearMs = 10000;
constexpr int kShortClearMs = 1000;
constexpr int kGuideWindowWaitFromMs = 1000;
constexpr int kHotPixelMinimumCap = 65000;
constexpr float kHotPixelThreshold = 0.6f;

bool ShortUnit(char unit) {
  return unit == 'h' || unit == 't' || unit == 'q';
}

// The register clear every second of a short exposure, on the second; no progress bar.
bool WaitShortSteps(CameraLink& camera, ExposureTimer& timer, ExposureTurns& turns) {
  Clock& clock = camera.clock;
  timer.nextClear = timer.start + kShortClearMs;
  while (clock.NowMs() < timer.end) {
    clock.SleepUntil(std::min({timer.end, timer.nextClear, clock.NowMs() + kTurnMs}));
    turns.BeforeClear(timer);
    if (clock.NowMs() >= timer.nextClear) {
      ClearRegister(camera);
      timer.nextClear += kShortClearMs;
    }
    if (!turns.AfterClear(timer)) return false;
  }
  return true;
}

// A register clear 10 s after the last one, looked for on the turns; the turns also come at
// every progress step.
bool WaitLongSteps(CameraLink& camera, ExposureTimer& timer, ExposureTurns& turns) {
  Clock& clock = camera.clock;
  const int step = timer.timing.exposureMs / timer.timing.progressSteps;
  timer.nextProgress = timer.start + step;
  timer.nextClear = timer.start + kLongClearMs;
  while (clock.NowMs() < timer.end) {
    clock.SleepUntil(std::min({timer.end, timer.nextProgress, clock.NowMs() + kTurnMs}));
    turns.BeforeClear(timer);
    if (clock.NowMs() >= timer.nextClear) {
      ClearRegister(camera);
      timer.nextClear = clock.NowMs() + kLongClearMs;
    }
    if (clock.NowMs() >= timer.nextProgress) {
      timer.nextProgress += step;
      turns.Progress(timer);
    }
    if (!turns.AfterClear(timer)) return false;
  }
  return true;
}

// A front end's cancel, looked at on every turn: it ends the exposure where it is.
class CancelTurns final : public ExposureTurns {
 public:
  CancelTurns(const Clock& clock, const std::function<bool()>& cancelRequested)
      : clock_(clock), cancelRequested_(cancelRequested) {}
  bool AfterClear(ExposureTimer& timer) override {
    if (cancelRequested_ && cancelRequested_()) {
      cancelled = true;
      timer.end = clock_.NowMs();
    }
    return true;
  }
  bool cancelled = false;

 private:
  const Clock& clock_;
  const std::function<bool()>& cancelRequested_;
};

}  // namespace

int ProgressSteps(int exposureValue, char exposureUnit) {
  if (exposureUnit == 's' && exposureValue >= 5 && exposureValue <= 12) return 6;
  if ((exposureUnit == 's' && exposureValue >= 13) || exposureUnit == 'm') return 20;
  return 2;
}

ExposureWait ExposureWaitFor(int exposureMs, char exposureUnit) {
  if (!ShortUnit(exposureUnit)) return ExposureWait::kLongSteps;
  return exposureMs > kDelayedReadoutLimitMs ? ExposureWait::kShortSteps
                                             : ExposureWait::kCameraTimed;
}

ExposureTiming TimeExposure(int exposureValue, char exposureUnit) {
  const int exposureMs = MainExposureMs(exposureValue, exposureUnit);
  return {.exposureMs = exposureMs,
          .wait = ExposureWaitFor(exposureMs, exposureUnit),
          .progressSteps = ProgressSteps(exposureValue, exposureUnit)};
}

ExposureTimer StartExposure(CameraLink& camera, const ExposureTiming& timing) {
  ClearRegister(camera);
  ClearSensor(camera);
  ExposureTimer timer;
  timer.timing = timing;
  timer.start = camera.clock.NowMs();
  return timer;
}

void RestartExposure(CameraLink& camera, ExposureTimer& timer) {
  ClearSensor(camera);
  timer.start = camera.clock.NowMs();
}

bool WaitOutExposure(CameraLink& camera, ExposureTimer& timer, ExposureTurns& turns) {
  timer.end = timer.start + timer.timing.exposureMs;
  switch (timer.timing.wait) {
    case ExposureWait::kShortSteps:
      return WaitShortSteps(camera, timer, turns);
    case ExposureWait::kLongSteps:
      return WaitLongSteps(camera, timer, turns);
    case ExposureWait::kCameraTimed:
      break;
  }
  return true;
}

void FinishExposure(CameraLink& camera, const ExposureTimer& timer) {
  if (timer.timing.exposureMs >= 1000) ClearRegister(camera);
}

ExposureOutcome ExposeMainFrame(CameraLink& camera, const ExposureTiming& timing,
                                ImageBuffer& image, const std::function<bool()>& cancelRequested) {
  // As in a capture run, only the waits of seconds and minutes look for a cancel; a shorter
  // exposure is over within ten seconds.
  CancelTurns cancelTurns(camera.clock, cancelRequested);
  ExposureTurns plainTurns;
  const bool longWait = timing.wait == ExposureWait::kLongSteps;
  ExposureTimer timer = StartExposure(camera, timing);
  WaitOutExposure(camera, timer, longWait ? static_cast<ExposureTurns&>(cancelTurns) : plainTurns);
  FinishExposure(camera, timer);
  if (cancelTurns.cancelled) return ExposureOutcome::kCancelled;
  return ReadFullFrame(camera, kWholeFrameField, timing.exposureMs, image)
             ? ExposureOutcome::kRead
             : ExposureOutcome::kReadFailed;
}

bool ExposeFocusWindow(CameraLink& camera, const WindowExposure& exposure, ImageBuffer& image) {
  Clock& clock = camera.clock;
  ClearRegister(camera);
  ClearSensor(camera);
  const std::int64_t end = clock.NowMs() + exposure.exposureMs;
  if (exposure.exposureMs >= exposure.waitFromMs) {
    if (exposure.clearWhileWaiting) {
      while (clock.NowMs() < end) {
        ClearRegister(camera);
        clock.SleepUntil(std::min(end, clock.NowMs() + kFocusClearIntervalMs));
      }
    } else {
      clock.SleepUntil(end);
    }
  }
  return ReadFocusWindow(camera, exposure.field, exposure.left, exposure.top, exposure.exposureMs,
                         image);
}

bool ExposeGuideWindow(CameraLink& camera, int exposureMs, std::uint8_t field, int left, int top,
                       int gainFactor, ImageBuffer& image) {
  ClearRegister(camera);
  const std::int64_t end = camera.clock.NowMs() + exposureMs;
  if (exposureMs >= kGuideWindowWaitFromMs) camera.clock.SleepUntil(end);
  const bool read = ReadGuideWindow(camera, field, left, top, exposureMs, image);
  if (gainFactor != 1) ApplyGain(std::span(image.data(), kWindowBytes / 2), gainFactor);
  return read;
}

int FocusPeak(const ImageBuffer& image) {
  constexpr int kWindowSize = 128;
  int peak = 0;
  for (int row = 12; row <= 125; ++row) {
    for (int col = 5; col <= 125; ++col) {
      const int value = image[row * kWindowSize + col];
      const int above = image[(row - 1) * kWindowSize + col];
      if (value > peak && above > peak) peak = value;
    }
  }
  return peak;
}

void GuiderClear(CameraLink& camera) {
  ReadGuiderFrame(camera);
  for (int i = 0; i < 2; ++i) ClearGuiderSensor(camera);
}

bool ExposeGuider(CameraLink& camera, const GuiderExposureOptions& options, GuiderBuffer& image,
                  GuiderBuffer& scratch) {
  GuiderClear(camera);
  camera.clock.SleepUntil(camera.clock.NowMs() + options.exposureMs);
  const bool read = ReadGuiderFrame(camera);
  // The guider sends 8-bit values: each byte is the high byte of a sample.
  for (int i = 0; i < kGuiderValues; ++i) {
    image[i] = static_cast<std::uint16_t>(camera.usbReceiveBuffer[i] << 8);
  }
  if (options.dark != nullptr) SubtractGuiderDark(image, *options.dark);
  if (options.hotPixelFilter) FilterGuiderHotPixels(image, scratch);
  if (options.gainFactor != 1) ApplyGain(image.span(), options.gainFactor);
  return read;
}

void ApplyGain(std::span<std::uint16_t> values, int factor) {
  for (std::uint16_t& v : values) {
    v = static_cast<std::uint16_t>(std::min<long>(static_cast<long>(v) * factor, 65535));
  }
}

int GuideWindowGainFactor(int guideWindowGain) {
  switch (guideWindowGain) {
    case 12:
      return 16;
    case 13:
      return 8;
    case 14:
      return 4;
    case 15:
      return 2;
    default:
      return 1;
  }
}

int GuiderGainFactor(int guiderGain) {
  switch (guiderGain) {
    case 5:
      return 8;
    case 6:
      return 4;
    case 7:
      return 2;
    default:
      return 1;
  }
}

void SubtractGuiderDark(GuiderBuffer& image, const GuiderBuffer& dark) {
  for (int i = 0; i < kGuiderValues; ++i) {
    image[i] = image[i] > dark[i] ? static_cast<std::uint16_t>(image[i] - dark[i]) : 0;
  }
}

void FilterGuiderHotPixels(GuiderBuffer& image, GuiderBuffer& scratch) {
  constexpr int kWidth = kReadoutWidth;
  std::copy(image.begin(), image.end(), scratch.begin());
  const auto median3 = [](int a, int b, int c) {
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
  };
  // Each column's three values (rows above, here, below) sorted once and shared by the three
  // pixels whose neighbourhoods hold them. The median of the nine is then the median of the
  // largest low, the middle middle and the smallest high.
  std::array<int, kWidth> low, middle, high;
  for (int row = 1; row < kImageRows - 1; ++row) {
    const std::uint16_t* above = image.data() + (row - 1) * kWidth;
    const std::uint16_t* here = above + kWidth;
    const std::uint16_t* below = here + kWidth;
    for (int col = 0; col < kWidth; ++col) {
      const int a = above[col], b = here[col], c = below[col];
      low[col] = std::min({a, b, c});
      high[col] = std::max({a, b, c});
      middle[col] = median3(a, b, c);
    }
    for (int col = 1; col < kWidth - 1; ++col) {
      const int centre = here[col];
      const int smallest = std::min({low[col - 1], low[col], low[col + 1], kHotPixelMinimumCap});
      const int largest = std::max({high[col - 1], high[col], high[col + 1]});
      const int median = median3(std::max({low[col - 1], low[col], low[col + 1]}),
                                 median3(middle[col - 1], middle[col], middle[col + 1]),
                                 std::min({high[col - 1], high[col], high[col + 1]}));
      const int threshold =
          static_cast<int>(static_cast<float>(largest - smallest) * kHotPixelThreshold);
      const int difference = median > centre ? median - centre : centre - median;
      scratch[row * kWidth + col] =
          static_cast<std::uint16_t>(difference > threshold ? median : centre);
    }
  }
  std::copy(scratch.begin(), scratch.end(), image.begin());
}

}  // namespace corvex
