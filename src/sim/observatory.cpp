#include "sim/observatory.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "camera/camera_requests.h"
#include "platform/byte_order.h"

namespace corvex::sim {

namespace {

// LX200 slew rates as multiples of the guide rate.
constexpr double kCentreRate = 8;
constexpr double kFindRate = 64;
constexpr double kSlewRate = 400;

class SimulatedDevice final : public CameraDevice {
 public:
  explicit SimulatedDevice(std::shared_ptr<SimulatedObservatory> observatory)
      : observatory_(std::move(observatory)) {}
  TransferResult Write(std::span<const std::uint8_t> bytes) override {
    return observatory_->Write(bytes);
  }
  TransferResult Read(std::span<std::uint8_t> into) override { return observatory_->Read(into); }
  TransferResult Discard(std::size_t bytes) override { return observatory_->Discard(bytes); }
  int HandleNumber() const override { return 1001; }
  DeviceDescription Describe() override {
    return {0x5A51, 0x7E21, 0x0100, "Corvex simulator", "Simulated one-shot-colour camera"};
  }

 private:
  std::shared_ptr<SimulatedObservatory> observatory_;
};

class SimulatedEnumerator final : public DeviceEnumerator {
 public:
  explicit SimulatedEnumerator(std::shared_ptr<SimulatedObservatory> observatory)
      : observatory_(std::move(observatory)) {}
  bool Attach() override { return true; }
  std::optional<InterfaceEntry> Interface(int memberIndex) override {
    if (memberIndex != 0) return std::nullopt;
    return InterfaceEntry{true, kSimulatedDevicePath};
  }
  std::unique_ptr<CameraDevice> Open(const std::string& path) override {
    if (path != kSimulatedDevicePath) return nullptr;
    return std::make_unique<SimulatedDevice>(observatory_);
  }
  void Release() override {}

