// The camera's exposures as device operations: the timed exposure of the main camera (clears,
// the wait with its register clears, the readout), the 128 x 128 focus, star and guide
// windows, and the guider camera's frame with its clean-ups (dark, hot pixels, gain).
//
// Each takes the camera session and what it is to do as parameters and reports whether the
// frame arrived whole; none of them reads or writes the program's state. The program's own
// operations (commands/camera_commands) and the runs are built on these, and so can any
// other front end.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <span>

#include "state/image_store.h"

namespace corvex {

struct CameraLink;

// ---- The timed exposure of the main camera ----

// How an exposure of the main camera is waited out.
enum class ExposureWait {
  kCameraTimed,  // up to a second in a short unit: no wait here, the readout carries the delay
  kShortSteps,   // a short unit above a second: a register clear every second, on the second
  kLongSteps,    // seconds and minutes: a register clear 10 s after the last, a progress bar
};

struct ExposureTiming {
  int exposureMs = 0;
  ExposureWait wait = ExposureWait::kCameraTimed;
  int progressSteps = 2;  // how often a long wait moves its progress bar
};

// How an exposure of `exposureMs` in `exposureUnit` is waited out: seconds and minutes in long
// steps, a short unit ('q', 'h', 't') above a second in short ones, else by the camera.
ExposureWait ExposureWaitFor(int exposureMs, char exposureUnit);

// How many progress steps an exposure shows: 6 for 5-12 s, 20 for 13 s and more or minutes,
// 2 otherwise.
int ProgressSteps(int exposureValue, char exposureUnit);

// The timing of an exposure of `exposureValue` in `exposureUnit` ('q' thousandths, 'h'
// hundredths, 't' tenths, 's' seconds, 'm' minutes), as the camera panel times it.
ExposureTiming TimeExposure(int exposureValue, char exposureUnit);

// Where an exposure stands. The wait sets `end`, `nextClear` and `nextProgress` when it
// begins; a caller may then move `end` (a cancel ends the exposure now, the second half of
// an interlaced exposure is timed afresh) and `nextProgress`.
struct ExposureTimer {
  ExposureTiming timing;
  std::int64_t start = 0;  // the clear the light is counted from
  std::int64_t end = 0;
  std::int64_t nextClear = 0;
  std::int64_t nextProgress = 0;
};

// What a caller does on the turns of an exposure's wait, which come at least every 20 ms and
// at every progress step. Every hook does nothing unless overridden.
class ExposureTurns {
 public:
  virtual ~ExposureTurns() = default;
  // Before this turn's register clear: what must reach the camera first (a guider frame).
  virtual void BeforeClear(ExposureTimer& timer) { (void)timer; }
  // A progress step was passed (long waits only).
  virtual void Progress(ExposureTimer& timer) { (void)timer; }
  // After the clear and the progress: false ends the wait at once.
  virtual bool AfterClear(ExposureTimer& timer) {
    (void)timer;
    return true;
  }
};

// 1. A register clear and a clean sensor: the exposure starts now.
ExposureTimer StartExposure(CameraLink& camera, const ExposureTiming& timing);
// The sensor cleared again after a preparation: the light is counted from now.
void RestartExposure(CameraLink& camera, ExposureTimer& timer);
// 2. Waits until timer.end, sending the register clears the wait asks for and calling
// `turns` on every turn. False when AfterClear ended the wait. A camera-timed exposure does
// not wait at all.
bool WaitOutExposure(CameraLink& camera, ExposureTimer& timer, ExposureTurns& turns);
// 3. After the light: a register clear when the exposure was a second or longer.
void FinishExposure(CameraLink& camera, const ExposureTimer& timer);
// 4. The readout is ReadFullFrame with the exposure's length as its delay.

enum class ExposureOutcome { kRead, kReadFailed, kCancelled };

// Steps 1-4 for a front end that wants one whole frame: the same requests at the same times
// as a capture run's plain exposure. `cancelRequested` is asked on every turn of a wait in
// seconds or minutes (a shorter exposure runs to its end, as in a capture run); a cancel ends
// the exposure there, after its final clear, and nothing is read. kReadFailed: the frame did
// not arrive whole (the link has reported why).
ExposureOutcome ExposeMainFrame(CameraLink& camera, const ExposureTiming& timing,
                                ImageBuffer& image,
                                const std::function<bool()>& cancelRequested = {});

// ---- Windows of the main camera ----

// How often the focus frame's wait repeats its register clear.
inline constexpr int kFocusClearIntervalMs = 5;

struct WindowExposure {
  int exposureMs = 0;
  std::uint8_t field = 3;
  int left = 0;  // the window's top-left corner on the sensor
  int top = 0;
  // The exposure is waited out here from this length on; shorter ones travel as the
  // readout's delay.
  int waitFromMs = 0;
  bool clearWhileWaiting = false;  // a register clear every 5 ms of the wait
};

// Clears, waits and reads the focus window into the start of `image` (stride 128). False
// when the window did not arrive whole (the missing part reads 0).
bool ExposeFocusWindow(CameraLink& camera, const WindowExposure& exposure, ImageBuffer& image);

// One guide-window frame during a main exposure: a register clear, the wait from 1 s on, the
// guide window read from `field`, then the gain applied. False as for ExposeFocusWindow.
bool ExposeGuideWindow(CameraLink& camera, int exposureMs, std::uint8_t field, int left, int top,
                       int gainFactor, ImageBuffer& image);

// The focus peak of a 128 x 128 window at the start of `image`: the largest value in rows
// 12-125, columns 5-125 whose upper neighbour is also above the peak so far, so that a lone
// hot pixel never counts.
int FocusPeak(const ImageBuffer& image);

// ---- The guider camera ----

struct GuiderExposureOptions {
  int exposureMs = 1000;
  const GuiderBuffer* dark = nullptr;  // subtracted when given
  bool hotPixelFilter = true;
  int gainFactor = 1;  // 1, 2, 4 or 8
};

// A guider readout left unused in the receive buffer, then two guider clears.
void GuiderClear(CameraLink& camera);
// One guider frame into `image` (the high bytes the guider sends), cleaned up as asked;
// `scratch` is the hot-pixel filter's work space. False when the frame did not arrive whole:
// what is missing reads 0, so that guiding loses its star instead of measuring an old frame;
// a caller that keeps frames must not keep this one.
bool ExposeGuider(CameraLink& camera, const GuiderExposureOptions& options, GuiderBuffer& image,
                  GuiderBuffer& scratch);

// ---- Frame clean-ups (pure) ----

// Multiplies every value by `factor`, 65535 and above becoming 65535.
void ApplyGain(std::span<std::uint16_t> values, int factor);

// Gain factors of the self-guiding window (12-15: 16, 8, 4, 2) and of the guider frame
// (5-7: 8, 4, 2); any other setting means 1.
int GuideWindowGainFactor(int guideWindowGain);
int GuiderGainFactor(int guiderGain);

// value - dark where that is positive, else 0.
void SubtractGuiderDark(GuiderBuffer& image, const GuiderBuffer& dark);

// The guider's hot-pixel filter: an interior pixel that differs from its 3 x 3 median by more
// than 0.6 of the neighbourhood's range becomes the median. The result goes to `scratch`
// and is then copied back into `image`; the border rows and columns keep their values.
void FilterGuiderHotPixels(GuiderBuffer& image, GuiderBuffer& scratch);

}  // namespace corvex
