#include "guiding/guide_correction.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "corvex.h"
#include "guiding/star_centroid.h"
#include "guiding/telescope_link.h"

namespace corvex {

namespace {

constexpr int kEast = 0, kWest = 1, kNorth = 2, kSouth = 3;

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
void MoveAxis(Corvex& corvex, const AxisMove& move) {
  if (!move.considered || move.ms < 1) return;
  corvex.telescope.moveDirection = move.letter;
  corvex.telescope.moveDurationMs = static_cast<std::uint32_t>(move.ms);
  corvex.host.Beep(kBeepOk);
  TimedMove(corvex);
  corvex.host.Beep(kBeepOk);
}

void Record(GuideCorrection& correction, const AxisMove& ra, const AxisMove& dec) {
  if (ra.considered && ra.ms >= 1) {
    correction.raLetter = ra.letter;
    correction.raMs = ra.ms;
  }
  if (dec.considered && dec.ms >= 1) {
    correction.decLetter = dec.letter;
    correction.decMs = dec.ms;
  }
}

// A distance along a trained motion as the distance the trained (whole-pixel) rate covers
// in the same time, so that dividing by that rate gives the time the motion really needs.
int AtTrainedRate(int distance, int stepX, int stepY, int rate) {
  const double length = std::hypot(stepX, stepY);
  if (length <= 0) return distance;
  return Saturate16(static_cast<long long>(distance * std::max(rate, 1) / length));
}

GuideCorrection Finish(Corvex& corvex, GuideCorrection correction) {
  corvex.guiding.lastCorrection = correction;
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
  const double rx = training.raStepX, ry = training.raStepY;
  const double dx = training.decStepX, dy = training.decStepY;
  const double raLength = std::hypot(rx, ry);
  const double decLength = std::hypot(dx, dy);
  double a = 0, b = 0;  // seconds of west and of north motion, per thousand
  const double det = rx * dy - dx * ry;
  if (raLength > 0 && decLength > 0 && std::abs(det) >= kParallelSine * raLength * decLength) {
    a = (errorX * dy - dx * errorY) / det;
    b = (rx * errorY - errorX * ry) / det;
  } else {
    if (raLength > 0) a = (errorX * rx + errorY * ry) / (raLength * raLength);
    if (decLength > 0) b = (errorX * dx + errorY * dy) / (decLength * decLength);
  }
  return {Saturate16(static_cast<long long>(a * raLength)),
          Saturate16(static_cast<long long>(b * decLength))};
}

GuideCorrection SelfGuideCorrection(Corvex& corvex) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  const ProgramSettings& settings = state.settings;
  GuideCorrection correction;

  // 1. The star near the reference.
  if (FindStarCentre(corvex, guiding.referenceX, guiding.referenceY, state.maskRadius,
                     state.selfGuideNext) != kStarFound) {
    state.selfGuidingActive = false;
    state.selfGuideNext = false;
    state.guideWindowActive = false;
    correction.result = kGuideStarLost;
    return Finish(corvex, correction);
  }
  // 2. The error, thousandths of a pixel.
  guiding.errorX = GuideError(guiding.referenceX, guiding.referenceXTenths, state.starX,
                              state.starXTenths);
  guiding.errorY = GuideError(guiding.referenceY, guiding.referenceYTenths, state.starY,
                              state.starYTenths);
  correction.errorX = guiding.errorX;
  correction.errorY = guiding.errorY;
  // 3. Over 5 pixels on either axis is not trusted: no move this cycle.
  if (std::abs(correction.errorX) > kSelfGuideErrorLimit ||
      std::abs(correction.errorY) > kSelfGuideErrorLimit) {
    return Finish(corvex, correction);
  }
  // 4. RA, then 5. Dec.
  const bool ignoreDrift = settings.ignoreSmallDrift;
  const AxisRule raRule{ignoreDrift ? kSelfGuideIgnoreDrift : kSelfGuideRaThreshold,
                        settings.selfGuideRaBacklash * 1000, settings.selfGuideRaRate,
                        settings.selfGuideRaHysteresis, kSelfGuideErrorLimit};
  const AxisMove ra = PlanAxisMove(correction.errorX, DirectionLetter(corvex, kEast),
                                   DirectionLetter(corvex, kWest),
                                   corvex.telescope.lastRaDirection, raRule);
  MoveAxis(corvex, ra);
  const AxisRule decRule{ignoreDrift ? kSelfGuideIgnoreDrift : kSelfGuideDecThreshold,
                         settings.selfGuideDecBacklash * 1000, settings.selfGuideDecRate,
                         settings.selfGuideDecHysteresis, kSelfGuideErrorLimit};
  const AxisMove dec = PlanAxisMove(correction.errorY, DirectionLetter(corvex, kNorth),
                                    DirectionLetter(corvex, kSouth),
                                    corvex.telescope.lastDecDirection, decRule);
  MoveAxis(corvex, dec);
  Record(correction, ra, dec);
  return Finish(corvex, correction);
}

GuideCorrection GuiderCorrection(Corvex& corvex) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  const ProgramSettings& settings = state.settings;
  const GuiderTraining& training = guiding.training;
  GuideCorrection correction;

