// One guiding correction: find the star near the reference, form the error in thousandths of
// a pixel, decide per axis whether and which way to move, add backlash on a reversal, turn
// the error into milliseconds through the axis rate, take off the hysteresis and make a
// timed move with a beep before and after.
#pragma once

#include <cstdint>

#include "state/guiding_state.h"

namespace corvex {

struct Corvex;

inline constexpr int kGuideDone = 0;
inline constexpr int kGuideStarLost = 3;     // nothing measured, nothing moved
inline constexpr int kGuideFrameFailed = 4;  // the frame did not arrive: not measured
inline constexpr int kGuideMoveFailed = 5;   // measured, but a move did not reach the mount
inline constexpr int kGuideMountMoving = 6;  // a stop could not be sent: guiding must end

// The largest errors the paths act on, thousandths of a pixel.
inline constexpr int kSelfGuideErrorLimit = 5000;
inline constexpr int kGuiderErrorLimit = 8000;

// ---- Pure steps ----

// A value forced into 16 bits: beyond +/-32767 it stays at the end instead of wrapping.
std::int16_t Saturate16(long long value);

// (reference - measured) x 1000 + (reference tenths - measured tenths) x 100, saturated.
std::int16_t GuideError(int reference, int referenceTenths, int measured, int measuredTenths);

// How one axis turns an error into a move.
struct AxisRule {
  int threshold = 0;        // errors of this size or less are left alone
  int backlash = 0;         // added on a reversal, thousandths of a pixel
  int ratePxPerSec = 1;     // star motion at the guide rate
  int hysteresisTenths = 0;  // tenths of a second taken off every move
  int limit = 0;            // the largest error the path accepts: no move is ever longer
};

struct AxisMove {
  bool considered = false;  // the error passed the threshold (the letter was recorded)
  char letter = 0;
  int ms = 0;  // the move time; nothing is sent unless it is 1 ms or more
};

// One axis: when |error| passes the threshold, the letter is `positive` for a positive error
// and `negative` otherwise; a letter that differs from `lastLetter` lengthens the error by the
// backlash; `lastLetter` takes the letter; the time is |error / rate| - hysteresis x 100 ms.
// The error is first held to the rule's limit so that no move outlasts what that needs.
AxisMove PlanAxisMove(int error, char positive, char negative, char& lastLetter,
                      const AxisRule& rule);

// The trained guider path: the error vector resolved along the training's RA and Dec motion
// (the star's travel per second of a west move and of a north move, raMotionX ... decMotionY).
// `raMs` is how long a west move must run to carry the star its share of the error (negative:
// an east move), `decMs` likewise for north. Axes that are parallel or unmeasured fall back
// to projecting the error on each motion alone.
struct ResolvedError {
  int raMs = 0;
  int decMs = 0;
};
ResolvedError ResolveAlongTrainedAxes(int errorX, int errorY, const GuiderTraining& training);

// ---- Corrections ----

// Main camera: the star in the guide window near the reference; an error over 5 pixels on
// either axis moves nothing. A lost star gives result 3; with `endOnLoss` it also switches
// self-guiding off (a self-guided exposure ends there), without it the search is silent and
// the caller decides how many lost frames it bears.
GuideCorrection SelfGuideCorrection(Corvex& corvex, bool endOnLoss = true);

// Guider camera: the trained path when trained values are in use and the RA angle is not
// ignored, the default path otherwise (which moves nothing for an error over 8 pixels). A
// square with no star as bright as the guide star is a lost star (result 3): nothing is
// measured or moved, and the caller decides how many lost frames it bears.
GuideCorrection GuiderCorrection(Corvex& corvex);

}  // namespace corvex
