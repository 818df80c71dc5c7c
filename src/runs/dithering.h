// Dithering between the exposures of a guided series: after each frame but the last the
// guide star's reference moves to a new random place near where guiding started, and the
// next exposure waits until guiding has brought the star there and held it, so that hot
// pixels and the sensor's fixed pattern fall on different parts of the sky in every frame.
//
// Offsets are kept from where guiding started, not from the last dither, so a long series
// wanders around the picked star and never walks away from it. They are whole even pixels:
// the sensor's colour matrix repeats every two pixels, and frames moved by even amounts
// line up on it again (align-and-add only shifts a sum by even amounts).
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>

#include "state/guiding_state.h"

namespace corvex {

struct Corvex;
class ProgramOptions;

struct DitherSettings {
  bool enabled = false;
  int amountPx = 3;        // the largest offset from the start on each axis
  double settlePx = 0.5;   // settled: the error stays under this ...
  int settleSeconds = 5;   // ... for this long
  int timeoutSeconds = 60;  // the next exposure starts after this, settled or not
};

// The dither settings of corvex.conf.
DitherSettings DitherSettingsOf(const ProgramOptions& options);

struct DitherOffset {
  int x = 0;  // pixels
  int y = 0;
  bool operator==(const DitherOffset&) const = default;
};

// Random offsets from the start: whole even pixels from -amount to amount on each axis,
// each one different from the one before (a dither always moves). The same seed gives the
// same offsets.
class DitherOffsets {
 public:
  DitherOffsets(int amountPx, std::uint64_t seed);
  DitherOffset Next();

 private:
  int steps_;  // even positions either side of 0
  DitherOffset last_;
  std::mt19937_64 engine_;
};

// A position to a tenth of a pixel, as the guide reference holds it, in tenths.
struct TenthsPoint {
  int x = 0;
  int y = 0;
};
TenthsPoint ReferenceTenths(const GuidingState& guiding);
void SetReferenceTenths(GuidingState& guiding, TenthsPoint point);

enum class SettleEnd { kSettled, kTimedOut, kCancelled, kGuidingLost };

struct SettleResult {
  SettleEnd end = SettleEnd::kSettled;
  double seconds = 0;  // from the move to the end
  double errorPx = -1;  // the last measured error; negative when none was measured
};

// One guide frame and its correction during settling; `gaveUp` when guiding cannot go on
// (too many frames without the star, a mount that could not be stopped).
struct SettleCycle {
  GuideCorrection correction;
  bool gaveUp = false;
};

struct SettleSteps {
  std::function<SettleCycle()> cycle;
  std::function<bool()> cancelled;  // pumps input; true once the run has been cancelled
  std::function<void(const std::string& caption, int progress)> progress;  // progress 0-256
};

// The largest step the reference takes towards a dither's target on one guide frame, in
// tenths of a pixel. Guiding follows a reference that moves a little at a time, so the star
// never leaves the search square and the error never passes the limit beyond which the
// corrections refuse to move.
inline constexpr int kDitherStepTenths = 20;

// Moves the guide reference to `target` (a step a frame) while guiding, then guides until
// the error has stayed under the settle threshold for the settle time, or the timeout has
// passed since the move began. The reference is left on the target.
SettleResult SettleOnTarget(Corvex& corvex, const DitherSettings& settings, TenthsPoint target,
                            const SettleSteps& steps);

// What the guide log and the user are told of a dither: "Dither +2, -2 px: settled in 9.0 s
// (error 0.21 px)", or that it did not settle and the next exposure starts anyway.
std::string DitherResultText(const DitherOffset& offset, const DitherSettings& settings,
                             const SettleResult& result);

}  // namespace corvex
