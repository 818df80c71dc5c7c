#include "guiding/guide_correction.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "corvex.h"
#include "guiding/star_centroid.h"
#include "guiding/telescope_link.h"

namespace corvex {

namespace {

// Drift thresholds, thousandths of a pixel: with "Ignore drift < 1 pixel" and without.
constexpr int kSelfGuideIgnoreDrift = 1000;
constexpr int kSelfGuideRaThreshold = 50;
constexpr int kSelfGuideDecThreshold = 30;
constexpr int kGuiderIgnoreDrift = 300;
constexpr int kGuiderThreshold = 30;

// Two step vectors closer to parallel than this (the sine of the angle between them) cannot
// be told apart; the error is then projected on each on its own.
constexpr double kParallelSine = 0.25;

// Beep, the timed move, beep; nothing for a move under 1 ms.
MoveResult MoveAxis(Corvex& corvex, const AxisMove& move) {
  if (!move.considered || move.ms < 1) return MoveResult::kDone;
  corvex.telescope.moveDirection = move.letter;
  corvex.telescope.moveDurationMs = static_cast<std::uint32_t>(move.ms);
  corvex.host.Beep(kBeepOk);
  const MoveResult result = TimedMove(corvex);
  corvex.host.Beep(kBeepOk);
  return result;
}

// Both axes planned: RA with `raPositive` for a positive error (its opposite otherwise),
// Dec with north for a positive error.
struct AxisPlans {
  AxisMove ra;
  AxisMove dec;
};
AxisPlans PlanAxes(Corvex& corvex, int raError, int raPositive, const AxisRule& raRule,
                   int decError, const AxisRule& decRule) {
  TelescopeLink& link = corvex.telescope;
  const int raNegative = raPositive == kEast ? kWest : kEast;
  return {PlanAxisMove(raError, DirectionLetter(corvex, raPositive),
                       DirectionLetter(corvex, raNegative), link.lastRaDirection, raRule),
          PlanAxisMove(decError, DirectionLetter(corvex, kNorth), DirectionLetter(corvex, kSouth),
                       link.lastDecDirection, decRule)};
}

// RA's move, then Dec's, and the moves made in the correction's record. A mount that may
// still be moving gets no further move.
void MoveAxes(Corvex& corvex, const AxisPlans& plans, GuideCorrection& correction) {
  const auto move = [&](const AxisMove& plan, char& letter, int& ms) {
    if (correction.result == kGuideMountMoving) return;
    const MoveResult result = MoveAxis(corvex, plan);
    if (result == MoveResult::kStillMoving) {
      correction.result = kGuideMountMoving;
    } else if (result == MoveResult::kNotMade) {
      correction.result = kGuideMoveFailed;
    } else if (plan.considered && plan.ms >= 1) {
      letter = plan.letter;
      ms = plan.ms;
    }
  };
  move(plans.ra, correction.raLetter, correction.raMs);
  move(plans.dec, correction.decLetter, correction.decMs);
}

// The error of the measured position against the reference, kept in the guiding state and
// in the correction's record.
void MeasureError(Corvex& corvex, int x, int xTenths, int y, int yTenths,
                  GuideCorrection& correction) {
  GuidingState& guiding = corvex.guiding;
  guiding.errorX = GuideError(guiding.referenceX, guiding.referenceXTenths, x, xTenths);
  guiding.errorY = GuideError(guiding.referenceY, guiding.referenceYTenths, y, yTenths);
  correction.errorX = guiding.errorX;
  correction.errorY = guiding.errorY;
}

bool BeyondLimit(const GuideCorrection& correction, int limit) {
  return std::abs(correction.errorX) > limit || std::abs(correction.errorY) > limit;
}

// The time a trained motion of `pxPerSecond` needs for `milliPixels`, ms (0 for no motion).
int MsFor(double milliPixels, double pxPerSecond) {
  if (pxPerSecond <= 0) return 0;
  return Saturate16(static_cast<long long>(milliPixels / pxPerSecond));
}

GuideCorrection Finish(Corvex& corvex, GuideCorrection correction) {
  corvex.guiding.lastCorrection = correction;
  if (correction.result == kGuideDone || correction.result == kGuideMoveFailed) {
    ++corvex.guiding.measuredCorrections;
  }
  return correction;
}

}  // namespace

std::int16_t Saturate16(long long value) {
  return static_cast<std::int16_t>(std::clamp<long long>(value, -32767, 32767));
}

std::int16_t GuideError(int reference, int referenceTenths, int measured, int measuredTenths) {
  return Saturate16(static_cast<long long>(reference - measured) * 1000 +
                    static_cast<long long>(referenceTenths - measuredTenths) * 100);
}

AxisMove PlanAxisMove(int error, char positive, char negative, char& lastLetter,
                      const AxisRule& rule) {
  AxisMove move;
  if (std::abs(error) <= rule.threshold) return move;
  move.considered = true;
  move.letter = error > 0 ? positive : negative;
  int magnitude = std::min(std::abs(error), rule.limit);
  if (move.letter != lastLetter) {
    magnitude = Saturate16(static_cast<long long>(magnitude) + rule.backlash);
  }
  lastLetter = move.letter;
  const int rate = std::max(rule.ratePxPerSec, 1);
  move.ms = magnitude / rate - rule.hysteresisTenths * 100;
  return move;
}

ResolvedError ResolveAlongTrainedAxes(int errorX, int errorY, const GuiderTraining& training) {
  const double rx = training.raMotionX, ry = training.raMotionY;
  const double dx = training.decMotionX, dy = training.decMotionY;
  const double raLength = std::hypot(rx, ry);
  const double decLength = std::hypot(dx, dy);
  // Thousandths of a pixel over pixels per second: milliseconds of west and of north motion
  // whose travel adds up to the error.
  double a = 0, b = 0;
  const double det = rx * dy - dx * ry;
  if (raLength > 0 && decLength > 0 && std::abs(det) >= kParallelSine * raLength * decLength) {
    a = (errorX * dy - dx * errorY) / det;
    b = (rx * errorY - errorX * ry) / det;
  } else {
    if (raLength > 0) a = (errorX * rx + errorY * ry) / (raLength * raLength);
    if (decLength > 0) b = (errorX * dx + errorY * dy) / (decLength * decLength);
  }
  return {Saturate16(std::llround(std::clamp(a, -1e6, 1e6))),
          Saturate16(std::llround(std::clamp(b, -1e6, 1e6)))};
}

GuideCorrection SelfGuideCorrection(Corvex& corvex, bool endOnLoss) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  const ProgramSettings& settings = state.settings;
  GuideCorrection correction;

