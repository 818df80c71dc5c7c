// Recording camera connection for the capture run tests.
#include "support/frame_recorder.h"

#include <string>

namespace corvex::testing {

namespace {

constexpr std::size_t kFullFrameReplyBytes = 290000;
constexpr int kRows = 290;
constexpr int kStride = 512;
constexpr int kWidth = 500;
constexpr int kLeftMargin = 6;

class RecordingDevice final : public CameraDevice {
 public:
  RecordingDevice(std::unique_ptr<CameraDevice> inner, FrameLog& log)
      : inner_(std::move(inner)), log_(log) {}

  TransferResult Write(std::span<const std::uint8_t> bytes) override {
    // The field of a readout request travels in its value byte.
    if (bytes.size() >= 3 && (bytes[1] == 2 || bytes[1] == 3)) field_ = bytes[2];
    return inner_->Write(bytes);
  }
  TransferResult Read(std::span<std::uint8_t> into) override {
    TransferResult result = inner_->Read(into);
    if (into.size() != kFullFrameReplyBytes) return result;
    if (++log_.fullFrameReads == log_.cutShortAt) result.bytes /= 2;
    if (result.ok && result.bytes == kFullFrameReplyBytes) {
      std::vector<std::uint16_t> frame(kRows * kStride, 0);
      for (int row = 0; row < kRows; ++row) {
        for (int col = 0; col < kWidth; ++col) {
          const std::size_t at = 2 * (static_cast<std::size_t>(row) * kWidth + col);
          frame[row * kStride + kLeftMargin + col] =
              static_cast<std::uint16_t>(into[at] | (into[at + 1] << 8));
        }
      }
      log_.frames.push_back(std::move(frame));
      log_.fields.push_back(field_);
    }
    return result;
  }
  int HandleNumber() const override { return inner_->HandleNumber(); }
  DeviceDescription Describe() override { return inner_->Describe(); }

 private:
  std::unique_ptr<CameraDevice> inner_;
  FrameLog& log_;
  int field_ = 3;
};

class RecordingEnumerator final : public DeviceEnumerator {
 public:
  RecordingEnumerator(std::unique_ptr<DeviceEnumerator> inner, FrameLog& log)
      : inner_(std::move(inner)), log_(log) {}
  bool Attach() override { return inner_->Attach(); }
  std::optional<InterfaceEntry> Interface(int memberIndex) override {
    return inner_->Interface(memberIndex);
  }
  std::unique_ptr<CameraDevice> Open(const std::string& path) override {
    std::unique_ptr<CameraDevice> device = inner_->Open(path);
    if (!device) return device;
    return std::make_unique<RecordingDevice>(std::move(device), log_);
  }
  void Release() override { inner_->Release(); }

 private:
  std::unique_ptr<DeviceEnumerator> inner_;
  FrameLog& log_;
};

}  // namespace

std::unique_ptr<DeviceEnumerator> RecordFrames(std::unique_ptr<DeviceEnumerator> inner,
                                               FrameLog& log) {
  return std::make_unique<RecordingEnumerator>(std::move(inner), log);
}

}  // namespace corvex::testing
