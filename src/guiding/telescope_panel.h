// The LX200 telescope panel ("CORVEX Move Telescope") and the control box's "Move Telescope"
// arrows, without their windows: the go-to buttons with their range checks and messages, and
// the press-and-hold moves.
#pragma once

#include <string_view>

namespace corvex {

struct Corvex;

// The INDI method has no catalogue but Messier's, and no planets.
inline constexpr const char* kNoNgcOverIndi =
    "NGC objects are not available with an INDI mount: enter the object's J2000 co-ordinates "
    "instead.";
inline constexpr const char* kNoPlanetsOverIndi =
    "Planets are not available with an INDI mount: enter the planet's co-ordinates instead.";

// "GoTo Object": Messier 1-110 first, else CNGC 1-7815, else "Object out of range - try
// again". True when a go-to was sent. With an INDI mount the Messier object's J2000 position
// is precessed to the date and sent; CNGC numbers are refused with kNoNgcOverIndi.
bool GoToObject(Corvex& corvex, int messier, int cngc);

// The planet buttons select numbers 901-909 of the telescope's star list; 0 for a name that
// is not a planet button ("Mercury" ... "Pluto", any case).
int PlanetNumber(std::string_view name);
bool GoToPlanet(Corvex& corvex, std::string_view name);

// "Go To ": RA 0-23 h 0-59 min, Dec -89..89 degrees 0-59 min, else the "Invalid
// Co-ordinates set." message. `decSouth` as for GoToCoordinates. An INDI mount takes them as
// J2000 (as charts and catalogues give them) and gets them precessed to the date.
bool GoToTarget(Corvex& corvex, int raHours, int raMinutes, int decDegrees, int decMinutes,
                bool decSouth = false);

// Press-and-hold arrows: slot 0 east, 1 west, 2 north, 3 south. A press while a move is held
// is ignored; a release only acts while one is.
void PressSlewArrow(Corvex& corvex, int slot);    // LX200 slew at the chosen rate
void ReleaseSlewArrow(Corvex& corvex);
void PressFocusArrow(Corvex& corvex, bool up);  // up "#:F+#", down "#:F-#"
void ReleaseFocusArrow(Corvex& corvex);
void PressRelayArrow(Corvex& corvex, int slot);     // the control box's relays
void ReleaseRelayArrow(Corvex& corvex);

}  // namespace corvex
