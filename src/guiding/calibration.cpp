#include "guiding/calibration.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include "camera/camera_commands.h"
#include "corvex.h"
#include "files/settings_file.h"
#include "guiding/guide_frames.h"
#include "guiding/star_centroid.h"
#include "guiding/telescope_link.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr int kWakeUpMoveMs = 50;
constexpr int kSettleAfterMoveMs = 200;
constexpr int kTrainingPauseMs = 500;
constexpr const char* kGuiderCaption = "Auto Guider Camera Control";

void Move(Corvex& corvex, int slot, int ms) {
  corvex.telescope.moveDirection = DirectionLetter(corvex, slot);
  // A hysteresis longer than the move leaves nothing to move, never a negative time.
  corvex.telescope.moveDurationMs = static_cast<std::uint32_t>(std::max(ms, 0));
  TimedMove(corvex);
}

// Self-guide calibration's measured move: the move, one exposure shown, then the star
// searched around where it was and again around the first result. False when the second
// search fails.
bool MeasuredMove(Corvex& corvex, int slot, int ms) {
  ProgramState& state = corvex.state;
  const int beforeX = state.starX, beforeY = state.starY;
  Move(corvex, slot, ms);
  TakeGuideExposure(corvex);
  FindStarCentre(corvex, beforeX, beforeY, state.maskRadius);
  return FindStarCentre(corvex, state.starX, state.starY, state.maskRadius) == kStarFound;
}

// Both trainings end on a west and a south move; the corrections that follow add backlash
// only when they reverse from there.
void LastMovesWestAndSouth(Corvex& corvex) {
  corvex.telescope.lastRaDirection = DirectionLetter(corvex, kWest);
  corvex.telescope.lastDecDirection = DirectionLetter(corvex, kSouth);
}

int Larger(int a, int b) { return a > b ? a : b; }  // the second when equal

int TruncatedLength(int x, int y) {
  return static_cast<int>(std::sqrt(static_cast<double>(x) * x + static_cast<double>(y) * y));
}

// The guider training's moves: the step's caption, its direction and length (T x this many
// ms), and where its first search is centred.
enum class Centre { kStart, kPrevious, kPreviousPlusL, kPreviousPlusM, kPreviousMinusM };
struct TrainingMove {
  const char* caption;
  int slot;
  int msPerSecond;
  Centre centre;
  bool secondPassMinusL;  // the east move: the second pass is shifted back by L
};
constexpr TrainingMove kTrainingMoves[8] = {
    {"Auto Guider Camera Control - Training / slewing West", kWest, 100, Centre::kStart, false},
    {"Auto Guider Camera Control - Training / slewing West again", kWest, 1000,
     Centre::kPreviousPlusL, false},
    {"Auto Guider Camera Control - Training / slewing West third time", kWest, 1000,
     Centre::kPreviousPlusL, false},
    {"Auto Guider Camera Control - Training / slewing East", kEast, 1000, Centre::kPrevious, true},
    {"Auto Guider Camera Control - Training / slewing West to stabilise", kWest, 1000,
     Centre::kPreviousPlusL, false},
    {"Auto Guider Camera Control - Training / slewing North", kNorth, 200, Centre::kPrevious,
     false},
    {"Auto Guider Camera Control - Training / slewing North again", kNorth, 1000,
     Centre::kPreviousPlusM, false},
    // The south move goes the length of the one before, back: its search is centred where
    // that predicts, or a move longer than the search square would never be found.
    {"Auto Guider Camera Control - Training / slewing South", kSouth, 1000,
     Centre::kPreviousMinusM, false},
};

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

void GuiderTrainingResults(const std::array<SamplePoint, 9>& p, int seconds,
                           GuiderTraining& training) {
  const int t = std::max(seconds, 1);
  training.raStepX = (p[3].x - p[0].x) / (2 * t);
  training.raStepY = (p[3].y - p[0].y) / (2 * t);
  training.trainedRaAngle =
      training.raStepY == 0
          ? 0.0
          : std::atan(static_cast<double>(std::abs(training.raStepX) / std::abs(training.raStepY)));
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
}

std::string SelfGuideTrainingText(const SelfGuideTrainingResult& r) {
  char text[128];
  std::snprintf(text, sizeof text, "slewx = %5d, slewy = %5d\nbacklashx = %5d, backlashy = %5d",
                r.raRate, r.decRate, r.raBacklash, r.decBacklash);
  return text;
}

std::string GuiderTrainingText(const GuiderTraining& g) {
  // Theta in whole degrees: the angle in whole radians would say almost nothing.
  const int theta = static_cast<int>(std::lround(g.trainedRaAngle * 180 / std::numbers::pi));
  char text[320];
  std::snprintf(text, sizeof text,
                "slew RA = %5d,%5d, %5d\nslew Dec = %5d, %5d, %5d\nbacklash RA = %5d, %5d, %5d\n"
                "backlash Dec = %5d, %5d, %5d\nTheta = %5d",
                g.raStepX, g.raStepY, g.trainedRaRate, g.decStepX, g.decStepY, g.trainedDecRate,
                g.raBacklashDx, g.raBacklashDy, g.trainedRaBacklash, g.decBacklashDx,
                g.decBacklashDy, g.trainedDecBacklash, theta);
  return text;
}