  // 1. The star near the reference. (A guiding loop that bears lost frames also refuses
  // noise far fainter than the star it started on.)
  if (FindStarCentre(corvex, guiding.referenceX, guiding.referenceY, state.maskRadius,
                     state.selfGuideNext || !endOnLoss) != kStarFound ||
      (!endOnLoss && !LooksLikeGuideStar(guiding.starSignal, guiding.selfGuideStarSignal))) {
    if (endOnLoss) {
      state.selfGuidingActive = false;
      state.selfGuideNext = false;
      state.guideWindowActive = false;
    }
    correction.result = kGuideStarLost;
    return Finish(corvex, correction);
  }
  // 2. The error, thousandths of a pixel.
  MeasureError(corvex, state.starX, state.starXTenths, state.starY, state.starYTenths,
               correction);
  // 3. Over 5 pixels on either axis is not trusted: no move this cycle.
  if (BeyondLimit(correction, kSelfGuideErrorLimit)) return Finish(corvex, correction);
  // 4. RA, then 5. Dec.
  const bool ignoreDrift = settings.ignoreSmallDrift;
  const AxisRule raRule{ignoreDrift ? kSelfGuideIgnoreDrift : kSelfGuideRaThreshold,
                        settings.selfGuideRaBacklash * 1000, settings.selfGuideRaRate,
                        settings.selfGuideRaHysteresis, kSelfGuideErrorLimit};
  const AxisRule decRule{ignoreDrift ? kSelfGuideIgnoreDrift : kSelfGuideDecThreshold,
                         settings.selfGuideDecBacklash * 1000, settings.selfGuideDecRate,
                         settings.selfGuideDecHysteresis, kSelfGuideErrorLimit};
  MoveAxes(corvex,
           PlanAxes(corvex, correction.errorX, kEast, raRule, correction.errorY, decRule),
           correction);
  return Finish(corvex, correction);
}

