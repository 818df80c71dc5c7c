// Guider calibration ("training"): moving the telescope in a fixed pattern and following the
// guide star after each move, to learn how fast each axis moves the star, how much motion a
// reversal loses (backlash) and, for the guider camera, where the RA axis lies on the sensor.
#pragma once

#include <array>
#include <string>

#include "guiding/guiding_state.h"

namespace corvex {

struct Corvex;

// ---- The results, from the measured positions (pure) ----

struct SelfGuideTrainingResult {
  int raRate = 0;
  int decRate = 0;
  int raBacklash = 0;
  int decBacklash = 0;
};
// y0..y4: the star's row before the Dec moves (north, north, south, south) and after each;
// x4..x8: its column before the RA moves (east, east, west, west) and after each. T seconds
// a move. RA takes means, Dec maxima; integer divisions. Zero rates stay 0 here.
SelfGuideTrainingResult SelfGuideTrainingResults(const std::array<int, 5>& y,
                                                 const std::array<int, 5>& x, int seconds);

// The guider training's results from its nine samples P0..P8 (P0 the selected star, then the
// position after each move). Fills every result field of `training`; the flags are left.
void GuiderTrainingResults(const std::array<SamplePoint, 9>& p, int seconds,
                           GuiderTraining& training);

// "slewx = ..." and "slew RA = ..." texts of the results messages.
std::string SelfGuideTrainingText(const SelfGuideTrainingResult& result);
std::string GuiderTrainingText(const GuiderTraining& training);

// ---- The procedures ----

inline constexpr int kTrainingDone = 0;
inline constexpr int kTrainingRefused = 1;    // its message has been shown
inline constexpr int kTrainingStarLost = 3;   // a star search failed; nothing was changed

// "Train Auto-Guiding": with the main camera, on the guide window around the picked star.
// Stores the rates and backlash in the settings and writes the settings file.
int TrainSelfGuiding(Corvex& corvex);

// The guider dialog's "Train": needs a selected guider star. Stores the trained values
// (guiding uses them from now on) and writes the settings file.
int TrainGuider(Corvex& corvex);

// ---- The guider dialog's buttons ----

// "Use Default": switches between trained and default values; returns the button's new
// label ("Use Trained" or "Use Defaults").
std::string ToggleUseTrainedValues(GuiderTraining& training);
// "Using Trained Vals" or "Using Default Vals".
std::string GuiderValuesStatus(const GuiderTraining& training);
// "Change Defaults": the four default edits and the angle edit; writes the settings file.
void ChangeGuiderDefaults(Corvex& corvex, int raRate, int decRate, int raBacklash,
                          int decBacklash, double raAngle);
// "Save Latest": the trained values become the defaults; writes the settings file.
void SaveLatestTraining(Corvex& corvex);

}  // namespace corvex
