#include "guiding/telescope_link.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "camera/camera_requests.h"
#include "commands/settings_commands.h"
#include "corvex.h"
#include "files/settings_file.h"
#include "mount/sky_coordinates.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr std::size_t kInfoBytes = 33;
constexpr int kRateSettleMs = 20;
constexpr int kQuitSettleMs = 4;
constexpr int kStopRetryMs = 20;

std::uint16_t Port(const Corvex& corvex) {
  return static_cast<std::uint16_t>(corvex.telescope.portIndex);
}

// A serial reply up to its first '#', at most `limit` characters.
std::string ReplyText(const Corvex& corvex, std::size_t limit) {
  const std::uint8_t* reply = corvex.camera.usbReceiveBuffer.data();
  const std::uint8_t* end = std::find(reply, reply + limit, '#');
  return std::string(reinterpret_cast<const char*>(reply), end - reply);
}

// A stop, sent until it goes out or kStopAttempts have failed; then the user is told.
template <typename Send>
bool SendStop(Corvex& corvex, Send send) {
  for (int attempt = 0; attempt < kStopAttempts; ++attempt) {
    if (attempt > 0) corvex.clock.SleepFor(kStopRetryMs);
    if (send()) return true;
  }
  ShowMessage(corvex.host, kFreeTextMessage, kStillMovingMessage);
  return false;
}

bool SendStopCommand(Corvex& corvex, const std::string& text) {
  return SendStop(corvex, [&] { return SendScopeCommand(corvex, text); });
}

std::string LostText(const Mount& mount) {
  return "The connection to the INDI mount " + mount.Name() +
         " was lost. Nothing more is sent to it; reconnect it and start again.";
}

}  // namespace

bool MountMethod(const Corvex& corvex) {
  return corvex.options.Text(kTelescopeMethodKey) == "indi";
}

bool TelescopeMethodChosen(const Corvex& corvex) {
  return MountMethod(corvex) || corvex.state.settings.telescopeMethod != 'n';
}

bool ConnectMount(Corvex& corvex) {
  if (!corvex.mount && corvex.makeMount) corvex.mount = corvex.makeMount(corvex.options);
  if (!corvex.mount) {
    ShowMessage(corvex.host, kFreeTextMessage,
                "No INDI mount can be used: check indi.server in corvex.conf (HOST:PORT).");
    return false;
  }
  if (corvex.mount->Ready()) return true;
  std::string error;
  if (!corvex.mount->Connect(error)) {
    ShowMessage(corvex.host, kFreeTextMessage, error);
    return false;
  }
  return true;
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
  if (MountMethod(corvex)) return ConnectMount(corvex);
  return corvex.telescope.linkOpen && corvex.camera.device != nullptr;
}

bool SendScopeCommand(Corvex& corvex, std::string_view text) {
  const unsigned before = corvex.camera.transferFaults;
  SerialWrite(corvex.camera, Port(corvex), text, text.size());
  return corvex.camera.transferFaults == before;
}

void ReadScopeInfo(Corvex& corvex) {
  const std::size_t got = SerialRead(corvex.camera, Port(corvex), kInfoBytes);
  corvex.telescope.scopeInfoText = ReplyText(corvex, std::min(got, kInfoBytes));
}

void ReadSlewReply(Corvex& corvex) {
  const std::size_t got = SerialRead(corvex.camera, Port(corvex), 1);
  if (got == 1 && corvex.camera.usbReceiveBuffer[0] == '0') {
    corvex.telescope.slewReplyText.clear();
    return;
  }
  const std::size_t text = SerialRead(corvex.camera, Port(corvex), kInfoBytes);
  corvex.telescope.slewReplyText = ReplyText(corvex, std::min(text, kInfoBytes));
}

MoveResult TimedMove(Corvex& corvex) {
  if (MountMethod(corvex)) return TimedMountPulse(corvex);
  if (corvex.state.settings.telescopeMethod == 'b') return TimedRelayMove(corvex);
  Clock& clock = corvex.clock;
  const char letter = corvex.telescope.moveDirection;
  std::int64_t deadline = clock.NowMs() + kRateSettleMs;
  // Without the guide rate the move would run at whatever rate the panel chose last, many
  // times too far: no move at all is better.
  if (!SendScopeCommand(corvex, "#:RG#")) return MoveResult::kNotMade;
  clock.SleepUntil(deadline);
  deadline = clock.NowMs() + corvex.telescope.moveDurationMs;
  const bool started = SendScopeCommand(corvex, std::string("#:M") + letter + "#");
  if (started) clock.SleepUntil(deadline);
  // The stop goes out even after a failed start: part of a failed write may have arrived.
  const bool stopped = SendStopCommand(corvex, std::string("#:Q") + letter + "#");
  clock.SleepFor(kQuitSettleMs);
  if (!stopped) return MoveResult::kStillMoving;
  return started ? MoveResult::kDone : MoveResult::kNotMade;
}

