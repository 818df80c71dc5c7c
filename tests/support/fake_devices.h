// Fake USB backends: an enumerator with a scripted list of interfaces, and a camera device
// that records what was written and replies from a queue.
#pragma once

#include <cerrno>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "camera/usb_device.h"

namespace corvex::testing {

struct FakeCameraLog {
  std::vector<std::vector<std::uint8_t>> writes;
  std::deque<TransferResult> writeResults;  // scripted results, then success
  // Each read takes the next reply (or a failure result) from here; with none left it fails.
  struct Reply {
    std::vector<std::uint8_t> bytes;
    bool ok = true;
    int errorCode = 0;
  };
  std::deque<Reply> replies;
  std::vector<std::size_t> readSizes;
  int closed = 0;
};

class FakeCamera final : public CameraDevice {
 public:
  FakeCamera(FakeCameraLog& log, int handleNumber, DeviceDescription description)
      : log_(log), handleNumber_(handleNumber), description_(std::move(description)) {}
  ~FakeCamera() override { ++log_.closed; }

  TransferResult Write(std::span<const std::uint8_t> bytes) override;
  TransferResult Read(std::span<std::uint8_t> into) override;
  int HandleNumber() const override { return handleNumber_; }
  DeviceDescription Describe() override { return description_; }

 private:
  FakeCameraLog& log_;
  int handleNumber_;
  DeviceDescription description_;
};

class FakeEnumerator final : public DeviceEnumerator {
 public:
  // An interface at `memberIndex` with this device path.
  void Add(int memberIndex, std::string path);
  // An interface whose path the system cannot give.
  void AddUnnamed(int memberIndex);
  void FailAttach() { attachFails_ = true; }
  // Open of `path` fails, for the reason `error` (an errno value).
  void FailOpen(const std::string& path, int error = EIO) { failOpen_[path] = error; }

  bool Attach() override;
  std::optional<InterfaceEntry> Interface(int memberIndex) override;
  std::unique_ptr<CameraDevice> Open(const std::string& path) override;
  int LastOpenError() const override { return lastOpenError_; }
  void Release() override { ++releases; }

  // Every device opened shares this log; `opened` lists the paths in open order.
  FakeCameraLog log;
  std::vector<std::string> opened;
  std::vector<int> queried;
  int attaches = 0;
  int releases = 0;

 private:
  std::map<int, InterfaceEntry> interfaces_;
  std::map<std::string, int> failOpen_;
  int lastOpenError_ = 0;
  bool attachFails_ = false;
};

// "usb#vid_VVVV&pid_PPPP#1-N#{class}" as the libusb backend names a device.
std::string FakeDevicePath(std::string_view vid, std::string_view pid, int port = 1);

}  // namespace corvex::testing
