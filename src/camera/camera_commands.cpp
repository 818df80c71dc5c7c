#include "camera/camera_commands.h"

#include <algorithm>
#include <array>
#include <vector>

#include "camera/camera_link.h"
#include "corvex.h"
#include "platform/byte_order.h"
#include "processing/kernels/median.h"
#include "state/exposure.h"

namespace corvex {

namespace {

constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kWholeBlock = 64;
constexpr std::size_t kSerialWriteZeroBytes = 24;
constexpr std::uint16_t kDelayedWindowLength = 14;
constexpr std::uint16_t kWindowLength = 10;
constexpr int kWindowSize = 128;
constexpr int kReadoutTimeProbe = 3000;  // readoutTimeMs is measured while it holds this value
constexpr int kUndelayedReadout = kDelayedReadoutLimitMs + 1;  // a delay that selects request 3

std::span<std::uint8_t, 64> Block(Corvex& corvex) {
  return std::span<std::uint8_t, 64>(corvex.store.commandBlock);
}

void Send(Corvex& corvex, std::size_t bytes) {
  corvex.camera.transferByteCount = bytes;
  WriteCommand(corvex.camera, corvex.store);
}

// Reads `bytes` into the receive buffer. What did not arrive is zeroed, so that a short reply
// never passes off part of an earlier frame as part of this one.
std::size_t Receive(Corvex& corvex, std::size_t bytes) {
  corvex.camera.transferByteCount = bytes;
  const std::size_t got = std::min(ReadReply(corvex.camera, corvex.store), bytes);
  std::fill(corvex.store.usbReceiveBuffer.begin() + got,
            corvex.store.usbReceiveBuffer.begin() + bytes, 0);
  return got;
}

std::span<const std::uint8_t> Received(const Corvex& corvex, std::size_t bytes) {
  return std::span<const std::uint8_t>(corvex.store.usbReceiveBuffer.data(), bytes);
}

// Sends a request; true when every byte of it went out.
bool SendAll(Corvex& corvex, std::size_t bytes) {
  Send(corvex, bytes);
  return corvex.camera.bytesWritten == bytes;
}

// The focus and guide windows; only the focus window starts from a zeroed block. What did not
// arrive reads 0 (a guide star is then lost rather than measured on an old window).
bool ReadWindow(Corvex& corvex, int exposureMs, std::size_t zeroBytes) {
  const ProgramState& state = corvex.state;
  const ReadoutWindow window{static_cast<std::uint16_t>(state.focusLeft),
                             static_cast<std::uint16_t>(state.focusTop), kWindowSize, kWindowSize};
  const bool sent = SendAll(corvex, BuildReadoutRequest(Block(corvex), zeroBytes, state.fieldSelect,
                                                        kMainCamera, window, exposureMs));
  const std::size_t got = Receive(corvex, kWindowBytes);
  const std::uint8_t* in = corvex.store.usbReceiveBuffer.data();
  for (std::size_t i = 0; i < kWindowBytes / 2; ++i) {
    corvex.store.currentImage[i] = LoadLe16(in + 2 * i);
  }
  return sent && got == kWindowBytes;
}

bool WindowExposure(Corvex& corvex, int waitFromMs, bool clearWhileWaiting) {
  ProgramState& state = corvex.state;
  state.exposureMs = ShortExposureMs(state.exposureValue, state.exposureUnit);
  ClearRegister(corvex);
  ClearSensor(corvex);
  const std::int64_t end = corvex.clock.NowMs() + state.exposureMs;
  if (state.exposureMs >= waitFromMs) {
    if (clearWhileWaiting) {
      while (corvex.clock.NowMs() < end) {
        ClearRegister(corvex);
        corvex.clock.SleepUntil(std::min(end, corvex.clock.NowMs() + kFocusClearIntervalMs));
      }
    } else {
      corvex.clock.SleepUntil(end);
    }
  }
  return ReadFocusWindow(corvex);
}

// With `discard` the frame is read off the camera (which empties the sensor) but not kept.
bool GuiderReadout(Corvex& corvex, bool discard = false) {
  const ReadoutWindow frame{0, 0, kReadoutWidth, kImageRows};
  const bool sent = SendAll(corvex, BuildReadoutRequest(Block(corvex), kWholeBlock, kGuiderField,
                                                        kGuiderCamera, frame, kUndelayedReadout));
  if (discard) {
    corvex.camera.transferByteCount = kGuiderReplyBytes;
    return ReadReply(corvex.camera, corvex.store, true) == kGuiderReplyBytes && sent;
  }
  return Receive(corvex, kGuiderReplyBytes) == kGuiderReplyBytes && sent;
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

int FocusPeak(const ImageBuffer& image) {
  int peak = 0;
  for (int row = 12; row <= 125; ++row) {
    for (int col = 5; col <= 125; ++col) {
      const int value = image[row * kWindowSize + col];
      const int above = image[(row - 1) * kWindowSize + col];
      if (value > peak && above > peak) peak = value;
    }
  }
  return peak;
}

void ApplyGain(std::span<std::uint16_t> values, int factor) {
  for (std::uint16_t& v : values) {
    v = static_cast<std::uint16_t>(std::min<long>(static_cast<long>(v) * factor, 65535));
  }
}

int GuideWindowGainFactor(int guideWindowGain) {
  switch (guideWindowGain) {
    case 12:
      return 16;
    case 13:
      return 8;
    case 14:
      return 4;
    case 15:
      return 2;
    default:
      return 1;
  }
}

int GuiderGainFactor(int guiderGain) {
  switch (guiderGain) {
    case 5:
      return 8;
    case 6:
      return 4;
    case 7:
      return 2;
    default:
      return 1;
  }
}

void SubtractGuiderDark(GuiderBuffer& image, const GuiderBuffer& dark) {
  for (int i = 0; i < kGuiderValues; ++i) {
    image[i] = image[i] > dark[i] ? static_cast<std::uint16_t>(image[i] - dark[i]) : 0;
  }
}

void FilterGuiderHotPixels(GuiderBuffer& image, GuiderBuffer& scratch) {
  std::copy(image.begin(), image.end(), scratch.begin());
  // int(float(range) x 0.6f) < distance is 3 x range < 5 x distance for every 16-bit range.
  kernels::ThresholdedMedian(image.data(), scratch.data(), kReadoutWidth, kImageRows, 1, 0, 3, 5);
  std::copy(scratch.begin(), scratch.end(), image.begin());
}

void ClearRegister(Corvex& corvex) {
  Send(corvex, BuildRequestHeader(Block(corvex), kHeaderBytes, kRequestClear, kClearKeepExposure,
                                  kMainCamera, 0));
}

void ClearSensor(Corvex& corvex) {
  Send(corvex, BuildRequestHeader(Block(corvex), kHeaderBytes, kRequestClear, 0, kMainCamera, 0));
}

void SetGuideRelays(Corvex& corvex, std::uint8_t mask) {
  Send(corvex,
       BuildRequestHeader(Block(corvex), kHeaderBytes, kRequestGuideRelays, mask, kMainCamera, 0));
}

void SerialWrite(Corvex& corvex, std::uint16_t port, std::string_view text, std::size_t count) {
  count = std::min({count, text.size(), kSerialDataLimit});
  auto block = Block(corvex);
  const std::size_t bytes = BuildRequestHeader(block, kSerialWriteZeroBytes, kRequestSerialWrite, 0,
                                               port, static_cast<std::uint16_t>(count));
  std::copy_n(text.begin(), count, block.begin() + kHeaderBytes);
  Send(corvex, bytes);
}

std::size_t SerialRead(Corvex& corvex, std::uint16_t port, std::size_t count) {
  count = std::min<std::size_t>(count, kReceiveBufferBytes);
  BuildRequestHeader(Block(corvex), kWholeBlock, kRequestSerialRead, 0, port,
                     static_cast<std::uint16_t>(count));
  Send(corvex, kHeaderBytes);
  return Receive(corvex, count);
}

bool SelectFilter(Corvex& corvex, int position) {
  if (position < 1 || position > 7) return false;
  const char bytes[4] = {static_cast<char>(0xA5), 0x01, static_cast<char>(position),
                         static_cast<char>(0xA6 + position)};
  SerialWrite(corvex, static_cast<std::uint16_t>(corvex.state.filterWheelPort),
              std::string_view(bytes, 4), 4);
  return true;
}

bool ReadFullFrame(Corvex& corvex) {
  ProgramState& state = corvex.state;
  const ReadoutWindow frame{0, 0, kReadoutWidth, kImageRows};
  const bool sent =
      SendAll(corvex, BuildReadoutRequest(Block(corvex), kWholeBlock, state.fieldSelect,
                                          kMainCamera, frame, state.exposureMs));
  const bool measure = state.readoutTimeMs == kReadoutTimeProbe && state.exposureMs > 500;
  const std::int64_t before = corvex.clock.NowMs();
  const std::size_t got = Receive(corvex, kFullFrameBytes);
  if (measure) state.readoutTimeMs = static_cast<int>(corvex.clock.NowMs() - before);
  LayFullFrame(Received(corvex, kFullFrameBytes), corvex.store.currentImage);
  return sent && got == kFullFrameBytes;
}

bool ExposeFullFrame(Corvex& corvex) {
  corvex.state.fieldSelect = 3;
  ClearRegister(corvex);
  ClearSensor(corvex);
  corvex.clock.SleepFor(corvex.state.exposureMs);
  ImageBuffer& image = corvex.store.currentImage;
  const std::vector<std::uint16_t> before(image.begin(), image.begin() + kImageValues);
  if (ReadFullFrame(corvex)) return true;
  std::copy(before.begin(), before.end(), image.begin());
  return false;
}

bool ReadFocusWindow(Corvex& corvex) {
  return ReadWindow(corvex, corvex.state.exposureMs, kWholeBlock);
}

bool ReadGuideWindow(Corvex& corvex) {
  return ReadWindow(corvex, corvex.state.guideExposureMs, 0);
}

int FocusExposure(Corvex& corvex) {
  ImageBuffer& image = corvex.store.currentImage;
  const std::vector<std::uint16_t> before(image.begin(), image.begin() + kWindowBytes / 2);
  if (!WindowExposure(corvex, kUndelayedReadout, true)) {
    std::copy(before.begin(), before.end(), image.begin());
    return kFocusFrameFailed;
  }
  corvex.state.focusPeak = FocusPeak(image);
  return corvex.state.focusPeak;
}

bool StarWindowExposure(Corvex& corvex) {
  return WindowExposure(corvex, 500, false);
}

bool SelfGuideWindowExposure(Corvex& corvex, bool firstHalfRead) {
  ProgramState& state = corvex.state;
  ClearRegister(corvex);
  const std::int64_t end = corvex.clock.NowMs() + state.guideExposureMs;
  if (state.guideExposureMs >= 1000) corvex.clock.SleepUntil(end);
  state.fieldSelect = firstHalfRead ? 1 : 2;
  const bool read = ReadGuideWindow(corvex);
  if (!state.displayStretchActive && state.guideWindowGain != 16) {
    ApplyGain(std::span(corvex.store.currentImage.data(), kWindowBytes / 2),
              GuideWindowGainFactor(state.guideWindowGain));
  }
  return read;
}

void GuiderClear(Corvex& corvex) {
  GuiderReadout(corvex, true);
  for (int i = 0; i < 2; ++i) {
    Send(corvex,
         BuildRequestHeader(Block(corvex), kHeaderBytes, kRequestClear, 0, kGuiderCamera, 0));
  }
}

bool GuiderExposure(Corvex& corvex) {
  ProgramState& state = corvex.state;
  ImageStore& store = corvex.store;
  const int exposureMs = GuiderExposureMs(state.guiderExposureValue, state.guiderExposureUnit);
  GuiderClear(corvex);
  corvex.clock.SleepUntil(corvex.clock.NowMs() + exposureMs);
  const bool read = GuiderReadout(corvex);
  // The guider sends 8-bit values: each byte is the high byte of a sample.
  for (int i = 0; i < kGuiderValues; ++i) {
    store.guiderImage[i] = static_cast<std::uint16_t>(store.usbReceiveBuffer[i] << 8);
  }
  if (state.guiderDarkSubtract && !state.guiderDarkInProgress) {
    SubtractGuiderDark(store.guiderImage, store.guiderDark);
  }
  if (state.guiderHotPixelFilter) FilterGuiderHotPixels(store.guiderImage, store.guiderScratch);
  if (state.guiderGain != 8) {
    ApplyGain(store.guiderImage.span(), GuiderGainFactor(state.guiderGain));
  }
  return read;
}

}  // namespace corvex
