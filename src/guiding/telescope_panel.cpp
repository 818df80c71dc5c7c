#include "guiding/telescope_panel.h"

#include <array>
#include <cctype>
#include <cstdlib>
#include <string>

#include "corvex.h"
#include "guiding/telescope_link.h"
#include "mount/sky_coordinates.h"

namespace corvex {

namespace {

constexpr const char* kPanelCaption = "Corvex - Control Telescope";

struct Planet {
  const char* name;
  int number;
};
constexpr std::array<Planet, 8> kPlanets{{{"Mercury", 901},
                                          {"Venus", 902},
                                          {"Mars", 904},
                                          {"Jupiter", 905},
                                          {"Saturn", 906},
                                          {"Uranus", 907},
                                          {"Neptune", 908},
                                          {"Pluto", 909}}};

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

void Refuse(Corvex& corvex, const char* text) {
  corvex.host.ShowMessageBox(text, kPanelCaption, MessageButtons::kOk, MessageIcon::kNone);
}

}  // namespace

bool GoToObject(Corvex& corvex, int messier, int cngc) {
  if (MountMethod(corvex)) {
    if (messier >= 1 && messier <= kMessierObjects) {
      return GoToMountJ2000(corvex, *MessierJ2000(messier), "M" + std::to_string(messier));
    }
    if (cngc >= 1 && cngc <= 7815) {
      Refuse(corvex, kNoNgcOverIndi);
      return false;
    }
  }
  if (messier >= 1 && messier <= 110) return GoToCatalogueObject(corvex, 'm', messier);
  if (cngc >= 1 && cngc <= 7815) return GoToCatalogueObject(corvex, 'c', cngc);
  Refuse(corvex, "Object out of range - try again");
  return false;
}

int PlanetNumber(std::string_view name) {
  for (const Planet& planet : kPlanets) {
    if (SameName(name, planet.name)) return planet.number;
  }
  return 0;
}

bool GoToPlanet(Corvex& corvex, std::string_view name) {
  const int number = PlanetNumber(name);
  if (number != 0 && MountMethod(corvex)) {
    Refuse(corvex, kNoPlanetsOverIndi);
    return false;
  }
  return number != 0 && GoToCatalogueObject(corvex, 's', number);
}

bool GoToTarget(Corvex& corvex, int raHours, int raMinutes, int decDegrees, int decMinutes,
                bool decSouth) {
  if (raHours < 0 || raHours > 23 || raMinutes < 0 || raMinutes > 59 || decDegrees < -89 ||
      decDegrees > 89 || decMinutes < 0 || decMinutes > 59) {
    Refuse(corvex,
           "Invalid Co-ordinates set.\n\nRange is R.A. 0hr 00min, to 23hr 59mins\n        Dec  "
           "-89deg 00min, to +89deg 59mins");
    return false;
  }
  if (MountMethod(corvex)) {
    const double sign = decDegrees < 0 || decSouth ? -1 : 1;
    return GoToMountJ2000(
        corvex, {raHours + raMinutes / 60.0, sign * (std::abs(decDegrees) + decMinutes / 60.0)},
        "");
  }
  return GoToCoordinates(corvex, raHours, raMinutes, decDegrees, decMinutes, decSouth);
}

void PressSlewArrow(Corvex& corvex, int slot) {
  TelescopeLink& link = corvex.telescope;
  if (link.slewing) return;
  link.moveCommand = std::string("#:M") + DirectionLetter(corvex, slot) + "#";
  StartScopeSlew(corvex);
  link.slewing = true;
}

void ReleaseSlewArrow(Corvex& corvex) {
  if (!corvex.telescope.slewing) return;
  StopScopeSlew(corvex);
}

void PressFocusArrow(Corvex& corvex, bool up) {
  TelescopeLink& link = corvex.telescope;
  if (link.focusing) return;
  link.focusMoveCommand = up ? "#:F+#" : "#:F-#";
  StartFocus(corvex);
  link.focusing = true;
}

void ReleaseFocusArrow(Corvex& corvex) {
  if (!corvex.telescope.focusing) return;
  StopFocus(corvex);
  corvex.telescope.focusing = false;
}

void PressRelayArrow(Corvex& corvex, int slot) {
  TelescopeLink& link = corvex.telescope;
  if (link.slewing) return;
  link.moveDirection = DirectionLetter(corvex, slot);
  StartRelayMove(corvex);
  link.slewing = true;
}

void ReleaseRelayArrow(Corvex& corvex) {
  if (!corvex.telescope.slewing) return;
  StopRelayMove(corvex);
  corvex.telescope.slewing = false;
}

}  // namespace corvex
