#include "camera/camera_requests.h"

#include <algorithm>

#include "camera/camera_link.h"
#include "platform/byte_order.h"
#include "platform/clock.h"

namespace corvex {

namespace {

constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kWholeBlock = 64;
constexpr std::size_t kSerialWriteZeroBytes = 24;
constexpr std::uint16_t kDelayedWindowLength = 14;
constexpr std::uint16_t kWindowLength = 10;
constexpr int kWindowSize = 128;

std::span<std::uint8_t, 64> Block(CameraLink& camera) {
  return std::span<std::uint8_t, 64>(camera.commandBlock);
}

void Send(CameraLink& camera, std::size_t bytes) {
  camera.transferByteCount = bytes;
  WriteCommand(camera);
}

// Reads `bytes` into the receive buffer. What did not arrive is zeroed, so that a short reply
// never passes off part of an earlier frame as part of this one.
std::size_t Receive(CameraLink& camera, std::size_t bytes) {
  camera.transferByteCount = bytes;
  const std::size_t got = std::min(ReadReply(camera), bytes);
  std::fill(camera.usbReceiveBuffer.begin() + got, camera.usbReceiveBuffer.begin() + bytes, 0);
  return got;
}

// Sends a request; true when every byte of it went out.
bool SendAll(CameraLink& camera, std::size_t bytes) {
  Send(camera, bytes);
  return camera.bytesWritten == bytes;
}

// The focus and guide windows. What did not arrive reads 0 (a guide star is then lost rather
// than measured on an old window).
bool ReadWindow(CameraLink& camera, std::uint8_t field, int left, int top, int delayMs,
                std::size_t zeroBytes, ImageBuffer& image) {
  const ReadoutWindow window{static_cast<std::uint16_t>(left), static_cast<std::uint16_t>(top),
                             kWindowSize, kWindowSize};
  const bool sent = SendAll(
      camera, BuildReadoutRequest(Block(camera), zeroBytes, field, kMainCamera, window, delayMs));
  const std::size_t got = Receive(camera, kWindowBytes);
  const std::uint8_t* in = camera.usbReceiveBuffer.data();
  for (std::size_t i = 0; i < kWindowBytes / 2; ++i) image[i] = LoadLe16(in + 2 * i);
  return sent && got == kWindowBytes;
}

}  // namespace

std::size_t BuildRequestHeader(std::span<std::uint8_t, 64> block, std::size_t zeroBytes,
                               std::uint8_t request, std::uint8_t value, std::uint16_t index,
                               std::uint16_t dataLength) {
  std::fill_n(block.begin(), std::min(zeroBytes, block.size()), 0);
  block[0] = kRequestType;
  block[1] = request;
  StoreLe16(&block[2], value);
  StoreLe16(&block[4], index);
  StoreLe16(&block[6], dataLength);
  return kHeaderBytes + dataLength;
}

std::size_t BuildReadoutRequest(std::span<std::uint8_t, 64> block, std::size_t zeroBytes,
                                std::uint8_t field, std::uint16_t index,
                                const ReadoutWindow& window, int delayMs) {
  const bool delayed = delayMs <= kDelayedReadoutLimitMs;
  const std::size_t bytes =
      BuildRequestHeader(block, zeroBytes, delayed ? kRequestDelayedReadout : kRequestReadout,
                         field, index, delayed ? kDelayedWindowLength : kWindowLength);
  StoreLe16(&block[8], window.x);
  StoreLe16(&block[10], window.y);
  StoreLe16(&block[12], window.width);
  StoreLe16(&block[14], window.height);
  block[16] = 1;  // binning 1 x 1
  block[17] = 1;
  if (delayed) StoreLe16(&block[18], static_cast<std::uint16_t>(std::max(delayMs, 0)));
  return bytes;
}

void LayFullFrame(std::span<const std::uint8_t> received, ImageBuffer& image) {
  for (int row = 0; row < kImageRows; ++row) {
    std::uint16_t* out = image.data() + row * kImageStride;
    const std::uint8_t* in = received.data() + row * kReadoutWidth * 2;
    std::fill_n(out, kFrameMarginValues, 0);
    for (int col = 0; col < kReadoutWidth; ++col) {
      out[kFrameMarginValues + col] = LoadLe16(in + 2 * col);
    }
    std::fill(out + kFrameMarginValues + kReadoutWidth, out + kImageStride, 0);
  }
}

void ClearRegister(CameraLink& camera) {
  Send(camera, BuildRequestHeader(Block(camera), kHeaderBytes, kRequestClear, kClearKeepExposure,
                                  kMainCamera, 0));
}

void ClearSensor(CameraLink& camera) {
  Send(camera, BuildRequestHeader(Block(camera), kHeaderBytes, kRequestClear, 0, kMainCamera, 0));
}

void ClearGuiderSensor(CameraLink& camera) {
  Send(camera, BuildRequestHeader(Block(camera), kHeaderBytes, kRequestClear, 0, kGuiderCamera, 0));
}

void SetGuideRelays(CameraLink& camera, std::uint8_t mask) {
  Send(camera,
       BuildRequestHeader(Block(camera), kHeaderBytes, kRequestGuideRelays, mask, kMainCamera, 0));
}

void SerialWrite(CameraLink& camera, std::uint16_t port, std::string_view text,
                 std::size_t count) {
  count = std::min({count, text.size(), kSerialDataLimit});
  auto block = Block(camera);
  const std::size_t bytes = BuildRequestHeader(block, kSerialWriteZeroBytes, kRequestSerialWrite, 0,
                                               port, static_cast<std::uint16_t>(count));
  std::copy_n(text.begin(), count, block.begin() + kHeaderBytes);
  Send(camera, bytes);
}

std::size_t SerialRead(CameraLink& camera, std::uint16_t port, std::size_t count) {
  count = std::min<std::size_t>(count, kReceiveBufferBytes);
  BuildRequestHeader(Block(camera), kWholeBlock, kRequestSerialRead, 0, port,
                     static_cast<std::uint16_t>(count));
  Send(camera, kHeaderBytes);
  return Receive(camera, count);
}

bool SelectFilter(CameraLink& camera, std::uint16_t port, int position) {
  if (position < 1 || position > 7) return false;
  const char bytes[4] = {static_cast<char>(0xA5), 0x01, static_cast<char>(position),
                         static_cast<char>(0xA6 + position)};
  SerialWrite(camera, port, std::string_view(bytes, 4), 4);
  return true;
}

bool ReadFullFrame(CameraLink& camera, std::uint8_t field, int delayMs, ImageBuffer& image,
                   std::int64_t* receiveMs) {
  const ReadoutWindow frame{0, 0, kReadoutWidth, kImageRows};
  const bool sent = SendAll(
      camera, BuildReadoutRequest(Block(camera), kWholeBlock, field, kMainCamera, frame, delayMs));
  const std::int64_t before = camera.clock.NowMs();
  const std::size_t got = Receive(camera, kFullFrameBytes);
  if (receiveMs != nullptr) *receiveMs = camera.clock.NowMs() - before;
  LayFullFrame(std::span<const std::uint8_t>(camera.usbReceiveBuffer.data(), kFullFrameBytes),
               image);
  return sent && got == kFullFrameBytes;
}

bool ReadFocusWindow(CameraLink& camera, std::uint8_t field, int left, int top, int delayMs,
                     ImageBuffer& image) {
  return ReadWindow(camera, field, left, top, delayMs, kWholeBlock, image);
}

bool ReadGuideWindow(CameraLink& camera, std::uint8_t field, int left, int top, int delayMs,
                     ImageBuffer& image) {
  return ReadWindow(camera, field, left, top, delayMs, 0, image);
}

bool ReadGuiderFrame(CameraLink& camera) {
  const ReadoutWindow frame{0, 0, kReadoutWidth, kImageRows};
  const bool sent = SendAll(camera, BuildReadoutRequest(Block(camera), kWholeBlock, kGuiderField,
                                                        kGuiderCamera, frame, kUndelayedReadout));
  return Receive(camera, kGuiderReplyBytes) == kGuiderReplyBytes && sent;
}

}  // namespace corvex