 private:
  std::shared_ptr<SimulatedObservatory> observatory_;
};

TransferResult Failed(int error) {
  return {false, 0, error};
}

}  // namespace

SimulatedObservatory::SimulatedObservatory(Clock& clock, const SimConfig& config)
    : clock_(clock),
      config_(config),
      sky_(MakeSky(config.seed)),
      mount_(config, clock.NowMs()),
      noise_(config.seed ^ 0xC0FFEEull),
      telescopeRatePxPerSec_(config.guideRatePxPerSec) {
  sensorClearMs_ = windowClearMs_ = guiderClearMs_ = clock.NowMs();
}

SensorPoint SimulatedObservatory::StarPosition(std::size_t index, bool guider) const {
  const auto& stars = guider ? sky_.guiderStars : sky_.mainStars;
  return StarOnSensor(stars.at(index), mount_.OffsetAt(clock_.NowMs()), guider, config_);
}

bool SimulatedObservatory::Disconnected() const {
  return config_.disconnectAfter > 0 && requests_ >= config_.disconnectAfter;
}

TransferResult SimulatedObservatory::Write(std::span<const std::uint8_t> bytes) {
  if (Disconnected()) return Failed(ENODEV);
  ++requests_;
  if (requests_ == config_.failWriteAt) return Failed(EIO);
  HandleRequest(bytes);
  return {true, bytes.size(), 0};
}

void SimulatedObservatory::HandleRequest(std::span<const std::uint8_t> block) {
  if (block.size() < 8 || block[0] != 0x40) return;
  const std::uint8_t request = block[1];
  const std::uint8_t value = block[2];
  const int index = LoadLe16(&block[4]);
  const std::size_t length = LoadLe16(&block[6]);
  const std::int64_t now = clock_.NowMs();

  switch (request) {
    case kRequestClear:
      if (index == 1) {
        guiderClearMs_ = now;
      } else if (value == kClearKeepExposure) {
        if (readSinceClear_) windowClearMs_ = now;
        readSinceClear_ = false;
      } else {
        sensorClearMs_ = windowClearMs_ = now;
        readSinceClear_ = false;
      }
      break;
    case kRequestDelayedReadout:
    case kRequestReadout: {
      if (block.size() < 18) return;
      FrameRequest frame;
      frame.guider = index == 1;
      frame.x = LoadLe16(&block[8]);
      frame.y = LoadLe16(&block[10]);
      frame.width = std::min<int>(LoadLe16(&block[12]), kSensorWidth);
      frame.height = std::min<int>(LoadLe16(&block[14]), kSensorHeight);
      frame.field = frame.guider ? 3 : value;
      const int delay =
          request == kRequestDelayedReadout && block.size() >= 20 ? LoadLe16(&block[18]) : 0;
      const bool fullFrame = frame.width == kSensorWidth && frame.height == kSensorHeight;
      frame.startMs = frame.guider ? guiderClearMs_ : fullFrame ? sensorClearMs_ : windowClearMs_;
      // The camera times a delayed readout from the clear that started the exposure: when the
      // program has already waited that long, the readout starts at once.
      frame.endMs = std::max(now, frame.startMs + delay);
      const int readoutMs = frame.guider ? config_.guiderReadoutMs
                            : fullFrame  ? config_.fullReadoutMs
                                         : config_.windowReadoutMs;
      frameReadyMs_ = frame.endMs + readoutMs;
      frame_ = frame;
      pending_ = Pending::kFrame;
      readouts_.push_back(frame);
      break;
    }
    case kRequestGuideRelays:
      relayMask_ = value;
      mount_.SetRelays(value, now);
      break;
    case kRequestSerialWrite:
      HandleSerialWrite(index, block.subspan(8, std::min(length, block.size() - 8)));
      break;
    case kRequestSerialRead:
      pending_ = Pending::kSerial;
      serialPort_ = index;
      serialCount_ = length;
      break;
    default:
      break;
  }
}

void SimulatedObservatory::HandleSerialWrite(int port, std::span<const std::uint8_t> data) {
  // The filter wheel's packet: A5 01 position checksum.
  if (data.size() == 4 && data[0] == 0xA5 && data[1] == 0x01 &&
      static_cast<std::uint8_t>(data[0] + data[1] + data[2]) == data[3]) {
    filterPosition_ = data[2];
    filterPort_ = port;
    return;
  }
  const std::string text(data.begin(), data.end());
  telescopeCommands_.push_back({port, text, clock_.NowMs()});
  // The camera keeps only the answer to the latest command: a reply nobody read is dropped.
  serialReplies_[port & 1].clear();
  // Commands look like "#:Mw#": split at '#' and drop the ':'.
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('#', start);
    if (end == std::string::npos) end = text.size();
    std::string command = text.substr(start, end - start);
    if (!command.empty() && command[0] == ':') command.erase(0, 1);
    if (!command.empty()) HandleTelescope(port, command);
    start = end + 1;
  }
}

void SimulatedObservatory::HandleTelescope(int port, const std::string& command) {
  const std::int64_t now = clock_.NowMs();
  auto& replies = serialReplies_[port & 1];
  const auto reply = [&replies](const std::string& text) {
    replies.insert(replies.end(), text.begin(), text.end());
  };
  const double guide = config_.guideRatePxPerSec;
  if (command == "RG") telescopeRatePxPerSec_ = guide;
  if (command == "RC") telescopeRatePxPerSec_ = guide * kCentreRate;
  if (command == "RM") telescopeRatePxPerSec_ = guide * kFindRate;
  if (command == "RS") telescopeRatePxPerSec_ = guide * kSlewRate;
  if (command.size() == 2 && command[0] == 'M' && command[1] != 'S') {
    mount_.StartMove(command[1], telescopeRatePxPerSec_, now);
  }
  if (command.size() == 2 && command[0] == 'Q') mount_.StopMove(command[1], now);
  if (command == "Q") {
    for (char d : {'n', 's', 'e', 'w'}) mount_.StopMove(d, now);
  }
  if (command.size() > 3 && command[0] == 'L' && command[2] == ' ') {
    target_ = command.substr(1, 1) + command.substr(3);
  }
  if (command.rfind("Sr ", 0) == 0 || command.rfind("Sd ", 0) == 0) target_ = command;
  if (command == "LI") {
    reply(target_ ? "SIM " + *target_ + " MAG 5.0 SZ 10.0'#" : "#");
  }
  if (command == "MS") reply(target_ ? "0" : "1No object selected#");
}

