// The camera's four guide relays as a device operation: a pulse in one direction for a given
// time, released whatever happened, so that a mount is never left moving unnoticed.
#pragma once

#include <cstdint>

namespace corvex {

struct CameraLink;

// The relay bit of a direction letter: w 0x01, s 0x02, n 0x04, e 0x08; 0 for anything else.
// A front end that swaps directions (east and west, north and south) passes the letter its
// own direction table gives.
std::uint8_t RelayMask(char direction);

// How a pulse ended.
enum class PulseOutcome {
  kDone,         // the relays closed, were held for the time and released
  kNotMade,      // the relays could not be closed (they were released all the same)
  kStillMoving,  // the release could not be sent: the mount may still be moving
};

// How many times a release is sent before the pulse gives up on it, and how long apart; then
// the user is told (through the session's host) that the mount may still be moving.
inline constexpr int kRelayReleaseAttempts = 3;
inline constexpr int kRelayReleaseRetryMs = 20;
inline constexpr const char* kStillMovingMessage =
    "The telescope could not be told to stop - it may still be moving";

// Waits 10 ms, closes the relays of `mask` for `durationMs` on the session's clock, then
// opens them all (tried kRelayReleaseAttempts times) and lets the mount settle for 300 ms.
// Failed transfers are reported by the link, a release that never went out as above.
PulseOutcome PulseGuideRelays(CameraLink& camera, std::uint8_t mask, std::uint32_t durationMs);

// Closes the relays of `mask` after 1 ms and returns at once: an open-ended move (a panel
// arrow held down) that ReleaseGuideRelays ends.
void CloseGuideRelays(CameraLink& camera, std::uint8_t mask);
// Opens every relay, tried kRelayReleaseAttempts times; false (after the message) when it
// never went out.
bool ReleaseGuideRelays(CameraLink& camera);

}  // namespace corvex