  // 1. The star near the reference on the guider frame.
  if (FindGuiderStarCentre(corvex, guiding.referenceX, guiding.referenceY, state.maskRadius) !=
      kStarFound) {
    guiding.guiderStarLost = true;
    correction.result = kGuideStarLost;
    return Finish(corvex, correction);
  }
  // 2. The error.
  guiding.errorX = GuideError(guiding.referenceX, guiding.referenceXTenths, state.guiderStarX,
                              state.guiderStarXTenths);
  guiding.errorY = GuideError(guiding.referenceY, guiding.referenceYTenths, state.guiderStarY,
                              state.guiderStarYTenths);
  correction.errorX = guiding.errorX;
  correction.errorY = guiding.errorY;

  if (training.useTrainedValues && !settings.ignoreRaAngle) {
    // 3. Trained: each axis moves by its own share of the error, the way training saw the
    // star travel, so a rotated guider steers both axes correctly. No drift threshold.
    const ResolvedError resolved =
        ResolveAlongTrainedAxes(correction.errorX, correction.errorY, training);
    // Errors and backlash as distances the trained whole-pixel rates cover in the time the
    // measured motion needs for them.
    const auto raScale = [&](int distance) {
      return AtTrainedRate(distance, training.raStepX, training.raStepY, training.trainedRaRate);
    };
    const auto decScale = [&](int distance) {
      return AtTrainedRate(distance, training.decStepX, training.decStepY,
                           training.trainedDecRate);
    };
    const AxisRule raRule{0, raScale(training.trainedRaBacklash * 1000), training.trainedRaRate,
                          settings.guiderRaHysteresis, raScale(kGuiderErrorLimit)};
    const AxisRule decRule{0, decScale(training.trainedDecBacklash * 1000),
                           training.trainedDecRate, settings.guiderDecHysteresis,
                           decScale(kGuiderErrorLimit)};
    const int raError = raScale(resolved.ra);
    const int decError = decScale(resolved.dec);
    const AxisMove ra = PlanAxisMove(raError, DirectionLetter(corvex, kWest),
                                     DirectionLetter(corvex, kEast),
                                     corvex.telescope.lastRaDirection, raRule);
    MoveAxis(corvex, ra);
    const AxisMove dec = PlanAxisMove(decError, DirectionLetter(corvex, kNorth),
                                      DirectionLetter(corvex, kSouth),
                                      corvex.telescope.lastDecDirection, decRule);
    MoveAxis(corvex, dec);
    Record(correction, ra, dec);
    return Finish(corvex, correction);
  }

  // 4. Default: the guider's rows and columns taken as the RA and Dec axes.
  if (std::abs(correction.errorX) > kGuiderErrorLimit ||
      std::abs(correction.errorY) > kGuiderErrorLimit) {
    return Finish(corvex, correction);
  }
  const int threshold = settings.ignoreSmallDrift ? kGuiderIgnoreDrift : kGuiderThreshold;
  const AxisRule raRule{threshold, settings.guiderRaBacklash * 1000, settings.guiderRaRate,
                        settings.guiderRaHysteresis, kGuiderErrorLimit};
  const AxisMove ra = PlanAxisMove(correction.errorX, DirectionLetter(corvex, kEast),
                                   DirectionLetter(corvex, kWest),
                                   corvex.telescope.lastRaDirection, raRule);
  if (ra.considered) guiding.guiderSlewTimeX = Saturate16(ra.ms);
  MoveAxis(corvex, ra);
  const AxisRule decRule{threshold, settings.guiderDecBacklash * 1000, settings.guiderDecRate,
                         settings.guiderDecHysteresis, kGuiderErrorLimit};
  const AxisMove dec = PlanAxisMove(correction.errorY, DirectionLetter(corvex, kNorth),
                                    DirectionLetter(corvex, kSouth),
                                    corvex.telescope.lastDecDirection, decRule);
  if (dec.considered) guiding.guiderSlewTimeY = Saturate16(dec.ms);
  MoveAxis(corvex, dec);
  Record(correction, ra, dec);
  return Finish(corvex, correction);
}

}  // namespace corvex
