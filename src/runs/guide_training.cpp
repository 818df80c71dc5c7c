#include "runs/guide_training.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <optional>

#include "commands/settings_commands.h"
#include "corvex.h"
#include "files/settings_file.h"
#include "guiding/guide_frames.h"
#include "guiding/star_centroid.h"
#include "guiding/star_pick.h"
#include "guiding/telescope_link.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr int kWakeUpMoveMs = 50;
constexpr int kSettleAfterMoveMs = 200;
constexpr int kTrainingPauseMs = 500;
constexpr const char* kGuiderCaption = "Auto Guider Camera Control";

// Less travel than this in a whole training move is no motion at all: the whole-pixel
// positions cannot tell it from the star's jitter.
constexpr double kLeastTravelPx = 1.0;
// RA and Dec moves closer to the same direction than this (the sine of the angle between
// them) cannot be told apart, and guiding could not steer by them.
constexpr double kLeastAxisSine = 0.5;
// A star found after the Dec move at an angle to the RA motion whose cosine is larger than
// this did not move along the Dec axis: it is another star.
constexpr double kDecAxisCosine = 0.5;
// How many of the brightest peaks near the star's last place are tried when the search at
// the predicted place did not find it.
constexpr std::size_t kReacquirePeaks = 8;
constexpr int kLongestReach = 200;

// Why a training step ended it.
enum class StepEnd { kMeasured, kNotMade, kStillMoving, kNoFrame, kStarLost, kCancelled };

const char* Reason(StepEnd end) {
  switch (end) {
    case StepEnd::kNotMade:
      return "the move did not reach the telescope";
    case StepEnd::kStillMoving:
      return "the telescope could not be told to stop";
    case StepEnd::kNoFrame:
      return "the camera did not deliver the frame";
    case StepEnd::kStarLost:
      return "the guide star was lost";
    case StepEnd::kMeasured:
    case StepEnd::kCancelled:
      break;
  }
  return "";
}

int Code(StepEnd end) {
  switch (end) {
    case StepEnd::kMeasured:
      return kTrainingDone;
    case StepEnd::kStarLost:
      return kTrainingStarLost;
    case StepEnd::kCancelled:
      return kTrainingCancelled;
    case StepEnd::kNotMade:
    case StepEnd::kStillMoving:
    case StepEnd::kNoFrame:
      break;
  }
  return kTrainingFailed;
}

// Says at which step a training stopped, and why.
void ReportStop(Corvex& corvex, int step, const char* name, StepEnd end) {
  char text[256];
  if (end == StepEnd::kCancelled) {
    std::snprintf(text, sizeof text,
                  "Training cancelled at step %d (%s). The previous calibration is kept.", step,
                  name);
  } else {
    std::snprintf(text, sizeof text,
                  "Training stopped at step %d (%s): %s. The previous calibration is kept.", step,
                  name, Reason(end));
  }
  ShowMessage(corvex.host, kFreeTextMessage, text);
}

void ReportFault(Corvex& corvex, const std::string& fault) {
  ShowMessage(corvex.host, kFreeTextMessage,
              "Training failed: " + fault + ". The previous calibration is kept.");
}

// One training move. The axis it moved remembers its direction, so that the first
// correction that reverses it adds the backlash.
MoveResult Move(Corvex& corvex, int slot, int ms) {
  TelescopeLink& link = corvex.telescope;
  link.moveDirection = DirectionLetter(corvex, slot);
  // A hysteresis longer than the move leaves nothing to move, never a negative time.
  link.moveDurationMs = static_cast<std::uint32_t>(std::max(ms, 0));
  const MoveResult result = TimedMove(corvex);
  (slot == kEast || slot == kWest ? link.lastRaDirection : link.lastDecDirection) =
      link.moveDirection;
  return result;
}

StepEnd FromMove(MoveResult result) {
  if (result == MoveResult::kStillMoving) return StepEnd::kStillMoving;
  return result == MoveResult::kNotMade ? StepEnd::kNotMade : StepEnd::kMeasured;
}