TransferResult SimulatedObservatory::Read(std::span<std::uint8_t> into) {
  return Transfer(into.data(), into.size());
}

TransferResult SimulatedObservatory::Discard(std::size_t bytes) {
  return Transfer(nullptr, bytes);
}

TransferResult SimulatedObservatory::Transfer(std::uint8_t* into, std::size_t length) {
  if (Disconnected()) return Failed(ENODEV);
  const Pending pending = pending_;
  pending_ = Pending::kNone;
  TransferResult result;
  if (pending == Pending::kFrame) {
    result = DeliverFrame(into, length);
  } else if (pending == Pending::kSerial) {
    if (into == nullptr) {
      std::vector<std::uint8_t> scratch(length);
      result = DeliverSerial(scratch);
    } else {
      result = DeliverSerial({into, length});
    }
  } else {
    return Failed(ETIMEDOUT);  // nothing was asked for: the read times out
  }
  ++reads_;
  if (reads_ == config_.shortReadAt) result.bytes /= 2;
  return result;
}

namespace {

constexpr int kWindowSide = 128;

// Where on the sensor a readout lands. The camera's 128 x 128 windows start at a column that
// is a multiple of three, two columns left of it, and six rows above the requested top: the
// offsets the guide window's placement allows for.
FrameRequest SensorWindow(const FrameRequest& request) {
  if (request.guider || request.width != kWindowSide || request.height != kWindowSide) {
    return request;
  }
  FrameRequest window = request;
  window.x = std::max(request.x - request.x % 3 - 2, 0);
  window.y = std::max(request.y - 6, 0);
  return window;
}

}  // namespace

TransferResult SimulatedObservatory::DeliverFrame(std::uint8_t* into, std::size_t length) {
  clock_.SleepUntil(frame_.endMs);
  // A discarded frame's bytes are never looked at, only its length: every guider exposure
  // starts with such a readout, and rendering it cost as much as the frame that follows.
  const FrameRequest window = SensorWindow(frame_);
  const std::size_t pixels = static_cast<std::size_t>(std::max(window.width, 0)) *
                             static_cast<std::size_t>(std::max(window.height, 0));
  if (into != nullptr) {
    RenderFrame(sky_, mount_, config_, window, noise_, frameValues_, renderBuffers_);
    ++renderedFrames_;
  }
  clock_.SleepUntil(frameReadyMs_);
  readSinceClear_ = true;
  std::size_t n = 0;
  if (frame_.guider) {
    // The guider sends one byte a pixel: the high byte of its value.
    n = std::min(pixels, length);
    if (into != nullptr) {
      // Through a local pointer: bytes written through `into` could alias the vector itself.
      const std::uint16_t* values = frameValues_.data();
      for (std::size_t i = 0; i < n; ++i) into[i] = static_cast<std::uint8_t>(values[i] >> 8);
    }
  } else {
    n = std::min(pixels * 2, length) / 2 * 2;
    if (into != nullptr) {
      const std::uint16_t* values = frameValues_.data();
      for (std::size_t i = 0; i < n / 2; ++i) StoreLe16(&into[2 * i], values[i]);
    }
  }
  return {true, n, 0};
}

TransferResult SimulatedObservatory::DeliverSerial(std::span<std::uint8_t> into) {
  const std::size_t n = std::min(serialCount_, into.size());
  auto& replies = serialReplies_[serialPort_ & 1];
  for (std::size_t i = 0; i < n; ++i) {
    if (config_.garbageSerial) {
      into[i] = static_cast<std::uint8_t>(noise_.Uniform() * 256);
    } else if (!replies.empty()) {
      into[i] = replies.front();
      replies.pop_front();
    } else {
      into[i] = '#';
    }
  }
  return {true, n, 0};
}

std::unique_ptr<DeviceEnumerator> MakeSimulatedEnumerator(
    std::shared_ptr<SimulatedObservatory> observatory) {
  return std::make_unique<SimulatedEnumerator>(std::move(observatory));
}

}  // namespace corvex::sim
