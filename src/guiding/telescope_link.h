// Moving the telescope: LX200 commands through one of the camera's serial ports, pulses on
// the camera's four guide relays ("Via Control Box"), or timed guide pulses to a mount on an
// INDI server. Everything above expresses a move as a direction letter and a duration, or
// starts and stops an open-ended move.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "camera/guide_relays.h"
#include "mount/mount.h"
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

// The telescope is a mount of its own (telescope.method = indi in corvex.conf), not moved
// through the camera; and whether any method is chosen at all.
bool MountMethod(const Corvex& corvex);
bool TelescopeMethodChosen(const Corvex& corvex);
// Makes the mount from the settings when there is none, and connects it when it is not.
// False after telling the user what failed.
bool ConnectMount(Corvex& corvex);

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

// One move of moveDirection for moveDurationMs: by LX200 ("#:RG#", move, quit), by the
// relays when the method is "Via Control Box", or as one timed guide pulse to the mount.
MoveResult TimedMove(Corvex& corvex);
MoveResult TimedRelayMove(Corvex& corvex);
// The mount's pulse, waited for until the mount reports it ended. A mount that does not
// answer within kPulseGraceMs after the pulse's length is told to stop, and a lost connection
// ends it: both are reported to the user and give kStillMoving, so that guiding ends.
MoveResult TimedMountPulse(Corvex& corvex);
inline constexpr int kPulseGraceMs = 5000;

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

// ---- The mount on its own (the INDI method) ----
// A go-to to a J2000 position, precessed to the epoch of date; `name` ("M31") goes into the
// info text. False, after telling the user, when the mount cannot be reached.
bool GoToMountJ2000(Corvex& corvex, const SkyPosition& j2000, const std::string& name);
// The mount's position of date into scopeInfoText ("RA 00h43m52s Dec +41 22' 10\"").
// False when the mount has reported none.
bool ReadMountInfo(Corvex& corvex);
// Stops every motion of the mount; false when it could not be told.
bool AbortMount(Corvex& corvex);
// Formats a position as the info text does.
std::string SkyPositionText(const SkyPosition& position);

}  // namespace corvex
