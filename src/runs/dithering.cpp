#include "runs/dithering.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "corvex.h"
#include "files/program_options_file.h"
#include "guiding/guide_correction.h"

namespace corvex {

DitherSettings DitherSettingsOf(const ProgramOptions& options) {
  DitherSettings settings;
  settings.enabled = options.Flag(kDitherKey);
  settings.amountPx = static_cast<int>(options.Whole(kDitherAmountKey));
  settings.settlePx = options.Real(kDitherSettlePxKey);
  settings.settleSeconds = static_cast<int>(options.Whole(kDitherSettleSecondsKey));
  settings.timeoutSeconds = static_cast<int>(options.Whole(kDitherTimeoutKey));
  return settings;
}

DitherOffsets::DitherOffsets(int amountPx, std::uint64_t seed)
    : steps_(std::max(amountPx / 2, 1)), engine_(seed) {}

DitherOffset DitherOffsets::Next() {
  std::uniform_int_distribution<int> step(-steps_, steps_);
  DitherOffset offset;
  do {
    offset = {2 * step(engine_), 2 * step(engine_)};
  } while (offset == last_);
  last_ = offset;
  return offset;
}

TenthsPoint ReferenceTenths(const GuidingState& guiding) {
  return {guiding.referenceX * 10 + guiding.referenceXTenths,
          guiding.referenceY * 10 + guiding.referenceYTenths};
}

void SetReferenceTenths(GuidingState& guiding, TenthsPoint point) {
  // Whole pixels and tenths 0-9, also for a position left of or above the origin.
  const auto whole = [](int tenths) { return tenths >= 0 ? tenths / 10 : -((-tenths + 9) / 10); };
  const int x = whole(point.x);
  const int y = whole(point.y);
  guiding.SetReference(x, point.x - 10 * x, y, point.y - 10 * y);
}

namespace {

int StepTowards(int from, int to) {
  return from + std::clamp(to - from, -kDitherStepTenths, kDitherStepTenths);
}

std::string Pixels(double px) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f px", px);
  return text;
}

}  // namespace

SettleResult SettleOnTarget(Corvex& corvex, const DitherSettings& settings, TenthsPoint target,
                            const SettleSteps& steps) {
  Clock& clock = corvex.clock;
  GuidingState& guiding = corvex.guiding;
  const std::int64_t start = clock.NowMs();
  const std::int64_t timeoutMs = 1000LL * settings.timeoutSeconds;
  const std::int64_t settleMs = 1000LL * settings.settleSeconds;
  // The first of the frames in a row under the threshold; negative while there is none.
  std::int64_t underSince = -1;
  SettleResult result;
  const auto finish = [&](SettleEnd end) {
    result.end = end;
    result.seconds = static_cast<double>(clock.NowMs() - start) / 1000;
    return result;
  };

  for (;;) {
    if (steps.cancelled()) return finish(SettleEnd::kCancelled);
    const TenthsPoint at = ReferenceTenths(guiding);
    const TenthsPoint next{StepTowards(at.x, target.x), StepTowards(at.y, target.y)};
    SetReferenceTenths(guiding, next);
    const bool onTarget = next.x == target.x && next.y == target.y;

    const SettleCycle cycle = steps.cycle();
    if (cycle.gaveUp) return finish(SettleEnd::kGuidingLost);
    const std::int64_t now = clock.NowMs();
    const int measured = cycle.correction.result;
    std::string caption;
    if (measured == kGuideDone || measured == kGuideMoveFailed) {  // the star was measured
      result.errorPx = std::hypot(cycle.correction.errorX, cycle.correction.errorY) / 1000;
    }
    if (!onTarget) {
      underSince = -1;
      caption = "Dithering - moving the guide star";
    } else {
      const bool under = (measured == kGuideDone || measured == kGuideMoveFailed) && result.errorPx < settings.settlePx;
      if (!under) {
        underSince = -1;
      } else if (underSince < 0) {
        underSince = now;
      }
      const double held = underSince >= 0 ? static_cast<double>(now - underSince) / 1000 : 0;
      char text[160];
      std::snprintf(text, sizeof text, "Settling - error %s, under %.2f px for %.0f of %d s",
                    result.errorPx < 0 ? "not measured" : Pixels(result.errorPx).c_str(),
                    settings.settlePx, std::floor(held), settings.settleSeconds);
      caption = text;
    }
    if (steps.progress) {
      const std::int64_t elapsed = std::min(now - start, timeoutMs);
      steps.progress(caption, static_cast<int>(timeoutMs > 0 ? elapsed * 256 / timeoutMs : 256));
    }
    if (underSince >= 0 && now - underSince >= settleMs) return finish(SettleEnd::kSettled);
    if (now - start >= timeoutMs) return finish(SettleEnd::kTimedOut);
  }
}

std::string DitherResultText(const DitherOffset& offset, const DitherSettings& settings,
                             const SettleResult& result) {
  char text[256];
  const std::string error =
      result.errorPx < 0 ? std::string("no error measured") : "error " + Pixels(result.errorPx);
  switch (result.end) {
    case SettleEnd::kSettled:
      std::snprintf(text, sizeof text, "Dither %+d, %+d px: settled in %.1f s (%s)", offset.x,
                    offset.y, result.seconds, error.c_str());
      break;
    case SettleEnd::kTimedOut:
      std::snprintf(text, sizeof text,
                    "Dither %+d, %+d px: guiding did not settle under %.2f px within %d s (%s); "
                    "the next exposure starts now",
                    offset.x, offset.y, settings.settlePx, settings.timeoutSeconds,
                    error.c_str());
      break;
    case SettleEnd::kCancelled:
      std::snprintf(text, sizeof text, "Dither %+d, %+d px: cancelled after %.1f s", offset.x,
                    offset.y, result.seconds);
      break;
    case SettleEnd::kGuidingLost:
      std::snprintf(text, sizeof text, "Dither %+d, %+d px: guiding lost the star after %.1f s",
                    offset.x, offset.y, result.seconds);
      break;
  }
  return text;
}

}  // namespace corvex
