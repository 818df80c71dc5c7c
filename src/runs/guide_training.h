// Guider calibration ("training"): moving the telescope in a fixed pattern and following the
// guide star after each move, to learn how fast each axis moves the star, how much motion a
// reversal loses (backlash) and, for the guider camera, where the RA axis lies on the sensor.
//
// A training that cannot finish (a frame that did not arrive, a move that did not reach the
// telescope, a lost star, a cancel) says at which step it stopped and changes nothing: the
// previous calibration stays in use and in the settings file.
#pragma once

#include <array>
#include <string>

#include "state/guiding_state.h"

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
// position after each move), in whole pixels and as measured to a tenth. Fills every result
// field of `training`; the flags are left.
void GuiderTrainingResults(const std::array<SamplePoint, 9>& p,
                           const std::array<PrecisePoint, 9>& precise, int seconds,
                           GuiderTraining& training);
// The same from whole pixels alone.
void GuiderTrainingResults(const std::array<SamplePoint, 9>& p, int seconds,
                           GuiderTraining& training);

// Why measured results cannot be used for guiding, or empty: an axis that did not move the
// star (less than a pixel in a whole move), or RA and Dec moves that carried it the same way.
std::string GuiderTrainingFault(const GuiderTraining& training);
std::string SelfGuideTrainingFault(const SelfGuideTrainingResult& result);

// "slewx = ..." and "slew RA = ..." texts of the results messages.
std::string SelfGuideTrainingText(const SelfGuideTrainingResult& result);
std::string GuiderTrainingText(const GuiderTraining& training);

// The RA angle as it is shown: whole degrees, 0 to 359. The settings keep radians.
int RaAngleDegrees(double radians);
// An angle typed in whole degrees, in radians; an edit left at what RaAngleDegrees showed for
// `current` gives `current` back, so that saving untouched defaults changes nothing.
double RaAngleFromDegrees(int degrees, double current);

// ---- The procedures ----

inline constexpr int kTrainingDone = 0;
inline constexpr int kTrainingRefused = 1;    // its message has been shown
inline constexpr int kTrainingFailed = 2;     // a frame, a move or the results failed
inline constexpr int kTrainingStarLost = 3;   // a star search failed
inline constexpr int kTrainingCancelled = 4;  // the user's stop (Esc, Stop, Ctrl-C)

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
// "Change Defaults": the four default edits and the angle edit (radians); writes the
// settings file.
void ChangeGuiderDefaults(Corvex& corvex, int raRate, int decRate, int raBacklash,
                          int decBacklash, double raAngle);
// "Save Latest": the trained values become the defaults; writes the settings file.
void SaveLatestTraining(Corvex& corvex);

}  // namespace corvex