// Self-guide calibration's measured move: the move, one exposure shown, then the star
// searched around where it was and again around the first result.
StepEnd MeasuredMove(Corvex& corvex, int slot, int ms) {
  ProgramState& state = corvex.state;
  const int beforeX = state.starX, beforeY = state.starY;
  const unsigned faults = corvex.camera.transferFaults;
  if (const StepEnd moved = FromMove(Move(corvex, slot, ms)); moved != StepEnd::kMeasured) {
    return moved;
  }
  if (!TakeGuideExposure(corvex)) return StepEnd::kNoFrame;
  // A stop that only went out when tried again let the move run long.
  if (corvex.camera.transferFaults != faults) return StepEnd::kNotMade;
  FindStarCentre(corvex, beforeX, beforeY, state.maskRadius);
  if (FindStarCentre(corvex, state.starX, state.starY, state.maskRadius) != kStarFound) {
    return StepEnd::kStarLost;
  }
  return corvex.host.PumpEvents() ? StepEnd::kCancelled : StepEnd::kMeasured;
}

int TruncatedLength(int x, int y) {
  return static_cast<int>(std::sqrt(static_cast<double>(x) * x + static_cast<double>(y) * y));
}

int Larger(int a, int b) { return a > b ? a : b; }  // the second when equal

PrecisePoint Minus(PrecisePoint a, PrecisePoint b) {
  return {a.x - b.x, a.y - b.y};
}
double Length(PrecisePoint v) {
  return std::hypot(v.x, v.y);
}

// The travel a reversal lost: how much shorter the move back along `motion` (T seconds of it)
// came out than the move out, in ms of that motion. `back` is the move back's travel.
int LostMs(PrecisePoint motion, PrecisePoint back, int seconds) {
  const double speed = Length(motion);
  if (speed <= 0) return 0;
  const double travelled = -(back.x * motion.x + back.y * motion.y) / speed;
  const double lost = speed * seconds - travelled;
  return lost > 0 ? static_cast<int>(lost / speed * 1000) : 0;
}

// ---- Guider training ----

// The guider training's moves: the step's caption, direction and length (T x this many ms).
struct TrainingMove {
  const char* caption;
  int slot;
  int msPerSecond;
};
constexpr TrainingMove kTrainingMoves[8] = {
    {"Auto Guider Camera Control - Training / slewing West", kWest, 100},
    {"Auto Guider Camera Control - Training / slewing West again", kWest, 1000},
    {"Auto Guider Camera Control - Training / slewing West third time", kWest, 1000},
    {"Auto Guider Camera Control - Training / slewing East", kEast, 1000},
    {"Auto Guider Camera Control - Training / slewing West to stabilise", kWest, 1000},
    {"Auto Guider Camera Control - Training / slewing North", kNorth, 200},
    {"Auto Guider Camera Control - Training / slewing North again", kNorth, 1000},
    {"Auto Guider Camera Control - Training / slewing South", kSouth, 1000},
};
constexpr std::size_t kCaptionPrefix = sizeof("Auto Guider Camera Control - Training / ") - 1;

SamplePoint Plus(SamplePoint a, SamplePoint b) {
  return {a.x + b.x, a.y + b.y};
}
SamplePoint Less(SamplePoint a, SamplePoint b) {
  return {a.x - b.x, a.y - b.y};
}

// Where the star should be after `step`. The first long move of each axis is predicted from
// the short move before it (L = 9 x its travel + 1, M = 5 x its travel + 1); later moves from
// the full-length move they repeat or undo, which a short move that backlash ate cannot spoil.
SamplePoint Predicted(int step, const std::array<SamplePoint, 9>& p, SamplePoint l, SamplePoint m) {
  switch (step) {
    case 2:
      return Plus(p[1], l);
    case 3:
      return Plus(p[2], Less(p[2], p[1]));
    case 4:
      return p[2];  // back the length of the last west move
    case 5:
      return Plus(p[4], Less(p[3], p[2]));
    case 7:
      return Plus(p[6], m);
    case 8:
      return p[6];  // back the length of the north move
    default:
      return p[step - 1];
  }
}

