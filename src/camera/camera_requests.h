// The camera's request set: every request block the program sends, and how the replies of the
// readouts are laid into image buffers.
//
// A request block is an 8-byte little-endian header (type 0x40, request, value, index, data
// length) followed by its data. Every request goes out through one camera session
// (CameraLink) and says nothing about the program around it: the caller passes the field,
// the window, the delay and the buffer the frame lands in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "state/image_store.h"

namespace corvex {

struct CameraLink;

inline constexpr std::uint8_t kRequestType = 0x40;
inline constexpr std::uint8_t kRequestClear = 1;
inline constexpr std::uint8_t kRequestDelayedReadout = 2;
inline constexpr std::uint8_t kRequestReadout = 3;
inline constexpr std::uint8_t kRequestGuideRelays = 9;
inline constexpr std::uint8_t kRequestSerialWrite = 10;
inline constexpr std::uint8_t kRequestSerialRead = 11;

inline constexpr std::uint8_t kClearKeepExposure = 8;  // value of the register clear
inline constexpr std::uint16_t kMainCamera = 0;
inline constexpr std::uint16_t kGuiderCamera = 1;
inline constexpr std::uint8_t kGuiderField = 3;
// The readout fields: the whole frame, or the halves of an interlaced exposure.
inline constexpr std::uint8_t kWholeFrameField = 3;
inline constexpr std::uint8_t kFirstHalfField = 1;
inline constexpr std::uint8_t kSecondHalfField = 2;

inline constexpr int kDelayedReadoutLimitMs = 1000;  // up to this the delay travels in the request
// A delay that selects the undelayed readout (request 3): the exposure was timed here.
inline constexpr int kUndelayedReadout = kDelayedReadoutLimitMs + 1;
inline constexpr std::size_t kFullFrameBytes = 290000;
inline constexpr std::size_t kWindowBytes = 32768;  // 128 x 128 values
inline constexpr std::size_t kGuiderReplyBytes = 145000;
inline constexpr std::size_t kSerialDataLimit = 56;  // what fits behind the header
inline constexpr int kFrameMarginValues = 6;         // zero values either side of a camera row

// Relay bits of the guide-relay request.
inline constexpr std::uint8_t kRelayWest = 0x01;
inline constexpr std::uint8_t kRelaySouth = 0x02;
inline constexpr std::uint8_t kRelayNorth = 0x04;
inline constexpr std::uint8_t kRelayEast = 0x08;

struct ReadoutWindow {
  std::uint16_t x = 0;
  std::uint16_t y = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
};

// ---- Building blocks (pure) ----

// Zeroes the first `zeroBytes` of the block and writes the header. Returns 8 + dataLength,
// the bytes the request takes on the wire.
std::size_t BuildRequestHeader(std::span<std::uint8_t, 64> block, std::size_t zeroBytes,
                               std::uint8_t request, std::uint8_t value, std::uint16_t index,
                               std::uint16_t dataLength);

// A readout request: request 2 with the delay when delayMs is at most 1000, else request 3.
// The block is zeroed over `zeroBytes` first. Returns the bytes to write (22 or 18).
std::size_t BuildReadoutRequest(std::span<std::uint8_t, 64> block, std::size_t zeroBytes,
                                std::uint8_t field, std::uint16_t index,
                                const ReadoutWindow& window, int delayMs);

// A 500 x 290 readout into the stored layout: each row gets 6 zero values, its 500 values as
// received (little-endian) and 6 more zero values, at a stride of 512.
void LayFullFrame(std::span<const std::uint8_t> received, ImageBuffer& image);

// ---- Requests ----

void ClearRegister(CameraLink& camera);  // clears without ending the exposure in progress
void ClearSensor(CameraLink& camera);    // starts an exposure from a clean sensor
void ClearGuiderSensor(CameraLink& camera);
void SetGuideRelays(CameraLink& camera, std::uint8_t mask);
// Sends the first `count` bytes of `text` (at most 56) to camera serial port `port`.
void SerialWrite(CameraLink& camera, std::uint16_t port, std::string_view text,
                 std::size_t count);
// Asks serial port `port` for `count` bytes; they land at the start of the receive buffer.
// Returns how many arrived.
std::size_t SerialRead(CameraLink& camera, std::uint16_t port, std::size_t count);
// Moves the filter wheel on serial port `port` to position 1-7. Any other position sends
// nothing and returns false: an unknown position byte would send a real wheel somewhere.
bool SelectFilter(CameraLink& camera, std::uint16_t port, int position);

// ---- Readouts ----
// Each returns false when the request could not be sent or the reply came back short; the
// link has reported it, and what did not arrive reads 0, so that a short reply never passes
// off part of an earlier frame as part of this one.

// The whole sensor (or one field of it) into `image`, 500 x 290 in the padded layout; the
// delay travels in the request up to 1000 ms. `receiveMs`, when given, is how long the reply
// took to arrive.
bool ReadFullFrame(CameraLink& camera, std::uint8_t field, int delayMs, ImageBuffer& image,
                   std::int64_t* receiveMs = nullptr);
// A 128 x 128 window with its top-left corner at (left, top) into the start of `image`
// (stride 128). The focus window's request starts from a zeroed block, the guide window's
// from the block as the last request left it.
bool ReadFocusWindow(CameraLink& camera, std::uint8_t field, int left, int top, int delayMs,
                     ImageBuffer& image);
bool ReadGuideWindow(CameraLink& camera, std::uint8_t field, int left, int top, int delayMs,
                     ImageBuffer& image);
// The guider camera's 500 x 290 frame of 8-bit values, left in the receive buffer.
bool ReadGuiderFrame(CameraLink& camera);

}  // namespace corvex
