#include "guiding/telescope_link.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "camera/camera_commands.h"
#include "corvex.h"
#include "files/settings_file.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr std::size_t kInfoBytes = 33;
constexpr int kRateSettleMs = 20;
constexpr int kQuitSettleMs = 4;
constexpr int kRelayLeadMs = 10;
constexpr int kRelaySettleMs = 300;

std::uint16_t Port(const Corvex& corvex) {
  return static_cast<std::uint16_t>(corvex.telescope.portIndex);
}

// A serial reply up to its first '#', at most `limit` characters.
std::string ReplyText(const Corvex& corvex, std::size_t limit) {
  const std::uint8_t* reply = corvex.store.usbReceiveBuffer.data();
  const std::uint8_t* end = std::find(reply, reply + limit, '#');
  return std::string(reinterpret_cast<const char*>(reply), end - reply);
}

}  // namespace

std::uint8_t RelayMask(char direction) {
  switch (direction) {
    case 'w':
      return kRelayWest;
    case 's':
      return kRelaySouth;
    case 'n':
      return kRelayNorth;
    case 'e':
      return kRelayEast;
    default:
      return 0;
  }
}

char DirectionLetter(const Corvex& corvex, int slot) {
  return corvex.state.settings.directionTable[static_cast<std::size_t>(slot) & 3];
}

void SwapEastWest(Corvex& corvex) {
  auto& table = corvex.state.settings.directionTable;
  std::swap(table[0], table[1]);
}

void SwapNorthSouth(Corvex& corvex) {
  auto& table = corvex.state.settings.directionTable;
  std::swap(table[2], table[3]);
}

void SelectTelescopePort(Corvex& corvex) {
  corvex.telescope.portIndex = corvex.state.settings.comPortChar == '1' ? 0 : 1;
}

void OpenTelescopeLink(Corvex& corvex) {
  if (ReadSettingsFile(corvex) != kSettingsOk) {
    ShowMessage(corvex.host, 20);
    WriteSettingsFile(corvex);
  }
  SelectTelescopePort(corvex);
  corvex.telescope.linkOpen = true;
}

bool PrepareTelescopeLink(Corvex& corvex) {
  if (!corvex.telescope.linkOpen) OpenTelescopeLink(corvex);
  return corvex.telescope.linkOpen && corvex.camera.device != nullptr;
}

void SendScopeCommand(Corvex& corvex, std::string_view text) {
  SerialWrite(corvex, Port(corvex), text, text.size());
}

void ReadScopeInfo(Corvex& corvex) {
  const std::size_t got = SerialRead(corvex, Port(corvex), kInfoBytes);
  corvex.telescope.scopeInfoText = ReplyText(corvex, std::min(got, kInfoBytes));
}

void ReadSlewReply(Corvex& corvex) {
  const std::size_t got = SerialRead(corvex, Port(corvex), 1);
  if (got == 1 && corvex.store.usbReceiveBuffer[0] == '0') {
    corvex.telescope.slewReplyText.clear();
    return;
  }
  const std::size_t text = SerialRead(corvex, Port(corvex), kInfoBytes);
  corvex.telescope.slewReplyText = ReplyText(corvex, std::min(text, kInfoBytes));
}

void TimedMove(Corvex& corvex) {
  if (corvex.state.settings.telescopeMethod == 'b') return TimedRelayMove(corvex);
  Clock& clock = corvex.clock;
  const char letter = corvex.telescope.moveDirection;
  std::int64_t deadline = clock.NowMs() + kRateSettleMs;
  SendScopeCommand(corvex, "#:RG#");
  clock.SleepUntil(deadline);
  deadline = clock.NowMs() + corvex.telescope.moveDurationMs;
  SendScopeCommand(corvex, std::string("#:M") + letter + "#");
  clock.SleepUntil(deadline);
  SendScopeCommand(corvex, std::string("#:Q") + letter + "#");
  clock.SleepFor(kQuitSettleMs);
}

void TimedRelayMove(Corvex& corvex) {
  Clock& clock = corvex.clock;
  clock.SleepFor(kRelayLeadMs);
  const std::int64_t start = clock.NowMs();
  SetGuideRelays(corvex, RelayMask(corvex.telescope.moveDirection));
  clock.SleepUntil(start + corvex.telescope.moveDurationMs);
  SetGuideRelays(corvex, 0);
  clock.SleepFor(kRelaySettleMs);
}

void StartRelayMove(Corvex& corvex) {
  corvex.clock.SleepFor(1);
  SetGuideRelays(corvex, RelayMask(corvex.telescope.moveDirection));
}

void StopRelayMove(Corvex& corvex) {
  SetGuideRelays(corvex, 0);
}

// (The host serial library's receive-buffer clear of the original concerns a port this
// program never opens, so there is nothing to clear between the commands.)
void StartScopeSlew(Corvex& corvex) {
  SendScopeCommand(corvex, corvex.telescope.rateCommand);
  SendScopeCommand(corvex, corvex.telescope.moveCommand);
}

void StopScopeSlew(Corvex& corvex) {
  corvex.telescope.slewing = false;
  for (const char* stop : {"#:Qn#", "#:Qs#", "#:Qe#", "#:Qw#"}) SendScopeCommand(corvex, stop);
}

void StartFocus(Corvex& corvex) {
  SendScopeCommand(corvex, corvex.telescope.focusSpeedCommand);
  SendScopeCommand(corvex, corvex.telescope.focusMoveCommand);
}

void StopFocus(Corvex& corvex) {
  corvex.telescope.slewing = false;
  SendScopeCommand(corvex, "#:FQ#");
}

bool GoToCatalogueObject(Corvex& corvex, char kind, int number) {
  if (number < 0 || number > 9999) return false;
  TelescopeLink& link = corvex.telescope;
  link.scopeInfoText.clear();
  char command[16];
  const char* library = kind == 'm' ? "#:LM " : kind == 's' ? "#:LS " : "#:LC ";
  std::snprintf(command, sizeof command, "%s%04d#", library, number);
  SendScopeCommand(corvex, command);
  link.scopeInfoText.clear();
  SendScopeCommand(corvex, "#:LI#");
  corvex.clock.SleepFor(200);
  ReadScopeInfo(corvex);
  corvex.host.Beep(kBeepOk);
  SendScopeCommand(corvex, "#:MS#");
  corvex.clock.SleepFor(500);
  ReadSlewReply(corvex);
  return true;
}

bool GoToCoordinates(Corvex& corvex, int raHours, int raMinutes, int decDegrees, int decMinutes,
                     bool decSouth) {
  if (raHours < 0 || raHours > 23 || raMinutes < 0 || raMinutes > 59 || decDegrees < -90 ||
      decDegrees > 90 || decMinutes < 0 || decMinutes > 59) {
    return false;
  }
  corvex.telescope.scopeInfoText.clear();
  const std::int64_t noted = corvex.clock.NowMs() + 1;
  char command[32];
  std::snprintf(command, sizeof command, "#:Sr %02d:%02d.0#", raHours, raMinutes);
  SendScopeCommand(corvex, command);
  std::snprintf(command, sizeof command, "#:Sd %c%02d*%02d#", decDegrees < 0 || decSouth ? '-' : '+',
                std::abs(decDegrees), decMinutes);
  SendScopeCommand(corvex, command);
  SendScopeCommand(corvex, "#:LI#");
  corvex.clock.SleepUntil(noted);
  corvex.host.Beep(kBeepOk);
  SendScopeCommand(corvex, "#:MS#");
  corvex.clock.SleepFor(1);
  ReadSlewReply(corvex);
  return true;
}

}  // namespace corvex