// Two guider searches, the second on the first's result; the result when both found a star
// as bright as the guide star (when looking further afield, also no much brighter one).
std::optional<PrecisePoint> FindGuideStar(Corvex& corvex, SamplePoint at, bool elsewhere) {
  const ProgramState& state = corvex.state;
  const GuidingState& guiding = corvex.guiding;
  const int r = state.maskRadius;
  FindGuiderStarCentre(corvex, at.x, at.y, r, true);
  if (FindGuiderStarCentre(corvex, state.guiderStarX, state.guiderStarY, r, true) != kStarFound ||
      !LooksLikeGuideStar(guiding.guiderStarSignal, guiding.guideStarSignal) ||
      (elsewhere && !LooksLikeGuideStar(guiding.guideStarSignal, guiding.guiderStarSignal))) {
    return std::nullopt;
  }
  return PrecisePoint{state.guiderStarX + state.guiderStarXTenths * 0.1,
                      state.guiderStarY + state.guiderStarYTenths * 0.1};
}

// The star after a move: searched where the move should have taken it; when it is not there
// (the prediction was off by more than the search square), among the brightest stars within
// `reach` of where it was, the one that is as bright as the guide star, that `plausible`
// accepts and that lies nearest the prediction. (Only a guide star whose brightness is known
// can be told from its neighbours.)
template <typename Plausible>
std::optional<PrecisePoint> FollowStar(Corvex& corvex, SamplePoint from, SamplePoint predicted,
                                       int reach, Plausible plausible) {
  if (const auto found = FindGuideStar(corvex, predicted, false); found && plausible(*found)) {
    return found;
  }
  if (corvex.guiding.guideStarSignal <= 0) return std::nullopt;
  const int r = corvex.state.maskRadius;
  std::optional<PrecisePoint> best;
  double bestDistance = 0;
  for (const SamplePoint peak :
       StarPeaksNear(corvex.store.guiderImage.data(), kReadoutWidth, kImageRows, kReadoutWidth,
                     from, reach, r, kReacquirePeaks)) {
    const auto found = FindGuideStar(corvex, peak, true);
    if (!found || !plausible(*found)) continue;
    const double distance = std::hypot(found->x - predicted.x, found->y - predicted.y);
    if (!best || distance < bestDistance) {
      best = found;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace

SelfGuideTrainingResult SelfGuideTrainingResults(const std::array<int, 5>& y,
                                                 const std::array<int, 5>& x, int seconds) {
  const int t = std::max(seconds, 1);
  // x[0] is x4, x[1] x5 ... x[4] x8.
  SelfGuideTrainingResult result;
  result.raRate = (std::abs(x[1] - x[2]) + std::abs(x[3] - x[4])) / (2 * t);
  result.raBacklash = (std::abs(x[0] - x[4]) + std::abs(x[1] - x[3])) / (2 * t);
  result.decRate = Larger(std::abs(y[1] - y[2]), std::abs(y[3] - y[4])) / t;
  result.decBacklash = Larger(std::abs(y[1] - y[3]), std::abs(y[0] - y[4])) / t;
  return result;
}

void GuiderTrainingResults(const std::array<SamplePoint, 9>& p,
                           const std::array<PrecisePoint, 9>& precise, int seconds,
                           GuiderTraining& training) {
  const int t = std::max(seconds, 1);
  training.raStepX = (p[3].x - p[0].x) / (2 * t);
  training.raStepY = (p[3].y - p[0].y) / (2 * t);
  if (training.raStepY >= 0 && training.raStepX >= 0) {
    training.trainedQuadrant = 1;
  } else if (training.raStepY < 0 && training.raStepX < 0) {
    training.trainedQuadrant = 3;
  } else {
    training.trainedQuadrant = 2;
  }
  training.trainedRaRate = std::max(TruncatedLength(training.raStepX, training.raStepY), 1);
  // The Dec motion of the one full-length north move (P6 to P7), the short move before it
  // having taken up any play in the gears.
  training.decStepX = (p[7].x - p[6].x) / t;
  training.decStepY = (p[7].y - p[6].y) / t;
  training.trainedDecRate = std::max(TruncatedLength(training.decStepX, training.decStepY), 1);
  training.raBacklashDx = std::abs((p[3].x - p[4].x) - training.raStepX * t);
  training.raBacklashDy = std::abs((p[3].y - p[4].y) - training.raStepY * t);
  training.trainedRaBacklash = TruncatedLength(training.raBacklashDx, training.raBacklashDy);
  training.decBacklashDx = std::abs((p[7].x - p[8].x) - training.decStepX * t);
  training.decBacklashDy = std::abs((p[7].y - p[8].y) - training.decStepY * t);
  training.trainedDecBacklash = TruncatedLength(training.decBacklashDx, training.decBacklashDy);

  // What guiding steers by, unrounded: the two full-length west moves (P1 to P3), without
  // the short one whose length the whole-pixel steps above include, and the north move.
  const PrecisePoint ra = Minus(precise[3], precise[1]);
  const PrecisePoint dec = Minus(precise[7], precise[6]);
  training.raMotionX = ra.x / (2 * t);
  training.raMotionY = ra.y / (2 * t);
  training.decMotionX = dec.x / t;
  training.decMotionY = dec.y / t;
  const PrecisePoint raMotion{training.raMotionX, training.raMotionY};
  const PrecisePoint decMotion{training.decMotionX, training.decMotionY};
  training.raBacklashMs = LostMs(raMotion, Minus(precise[4], precise[3]), t);
  training.decBacklashMs = LostMs(decMotion, Minus(precise[8], precise[7]), t);
  // The RA axis as the direction an east move (the opposite of the measured west motion)
  // carries the star.
  const double angle = Length(raMotion) > 0 ? std::atan2(-raMotion.y, -raMotion.x) : 0.0;
  training.trainedRaAngle = angle < 0 ? angle + 2 * std::numbers::pi : angle;
}

void GuiderTrainingResults(const std::array<SamplePoint, 9>& p, int seconds,
                           GuiderTraining& training) {
  std::array<PrecisePoint, 9> precise{};
  for (std::size_t i = 0; i < p.size(); ++i) precise[i] = {double(p[i].x), double(p[i].y)};
  GuiderTrainingResults(p, precise, seconds, training);
}

std::string GuiderTrainingFault(const GuiderTraining& t) {
  const int seconds = std::max(t.trainingSeconds, 1);
  const double ra = std::hypot(t.raMotionX, t.raMotionY);
  const double dec = std::hypot(t.decMotionX, t.decMotionY);
  if (ra * seconds < kLeastTravelPx) return "the telescope did not move the star in RA";
  if (dec * seconds < kLeastTravelPx) return "the telescope did not move the star in Dec";
  const double sine =
      std::abs(t.raMotionX * t.decMotionY - t.raMotionY * t.decMotionX) / (ra * dec);
  if (sine < kLeastAxisSine) return "the RA and Dec moves carried the star the same way";
  return {};
}

std::string SelfGuideTrainingFault(const SelfGuideTrainingResult& result) {
  if (result.raRate == 0) return "the telescope did not move the star in RA";
  if (result.decRate == 0) return "the telescope did not move the star in Dec";
  return {};
}

std::string SelfGuideTrainingText(const SelfGuideTrainingResult& r) {
  char text[128];
  std::snprintf(text, sizeof text, "slewx = %5d, slewy = %5d\nbacklashx = %5d, backlashy = %5d",
                r.raRate, r.decRate, r.raBacklash, r.decBacklash);
  return text;
}

std::string GuiderTrainingText(const GuiderTraining& g) {
  char text[320];
  std::snprintf(text, sizeof text,
                "slew RA = %5d,%5d, %5d\nslew Dec = %5d, %5d, %5d\nbacklash RA = %5d, %5d, %5d\n"
                "backlash Dec = %5d, %5d, %5d\nTheta = %5d",
                g.raStepX, g.raStepY, g.trainedRaRate, g.decStepX, g.decStepY, g.trainedDecRate,
                g.raBacklashDx, g.raBacklashDy, g.trainedRaBacklash, g.decBacklashDx,
                g.decBacklashDy, g.trainedDecBacklash, RaAngleDegrees(g.trainedRaAngle));
  return text;
}

int RaAngleDegrees(double radians) {
  if (!std::isfinite(radians)) return 0;
  const long degrees = std::lround(radians * 180 / std::numbers::pi) % 360;
  return static_cast<int>(degrees < 0 ? degrees + 360 : degrees);
}

double RaAngleFromDegrees(int degrees, double current) {
  if (degrees == RaAngleDegrees(current)) return current;
  return degrees * std::numbers::pi / 180;
}

int TrainSelfGuiding(Corvex& corvex) {
  ProgramState& state = corvex.state;
  ProgramSettings& settings = state.settings;
  GuidingState& guiding = corvex.guiding;

  // 1. Preconditions and the link. (Training pumps the host between its steps: a second
  // start pressed meanwhile is not run inside the first.)
  if (guiding.calibrationActive) return kTrainingRefused;
  if (!TelescopeMethodChosen(corvex) || !state.cameraFound || !state.guideStarPicked) {
    ShowMessage(corvex.host, kFreeTextMessage, "You must first take an image and pick a star");
    return kTrainingRefused;
  }
  if (!PrepareTelescopeLink(corvex)) {
    ShowMessage(corvex.host, kFreeTextMessage, "Communication with telescope failed");
    return kTrainingRefused;
  }
  // 2. The control box's relays want one short pulse each before their first real move.
  if (!MountMethod(corvex) && settings.telescopeMethod == 'b' &&
      corvex.telescope.relayWakeUpPending) {
    corvex.telescope.relayWakeUpPending = false;
    for (int slot : {kNorth, kSouth, kEast, kWest}) {
      if (Move(corvex, slot, kWakeUpMoveMs) == MoveResult::kStillMoving) {
        ReportStop(corvex, 0, "waking the relays", StepEnd::kStillMoving);
        return kTrainingFailed;
      }
    }
  }
  // 3. The guide window around the picked star.
  PlaceGuideWindow(corvex);
  state.selfGuidingActive = true;
  guiding.calibrationActive = true;
  state.continuousMode = false;
  state.maskRadius = settings.starMaskRadius;

  const int t = std::max(settings.selfGuideTrainingSeconds, 1);
  std::array<int, 5> y{}, x{};
  // 4. Dec: north, north, south, south. 5. RA: east, east, west, west.
  static constexpr const char* kStepNames[8] = {
      "moving North", "moving North again", "moving South", "moving South again",
      "moving East",  "moving East again",  "moving West",  "moving West again"};
  StepEnd end = StepEnd::kMeasured;
  int step = 0;
  const auto phase = [&](std::array<int, 5>& at, const int& position, int towards, int back,
                         int hysteresis) {
    const int ms = t * 1000 - hysteresis * 100;
    at[0] = position;
    const int slots[4] = {towards, towards, back, back};
    for (int i = 0; i < 4; ++i) {
      ++step;
      end = MeasuredMove(corvex, slots[i], ms);
      if (end != StepEnd::kMeasured) return false;
      at[i + 1] = position;
    }
    return true;
  };
  int result = kTrainingDone;
  if (corvex.host.PumpEvents()) {
    end = StepEnd::kCancelled;
    step = 1;
  }
  if (end == StepEnd::kMeasured &&
      phase(y, state.starY, kNorth, kSouth, settings.selfGuideDecHysteresis) &&
      phase(x, state.starX, kEast, kWest, settings.selfGuideRaHysteresis)) {
    // 6.-8. The results, shown as measured. A rate of 0 means the star did not move on that
    // axis: nothing guiding could use, so the previous values stay.
    const SelfGuideTrainingResult r = SelfGuideTrainingResults(y, x, t);
    ShowMessage(corvex.host, kFreeTextMessage, SelfGuideTrainingText(r));
    if (const std::string fault = SelfGuideTrainingFault(r); !fault.empty()) {
      ReportFault(corvex, fault);
      result = kTrainingFailed;
    } else {
      settings.selfGuideRaRate = r.raRate;
      settings.selfGuideDecRate = r.decRate;
      settings.selfGuideRaBacklash = r.raBacklash;
      settings.selfGuideDecBacklash = r.decBacklash;
      WriteSettingsFile(corvex);
    }
  } else {
    ReportStop(corvex, step, kStepNames[std::clamp(step, 1, 8) - 1], end);
    result = Code(end);
  }
  // 9. Also after a training that stopped.
  guiding.calibrationActive = false;
  state.selfGuidingActive = false;
  state.guideWindowActive = false;
  return result;
}

int TrainGuider(Corvex& corvex) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  GuiderTraining& training = guiding.training;
  // (Training pumps the host between its steps: a second "Train" pressed meanwhile is not
  // started inside the first.)
  if (!guiding.guiderStarSelected || training.trainingRunning) return kTrainingRefused;
  if (!PrepareTelescopeLink(corvex)) {
    ShowMessage(corvex.host, 54);
    return kTrainingRefused;
  }
  state.maskRadius = state.settings.starMaskRadius;
  const int t = std::max(training.trainingSeconds, 1);

  // 1. P0 is the selected star.
  training.trainingRunning = true;
  std::array<SamplePoint, 9> p{};
  std::array<PrecisePoint, 9> precise{};
  p[0] = {guiding.selectedGuiderStarX, guiding.selectedGuiderStarY};
  precise[0] = {double(p[0].x), double(p[0].y)};
  training.trainingSamples = p;
  training.trainingStep = 0;
  SamplePoint l{}, m{};  // the first long moves' predicted travel, from the short moves

  // 2. Eight measured moves, with a half-second pause before the Dec ones.
  StepEnd end = corvex.host.PumpEvents() ? StepEnd::kCancelled : StepEnd::kMeasured;
  int step = 1;
  for (; step <= 8 && end == StepEnd::kMeasured; ++step) {
    const TrainingMove& move = kTrainingMoves[step - 1];
    if (step == 6) {
      corvex.host.ShowGuiderStatus("Auto Guider Camera Control - Training / pausing for 1/2 second");
      corvex.clock.SleepFor(kTrainingPauseMs);
    }
    corvex.host.ShowGuiderStatus(move.caption);
    const unsigned faults = corvex.camera.transferFaults;
    end = FromMove(Move(corvex, move.slot, t * move.msPerSecond));
    if (end != StepEnd::kMeasured) break;
    corvex.clock.SleepFor(kSettleAfterMoveMs);
    const bool frame = TakeGuiderFrame(corvex);
    corvex.host.ShowGuiderStatus(move.caption);
    if (!frame) {
      end = StepEnd::kNoFrame;
      break;
    }
    if (corvex.camera.transferFaults != faults) {
      end = StepEnd::kNotMade;  // a stop that only went out when tried again
      break;
    }

    // Where to look, and how far the star may have gone when it is not there.
    const SamplePoint from = p[step - 1];
    const SamplePoint predicted = Predicted(step, p, l, m);
    const int r = state.maskRadius;
    int reach = std::max(
        3 * r, 2 * static_cast<int>(std::hypot(predicted.x - from.x, predicted.y - from.y)) + r);
    // The Dec motion cannot be predicted from the short north move when backlash ate it; it
    // is at right angles to the RA motion, on one side or the other (a mirrored guider), and
    // the star moves at most a few times as fast in Dec as in RA.
    const PrecisePoint raMotion = Minus(precise[3], precise[1]);
    const auto plausible = [&](PrecisePoint found) {
      if (step != 7) return true;
      const PrecisePoint moved{found.x - from.x, found.y - from.y};
      const double length = Length(moved) * Length(raMotion);
      return Length(moved) < 2 * kLeastTravelPx ||
             (length > 0 &&
              std::abs(moved.x * raMotion.x + moved.y * raMotion.y) <= kDecAxisCosine * length);
    };
    if (step == 7) reach = std::max(reach, 2 * static_cast<int>(Length(raMotion)) + r);
    // The first, short move leaves the star where it was chosen: found there, it also says
    // how bright the guide star is at the exposure training runs with.
    const int chosenSignal = guiding.guideStarSignal;
    if (step == 1) guiding.guideStarSignal = 0;
    const auto found =
        FollowStar(corvex, from, predicted, std::min(reach, kLongestReach), plausible);
    if (!found) {
      guiding.guideStarSignal = chosenSignal;
      end = StepEnd::kStarLost;
      break;
    }
    if (step == 1) guiding.guideStarSignal = guiding.guiderStarSignal;
    precise[step] = *found;
    p[step] = {static_cast<int>(found->x), static_cast<int>(found->y)};
    training.trainingSamples[step] = p[step];
    training.trainingStep = step;
    if (step == 1) l = {9 * (p[1].x - p[0].x) + 1, 9 * (p[1].y - p[0].y) + 1};
    if (step == 6) m = {5 * (p[6].x - p[5].x) + 1, 5 * (p[6].y - p[5].y) + 1};
    if (corvex.host.PumpEvents()) {
      end = StepEnd::kCancelled;
      break;
    }
  }

  int result = Code(end);
  if (end != StepEnd::kMeasured) {
    const int at = std::clamp(step, 1, 8);
    ReportStop(corvex, at, kTrainingMoves[at - 1].caption + kCaptionPrefix, end);
  } else {
    // 3. The results, shown as measured; 4. in use from now on, unless they cannot steer.
    GuiderTraining measured = training;
    measured.trainingSeconds = t;
    GuiderTrainingResults(p, precise, t, measured);
    ShowMessage(corvex.host, kFreeTextMessage, GuiderTrainingText(measured));
    if (const std::string fault = GuiderTrainingFault(measured); !fault.empty()) {
      ReportFault(corvex, fault);
      result = kTrainingFailed;
    } else {
      training = measured;
      training.guiderTrained = true;
      training.useTrainedValues = true;
      WriteSettingsFile(corvex);
    }
  }
  // 5. Also after a training that stopped.
  training.trainingRunning = false;
  corvex.host.ShowGuiderStatus(kGuiderCaption);
  return result;
}

std::string ToggleUseTrainedValues(GuiderTraining& training) {
  if (!training.guiderTrained) {
    training.useTrainedValues = false;
    return "Use Defaults";
  }
  training.useTrainedValues = !training.useTrainedValues;
  return training.useTrainedValues ? "Use Defaults" : "Use Trained";
}

std::string GuiderValuesStatus(const GuiderTraining& training) {
  return training.guiderTrained && training.useTrainedValues ? "Using Trained Vals"
                                                             : "Using Default Vals";
}

void ChangeGuiderDefaults(Corvex& corvex, int raRate, int decRate, int raBacklash,
                          int decBacklash, double raAngle) {
  ProgramSettings& settings = corvex.state.settings;
  settings.guiderRaRate = raRate;
  settings.guiderDecRate = decRate;
  settings.guiderRaBacklash = raBacklash;
  settings.guiderDecBacklash = decBacklash;
  settings.defaultRaAngle = raAngle;
  WriteSettingsFile(corvex);
}

void SaveLatestTraining(Corvex& corvex) {
  const GuiderTraining& t = corvex.guiding.training;
  ChangeGuiderDefaults(corvex, t.trainedRaRate, t.trainedDecRate, t.trainedRaBacklash,
                       t.trainedDecBacklash, t.trainedRaAngle);
}

}  // namespace corvex