GuideCorrection GuiderCorrection(Corvex& corvex) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  const ProgramSettings& settings = state.settings;
  const GuiderTraining& training = guiding.training;
  GuideCorrection correction;

  // 1. The guide star near the reference on the guider frame: a square without a star as
  // bright as it (an empty or unread frame, a star gone behind cloud or out of the square)
  // measures nothing, rather than an error that would send the mount away.
  if (FindGuiderStarCentre(corvex, guiding.referenceX, guiding.referenceY, state.maskRadius,
                           true) != kStarFound ||
      !LooksLikeGuideStar(guiding.guiderStarSignal, guiding.guideStarSignal)) {
    correction.result = kGuideStarLost;
    return Finish(corvex, correction);
  }
  // 2. The error.
  MeasureError(corvex, state.guiderStarX, state.guiderStarXTenths, state.guiderStarY,
               state.guiderStarYTenths, correction);

  if (training.useTrainedValues && !settings.ignoreRaAngle) {
    // 3. Trained: each axis moves by its own share of the error, the way training saw the
    // star travel, so a rotated guider steers both axes correctly. No drift threshold.
    // Planned in milliseconds throughout (a rate of 1): the share of each axis, the time
    // a reversal loses, and no move longer than 8 pixels of motion needs.
    const ResolvedError resolved =
        ResolveAlongTrainedAxes(correction.errorX, correction.errorY, training);
    const double raSpeed = std::hypot(training.raMotionX, training.raMotionY);
    const double decSpeed = std::hypot(training.decMotionX, training.decMotionY);
    const AxisRule raRule{0, training.raBacklashMs, 1, settings.guiderRaHysteresis,
                          MsFor(kGuiderErrorLimit, raSpeed)};
    const AxisRule decRule{0, training.decBacklashMs, 1, settings.guiderDecHysteresis,
                           MsFor(kGuiderErrorLimit, decSpeed)};
    // The RA motion was measured with west moves: a positive share goes west.
    MoveAxes(corvex, PlanAxes(corvex, resolved.raMs, kWest, raRule, resolved.decMs, decRule),
             correction);
    return Finish(corvex, correction);
  }

  // 4. Default: the guider's rows and columns taken as the RA and Dec axes.
  if (BeyondLimit(correction, kGuiderErrorLimit)) return Finish(corvex, correction);
  const int threshold = settings.ignoreSmallDrift ? kGuiderIgnoreDrift : kGuiderThreshold;
  const AxisRule raRule{threshold, settings.guiderRaBacklash * 1000, settings.guiderRaRate,
                        settings.guiderRaHysteresis, kGuiderErrorLimit};
  const AxisRule decRule{threshold, settings.guiderDecBacklash * 1000, settings.guiderDecRate,
                         settings.guiderDecHysteresis, kGuiderErrorLimit};
  const AxisPlans plans =
      PlanAxes(corvex, correction.errorX, kEast, raRule, correction.errorY, decRule);
  if (plans.ra.considered) guiding.guiderSlewTimeX = Saturate16(plans.ra.ms);
  if (plans.dec.considered) guiding.guiderSlewTimeY = Saturate16(plans.dec.ms);
  MoveAxes(corvex, plans, correction);
  return Finish(corvex, correction);
}

}  // namespace corvex
