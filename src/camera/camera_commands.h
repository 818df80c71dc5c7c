// The camera's request set: every request block the program sends, the exposures built from
// them, and how the replies are laid into the image store.
//
// A request block is an 8-byte little-endian header (type 0x40, request, value, index, data
// length) followed by its data. The waits here do not pump events; the capture run pumps
// between its own steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "state/image_store.h"

namespace corvex {

struct Corvex;

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

inline constexpr int kDelayedReadoutLimitMs = 1000;  // up to this the delay travels in the request
inline constexpr std::size_t kFullFrameBytes = 290000;
inline constexpr std::size_t kWindowBytes = 32768;  // 128 x 128 values
inline constexpr std::size_t kGuiderReplyBytes = 145000;
inline constexpr std::size_t kSerialDataLimit = 56;  // what fits behind the header
inline constexpr int kFrameMarginValues = 6;         // zero values either side of a camera row
// How often the focus frame's wait repeats its register clear.
inline constexpr int kFocusClearIntervalMs = 5;

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

// The focus peak of a 128 x 128 window at the start of `image`: the largest value in rows
// 12-125, columns 5-125 whose upper neighbour is also above the peak so far, so that a lone
// hot pixel never counts.
int FocusPeak(const ImageBuffer& image);

// Multiplies every value by `factor`, 65535 and above becoming 65535.
void ApplyGain(std::span<std::uint16_t> values, int factor);

// Gain factors of the self-guiding window (12-15: 16, 8, 4, 2) and of the guider frame
// (5-7: 8, 4, 2); any other setting means 1.
int GuideWindowGainFactor(int guideWindowGain);
int GuiderGainFactor(int guiderGain);

// value - dark where that is positive, else 0.
void SubtractGuiderDark(GuiderBuffer& image, const GuiderBuffer& dark);

// The guider's hot-pixel filter: an interior pixel that differs from its 3 x 3 median by more
// than 0.6 of the neighbourhood's range becomes the median. The result goes to `scratch`
// and is then copied back into `image`; the border rows and columns keep their values.
void FilterGuiderHotPixels(GuiderBuffer& image, GuiderBuffer& scratch);

// ---- Requests ----

void ClearRegister(Corvex& corvex);  // clears without ending the exposure in progress
void ClearSensor(Corvex& corvex);    // starts an exposure from a clean sensor
void SetGuideRelays(Corvex& corvex, std::uint8_t mask);
// Sends the first `count` bytes of `text` (at most 56) to camera serial port `port`.
void SerialWrite(Corvex& corvex, std::uint16_t port, std::string_view text, std::size_t count);
// Asks serial port `port` for `count` bytes; they land at the start of the receive buffer.
// Returns how many arrived.
std::size_t SerialRead(Corvex& corvex, std::uint16_t port, std::size_t count);
// Moves the filter wheel to position 1-7. Any other position sends nothing and returns false:
// an unknown position byte would send a real wheel somewhere.
bool SelectFilter(Corvex& corvex, int position);

// ---- Exposures ----

// Reads the whole sensor into currentImage (the exposure is already running). Returns false
// when the request could not be sent or the frame came back short; the link has reported it,
// and what did not arrive reads 0. Callers that keep a frame check the result.
bool ReadFullFrame(Corvex& corvex);
// A whole-frame exposure of exposureMs from a clean sensor, waited out without pumping the
// Host (a first frame to pick a guide star on). False as for ReadFullFrame; currentImage then
// keeps the image it held before.
bool ExposeFullFrame(Corvex& corvex);
// 128 x 128 windows at focusLeft, focusTop into the start of currentImage (stride 128).
// False when the window did not arrive whole (the missing part reads 0).
bool ReadFocusWindow(Corvex& corvex);
bool ReadGuideWindow(Corvex& corvex);
// What FocusExposure returns when the focus window could not be read.
inline constexpr int kFocusFrameFailed = -1;
// One focus frame; returns and stores focusPeak. A frame that did not arrive whole returns
// kFocusFrameFailed and leaves focusPeak and the image as they were.
int FocusExposure(Corvex& corvex);
// One focus-window frame for measuring a star; no peak. False as for ReadFocusWindow.
bool StarWindowExposure(Corvex& corvex);
// One self-guiding window frame during a main exposure, with the window gain. False as for
// ReadGuideWindow.
bool SelfGuideWindowExposure(Corvex& corvex, bool firstHalfRead);
// A guider readout left unused in the receive buffer, then two guider clears.
void GuiderClear(Corvex& corvex);
// One guider frame into guiderImage, with dark, hot-pixel filter and gain as set. False when
// the frame did not arrive whole: what is missing reads 0, so that guiding loses its star
// instead of measuring an old frame; a caller that keeps frames must not keep this one.
bool GuiderExposure(Corvex& corvex);

}  // namespace corvex
