// Where the telescope link stands: the serial port, the move being made or last made on each
// axis, the LX200 commands of the chosen rates, and the telescope's last replies.
#pragma once

#include <cstdint>
#include <string>

namespace corvex {

struct TelescopeLink {
  int portIndex = 0;           // the camera serial port the telescope is on
  char moveDirection = 'e';    // the letter of the next move
  char lastRaDirection = 'e';  // the last correction on each axis (for backlash)
  char lastDecDirection = 'n';
  std::uint32_t moveDurationMs = 0;
  std::string rateCommand = "#:RS#";
  std::string moveCommand;
  std::string focusSpeedCommand = "#:FS#";
  std::string focusMoveCommand;
  bool slewing = false;
  bool focusing = false;
  bool linkOpen = false;
  bool relayWakeUpPending = true;
  std::string scopeInfoText;  // the last "Info from Scope"
  std::string slewReplyText;  // the last refusal of a slew
};

}  // namespace corvex