MoveResult TimedMountPulse(Corvex& corvex) {
  Mount* mount = corvex.mount.get();
  if (mount == nullptr) return MoveResult::kNotMade;
  if (mount->Lost()) {
    ShowMessage(corvex.host, kFreeTextMessage, LostText(*mount));
    return MoveResult::kStillMoving;
  }
  const int ms = static_cast<int>(corvex.telescope.moveDurationMs);
  const std::int64_t end = corvex.clock.NowMs() + ms;
  if (!mount->StartPulse(corvex.telescope.moveDirection, ms)) {
    if (!mount->Lost()) return MoveResult::kNotMade;
    ShowMessage(corvex.host, kFreeTextMessage, LostText(*mount));
    return MoveResult::kStillMoving;
  }
  switch (mount->WaitPulse(ms + kPulseGraceMs)) {
    case PulseEnd::kDone:
      // The pulse took its time on the mount; a virtual clock learns of it here.
      corvex.clock.SleepUntil(end);
      return MoveResult::kDone;
    case PulseEnd::kTimedOut: {
      mount->Abort();
      char text[256];
      std::snprintf(text, sizeof text,
                    "The INDI mount %s did not finish a %d ms guide pulse within %d s. It was "
                    "told to stop; check the mount and start again.",
                    mount->Name().c_str(), ms, (ms + kPulseGraceMs) / 1000);
      ShowMessage(corvex.host, kFreeTextMessage, text);
      return MoveResult::kStillMoving;
    }
    case PulseEnd::kLost:
      break;
  }
  // Where only the mount went away, the server still carries an abort to it.
  mount->Abort();
  ShowMessage(corvex.host, kFreeTextMessage, LostText(*mount));
  return MoveResult::kStillMoving;
}

MoveResult TimedRelayMove(Corvex& corvex) {
  switch (PulseGuideRelays(corvex.camera, RelayMask(corvex.telescope.moveDirection),
                           corvex.telescope.moveDurationMs)) {
    case PulseOutcome::kDone:
      return MoveResult::kDone;
    case PulseOutcome::kNotMade:
      return MoveResult::kNotMade;
    case PulseOutcome::kStillMoving:
      break;
  }
  return MoveResult::kStillMoving;
}

void StartRelayMove(Corvex& corvex) {
  CloseGuideRelays(corvex.camera, RelayMask(corvex.telescope.moveDirection));
}

bool StopRelayMove(Corvex& corvex) {
  return ReleaseGuideRelays(corvex.camera);
}

// (The host serial library's receive-buffer clear of the original concerns a port this
// program never opens, so there is nothing to clear between the commands.)
void StartScopeSlew(Corvex& corvex) {
  if (MountMethod(corvex)) {
    // The letter of "#:Mx#" is the direction.
    if (ConnectMount(corvex)) corvex.mount->StartMotion(corvex.telescope.moveCommand[3]);
    return;
  }
  SendScopeCommand(corvex, corvex.telescope.rateCommand);
  SendScopeCommand(corvex, corvex.telescope.moveCommand);
}

bool StopScopeSlew(Corvex& corvex) {
  corvex.telescope.slewing = false;
  if (MountMethod(corvex)) {
    if (corvex.mount && corvex.mount->StopMotion()) return true;
    ShowMessage(corvex.host, kFreeTextMessage, kStillMovingMessage);
    return false;
  }
  bool stopped = true;
  for (const char* stop : {"#:Qn#", "#:Qs#", "#:Qe#", "#:Qw#"}) {
    stopped = SendStopCommand(corvex, stop) && stopped;
  }
  return stopped;
}

void StartFocus(Corvex& corvex) {
  SendScopeCommand(corvex, corvex.telescope.focusSpeedCommand);
  SendScopeCommand(corvex, corvex.telescope.focusMoveCommand);
}

bool StopFocus(Corvex& corvex) {
  corvex.telescope.slewing = false;
  return SendStopCommand(corvex, "#:FQ#");
}

bool GoToCatalogueObject(Corvex& corvex, char kind, int number) {
  if (number < 0 || number > 9999) return false;
  const unsigned faults = corvex.camera.transferFaults;
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
  return corvex.camera.transferFaults == faults;
}

bool GoToCoordinates(Corvex& corvex, int raHours, int raMinutes, int decDegrees, int decMinutes,
                     bool decSouth) {
  if (raHours < 0 || raHours > 23 || raMinutes < 0 || raMinutes > 59 || decDegrees < -90 ||
      decDegrees > 90 || decMinutes < 0 || decMinutes > 59) {
    return false;
  }
  const unsigned faults = corvex.camera.transferFaults;
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
  return corvex.camera.transferFaults == faults;
}

bool GoToMountJ2000(Corvex& corvex, const SkyPosition& j2000, const std::string& name) {
  if (!ConnectMount(corvex)) return false;
  const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  const SkyPosition ofDate = PrecessFromJ2000(j2000, JulianDateOfUnixMs(now));
  corvex.telescope.slewReplyText.clear();
  if (!corvex.mount->GoTo(ofDate)) {
    ShowMessage(corvex.host, kFreeTextMessage, LostText(*corvex.mount));
    return false;
  }
  corvex.telescope.scopeInfoText =
      (name.empty() ? std::string() : name + " ") + "going to " + SkyPositionText(ofDate);
  corvex.host.Beep(kBeepOk);
  return true;
}

bool ReadMountInfo(Corvex& corvex) {
  if (!ConnectMount(corvex)) return false;
  const std::optional<SkyPosition> at = corvex.mount->Position();
  if (!at) return false;
  corvex.telescope.scopeInfoText = SkyPositionText(*at);
  return true;
}

bool AbortMount(Corvex& corvex) {
  corvex.telescope.slewing = false;
  return corvex.mount && corvex.mount->Abort();
}

std::string SkyPositionText(const SkyPosition& position) {
  const long raSeconds = std::lround(position.raHours * 3600) % 86400;
  const long decSeconds = std::lround(std::abs(position.decDegrees) * 3600);
  char text[64];
  std::snprintf(text, sizeof text, "RA %02ldh%02ldm%02lds Dec %c%02ld %02ld' %02ld\"",
                raSeconds / 3600, raSeconds / 60 % 60, raSeconds % 60,
                position.decDegrees < 0 ? '-' : '+', decSeconds / 3600, decSeconds / 60 % 60,
                decSeconds % 60);
  return text;
}

}  // namespace corvex
