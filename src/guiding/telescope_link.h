// Moving the telescope: LX200 commands through one of the camera's serial ports, or pulses on
// the camera's four guide relays ("Via Control Box"). Everything above expresses a move as a
// direction letter and a duration, or starts and stops an open-ended move.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "camera/guide_relays.h"
#include "state/telescope_state.h"

namespace corvex {

struct Corvex;

// The four places of the direction table.
inline constexpr int kEast = 0;
inline constexpr int kWest = 1;
inline constexpr int kNorth = 2;
inline constexpr int kSouth = 3;

// The letter a move towards `slot` (kEast ... kSouth) sends, through the direction table, so
// that one swap reverses an axis everywhere.
char DirectionLetter(const Corvex& corvex, int slot);
// "Swap e/w direction" and "Swap n/s direction".
void SwapEastWest(Corvex& corvex);
void SwapNorthSouth(Corvex& corvex);

void SelectTelescopePort(Corvex& corvex);  // portIndex from comPortChar
// Once per run: the settings file (on failure message 20 and a fresh write), the port.
void OpenTelescopeLink(Corvex& corvex);

// What guiding and calibration call first: opens the link when it is not open. False when
// the telescope cannot be reached (no open camera to carry the commands).
bool PrepareTelescopeLink(Corvex& corvex);

// One command to the telescope's serial port; false when it did not go out whole.
bool SendScopeCommand(Corvex& corvex, std::string_view text);
// A 33-byte reply into scopeInfoText, up to its first '#'.
void ReadScopeInfo(Corvex& corvex);
// One byte: '0' means the slew was accepted; anything else is followed by the refusal's text.
void ReadSlewReply(Corvex& corvex);

// How a move ended. A stop that never reached the mount leaves it moving: that is reported
// to the user (the stop having been tried kStopAttempts times) and nothing may go on as if
// the telescope were where the move should have left it.
enum class MoveResult {
  kDone,         // started, held and stopped
  kNotMade,      // a command failed before the move began (it was stopped all the same)
  kStillMoving,  // the stop could not be sent: the telescope may still be moving
};
inline constexpr int kStopAttempts = 3;

// One move of moveDirection for moveDurationMs: by LX200 ("#:RG#", move, quit), or by the
// relays when the method is "Via Control Box".
MoveResult TimedMove(Corvex& corvex);
MoveResult TimedRelayMove(Corvex& corvex);

// Open-ended moves for the panels. The stops are tried again when they fail, as above, and
// return false after telling the user.
void StartRelayMove(Corvex& corvex);
bool StopRelayMove(Corvex& corvex);
void StartScopeSlew(Corvex& corvex);
bool StopScopeSlew(Corvex& corvex);
void StartFocus(Corvex& corvex);
bool StopFocus(Corvex& corvex);

// The telescope's own library: 'm' Messier, 's' its star list (planets too), else CNGC;
// numbers 0-9999. False (nothing sent) for a number outside, and false when a command or
// reply did not get through (the camera link has said which).
bool GoToCatalogueObject(Corvex& corvex, char kind, int number);
// A target by RA hours and minutes and Dec degrees (signed) and minutes. False (nothing sent)
// when a field is out of its range, and false when a command or reply did not get through.
// `decSouth` marks a southern Dec whose degrees are 0
// (-0 30' is south of the equator, and an int cannot carry the sign of 0).
bool GoToCoordinates(Corvex& corvex, int raHours, int raMinutes, int decDegrees, int decMinutes,
                     bool decSouth = false);

}  // namespace corvex
