// Fake USB backends for the camera link tests.
#include "support/fake_devices.h"

#include <algorithm>
#include <cerrno>

#include "camera/camera_link.h"

namespace corvex::testing {

TransferResult FakeCamera::Write(std::span<const std::uint8_t> bytes) {
  log_.writes.emplace_back(bytes.begin(), bytes.end());
  if (!log_.writeResults.empty()) {
    const TransferResult result = log_.writeResults.front();
    log_.writeResults.pop_front();
    return result;
  }
  return TransferResult{.ok = true, .bytes = bytes.size(), .errorCode = 0};
}

TransferResult FakeCamera::Read(std::span<std::uint8_t> into) {
  log_.readSizes.push_back(into.size());
  if (log_.replies.empty()) return TransferResult{.ok = false, .bytes = 0, .errorCode = ETIMEDOUT};
  const FakeCameraLog::Reply reply = log_.replies.front();
  log_.replies.pop_front();
  const std::size_t n = std::min(into.size(), reply.bytes.size());
  std::copy_n(reply.bytes.begin(), n, into.begin());
  return TransferResult{.ok = reply.ok, .bytes = n, .errorCode = reply.errorCode};
}

void FakeEnumerator::Add(int memberIndex, std::string path) {
  interfaces_[memberIndex] = InterfaceEntry{.pathAvailable = true, .path = std::move(path)};
}

void FakeEnumerator::AddUnnamed(int memberIndex) {
  interfaces_[memberIndex] = InterfaceEntry{.pathAvailable = false, .path = {}};
}

bool FakeEnumerator::Attach() {
  ++attaches;
  return !attachFails_;
}

std::optional<InterfaceEntry> FakeEnumerator::Interface(int memberIndex) {
  queried.push_back(memberIndex);
  auto it = interfaces_.find(memberIndex);
  if (it == interfaces_.end()) return std::nullopt;
  return it->second;
}

std::unique_ptr<CameraDevice> FakeEnumerator::Open(const std::string& path) {
  if (const auto failure = failOpen_.find(path); failure != failOpen_.end()) {
    lastOpenError_ = failure->second;
    return nullptr;
  }
  lastOpenError_ = 0;
  opened.push_back(path);
  DeviceDescription description;
  description.product = "Fake camera " + std::to_string(opened.size());
  return std::make_unique<FakeCamera>(log, static_cast<int>(opened.size()), description);
}

std::string FakeDevicePath(std::string_view vid, std::string_view pid, int port) {
  return "usb#vid_" + std::string(vid) + "&pid_" + std::string(pid) + "#1-" +
         std::to_string(port) + "#" + std::string(kCameraInterfaceClass);
}

}  // namespace corvex::testing
