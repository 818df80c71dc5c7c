// Guide relay pulses on the camera session's clock.
#include "camera/guide_relays.h"

#include "camera/camera_link.h"
#include "camera/camera_requests.h"
#include "platform/clock.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr int kRelayLeadMs = 10;
constexpr int kRelaySettleMs = 300;

// Sets the relays; false when the request did not go out whole.
bool SetRelays(CameraLink& camera, std::uint8_t mask) {
  const unsigned before = camera.transferFaults;
  SetGuideRelays(camera, mask);
  return camera.transferFaults == before;
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

bool ReleaseGuideRelays(CameraLink& camera) {
  for (int attempt = 0; attempt < kRelayReleaseAttempts; ++attempt) {
    if (attempt > 0) camera.clock.SleepFor(kRelayReleaseRetryMs);
    if (SetRelays(camera, 0)) return true;
  }
  ShowMessage(camera.host, kFreeTextMessage, kStillMovingMessage);
  return false;
}

PulseOutcome PulseGuideRelays(CameraLink& camera, std::uint8_t mask, std::uint32_t durationMs) {
  Clock& clock = camera.clock;
  clock.SleepFor(kRelayLeadMs);
  const std::int64_t start = clock.NowMs();
  const bool started = SetRelays(camera, mask);
  if (started) clock.SleepUntil(start + durationMs);
  const bool released = ReleaseGuideRelays(camera);
  clock.SleepFor(kRelaySettleMs);
  if (!released) return PulseOutcome::kStillMoving;
  return started ? PulseOutcome::kDone : PulseOutcome::kNotMade;
}

void CloseGuideRelays(CameraLink& camera, std::uint8_t mask) {
  camera.clock.SleepFor(1);
  SetGuideRelays(camera, mask);
}

}  // namespace corvex