int TrainSelfGuiding(Corvex& corvex) {
  ProgramState& state = corvex.state;
  ProgramSettings& settings = state.settings;
  GuidingState& guiding = corvex.guiding;

  // 1. Preconditions and the link.
  if (settings.telescopeMethod == 'n' || !state.cameraFound || !state.guideStarPicked) {
    ShowMessage(corvex.host, kFreeTextMessage, "You must first take an image and pick a star");
    return kTrainingRefused;
  }
  if (!PrepareTelescopeLink(corvex)) {
    ShowMessage(corvex.host, kFreeTextMessage, "Communication with telescope failed");
    return kTrainingRefused;
  }
  // 2. The control box's relays want one short pulse each before their first real move.
  if (settings.telescopeMethod == 'b' && corvex.telescope.relayWakeUpPending) {
    corvex.telescope.relayWakeUpPending = false;
    for (int slot : {kNorth, kSouth, kEast, kWest}) Move(corvex, slot, kWakeUpMoveMs);
  }
  // 3. The guide window around the picked star.
  PlaceGuideWindow(corvex);
  state.selfGuidingActive = true;
  guiding.calibrationActive = true;
  state.continuousMode = false;
  state.maskRadius = settings.starMaskRadius;

  const int t = std::max(settings.selfGuideTrainingSeconds, 1);
  int result = kTrainingStarLost;
  std::array<int, 5> y{}, x{};
  // 4. Dec: north, north, south, south. 5. RA: east, east, west, west.
  const auto phase = [&](std::array<int, 5>& at, const int& position, int towards, int back,
                         int hysteresis) {
    const int ms = t * 1000 - hysteresis * 100;
    at[0] = position;
    const int slots[4] = {towards, towards, back, back};
    for (int i = 0; i < 4; ++i) {
      if (!MeasuredMove(corvex, slots[i], ms)) return false;
      at[i + 1] = position;
    }
    return true;
  };
  if (phase(y, state.starY, kNorth, kSouth, settings.selfGuideDecHysteresis) &&
      phase(x, state.starX, kEast, kWest, settings.selfGuideRaHysteresis)) {
    // 6.-8. The results, shown as measured; a zero rate is stored as 1 so that guiding
    // never divides by zero.
    const SelfGuideTrainingResult r = SelfGuideTrainingResults(y, x, t);
    settings.selfGuideRaRate = r.raRate;
    settings.selfGuideDecRate = r.decRate;
    settings.selfGuideRaBacklash = r.raBacklash;
    settings.selfGuideDecBacklash = r.decBacklash;
    ShowMessage(corvex.host, kFreeTextMessage, SelfGuideTrainingText(r));
    if (settings.selfGuideRaRate == 0) settings.selfGuideRaRate = 1;
    if (settings.selfGuideDecRate == 0) settings.selfGuideDecRate = 1;
    WriteSettingsFile(corvex);
    result = kTrainingDone;
  }
  if (result == kTrainingDone) LastMovesWestAndSouth(corvex);
  // 9. Also after a lost star.
  guiding.calibrationActive = false;
  state.selfGuidingActive = false;
  state.guideWindowActive = false;
  return result;
}

int TrainGuider(Corvex& corvex) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  GuiderTraining& training = guiding.training;
  if (!guiding.guiderStarSelected) return kTrainingRefused;
  PrepareTelescopeLink(corvex);
  const int t = std::max(training.trainingSeconds, 1);

  // 1. P0 is the selected star.
  training.trainingRunning = true;
  std::array<SamplePoint, 9> p{};
  p[0] = {guiding.selectedGuiderStarX, guiding.selectedGuiderStarY};
  training.trainingSamples = p;
  training.trainingStep = 0;
  SamplePoint l{}, m{};  // the long moves' predicted travel, from the short first moves

  // 2. Eight measured moves, with a half-second pause before the Dec ones.
  bool measured = true;
  for (int step = 1; step <= 8 && measured; ++step) {
    const TrainingMove& move = kTrainingMoves[step - 1];
    if (step == 6) {
      corvex.host.ShowGuiderStatus("Auto Guider Camera Control - Training / pausing for 1/2 second");
      corvex.clock.SleepFor(kTrainingPauseMs);
    }
    corvex.host.ShowGuiderStatus(move.caption);
    Move(corvex, move.slot, t * move.msPerSecond);
    corvex.clock.SleepFor(kSettleAfterMoveMs);
    GuiderExposure(corvex);
    corvex.host.ShowGuiderStatus(move.caption);

    SamplePoint centre = move.centre == Centre::kStart ? p[0] : p[step - 1];
    if (move.centre == Centre::kPreviousPlusL) centre = {centre.x + l.x, centre.y + l.y};
    if (move.centre == Centre::kPreviousPlusM) centre = {centre.x + m.x, centre.y + m.y};
    if (move.centre == Centre::kPreviousMinusM) centre = {centre.x - m.x, centre.y - m.y};
    FindGuiderStarCentre(corvex, centre.x, centre.y, state.maskRadius);
    SamplePoint second{state.guiderStarX, state.guiderStarY};
    if (move.secondPassMinusL) second = {second.x - l.x, second.y - l.y};
    if (FindGuiderStarCentre(corvex, second.x, second.y, state.maskRadius) != kStarFound) {
      measured = false;
      break;
    }
    p[step] = {state.guiderStarX, state.guiderStarY};
    training.trainingSamples[step] = p[step];
    training.trainingStep = step;
    if (step == 1) l = {9 * (p[1].x - p[0].x) + 1, 9 * (p[1].y - p[0].y) + 1};
    if (step == 6) m = {5 * (p[6].x - p[5].x) + 1, 5 * (p[6].y - p[5].y) + 1};
  }

  int result = kTrainingStarLost;
  if (measured) {
    // 3. The results; 4. in use from now on.
    GuiderTrainingResults(p, t, training);
    LastMovesWestAndSouth(corvex);
    training.guiderTrained = true;
    training.useTrainedValues = true;
    ShowMessage(corvex.host, kFreeTextMessage, GuiderTrainingText(training));
    WriteSettingsFile(corvex);
    result = kTrainingDone;
  }
  // 5. Also after a lost star.
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
