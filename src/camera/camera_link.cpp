// Camera discovery and the two transfer operations every camera request is built on.
#include "camera/camera_link.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/host.h"
#include "platform/os_version.h"
#include "state/messages.h"
#include "state/program_state.h"

namespace corvex {

namespace {

constexpr int kSummaryBufferBytes = 500;
constexpr std::string_view kOpenFailedText = "Could not open HID device";
constexpr std::string_view kOpenDeniedText =
    "Could not open HID device\nPermission denied: install the udev rule 99-corvex.rules, add "
    "this user to the plugdev group, log in again and re-plug the camera (see the README).";

// Releases the enumerator's device set however discovery ends.
class DeviceSetGuard {
 public:
  explicit DeviceSetGuard(DeviceEnumerator& devices) : devices_(devices) {}
  ~DeviceSetGuard() { devices_.Release(); }
  DeviceSetGuard(const DeviceSetGuard&) = delete;
  DeviceSetGuard& operator=(const DeviceSetGuard&) = delete;

 private:
  DeviceEnumerator& devices_;
};

void ShowError(Host& host, std::string_view text) {
  host.ShowMessageBox(text, "Error", MessageButtons::kOk, MessageIcon::kStop);
}

void ShowCameraSummary(const CameraLink& link) {
  const OsVersion os = CurrentOsVersion();
  char text[kSummaryBufferBytes];
  std::snprintf(text, sizeof text, "Camera Found, \nKAMIO = %6d\nO/S = %4d.%4d\nPID = %s",
                link.device->HandleNumber(), os.major, os.minor, link.productIdText.c_str());
  ShowMessage(link.host, kFreeTextMessage, text);
}

}  // namespace

std::optional<std::string> IdTextAfter(std::string_view path, std::string_view key) {
  const std::size_t at = path.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  const std::size_t start = std::min(path.size(), at + 4);
  return std::string(path.substr(start, 4));
}

DiscoveryResult DiscoverCamera(CameraLink& link, DeviceEnumerator& devices,
                               const DiscoveryOptions& options) {
  Host& host = link.host;
  // A handle left by an earlier discovery would keep the camera claimed and make this
  // scan's open of the same camera fail, so the scan starts from a closed link.
  link.device.reset();

  if (!devices.Attach()) {
    ShowMessage(host, kFreeTextMessage, "Could not attach to PnP node");
    return {};
  }
  DeviceSetGuard releaseSet(devices);

  DiscoveryResult result{.listed = false, .completed = true};
  for (int memberIndex = 0; memberIndex < kInterfaceIndexLimit; ++memberIndex) {
    const std::optional<InterfaceEntry> entry = devices.Interface(memberIndex);
    if (!entry) continue;  // a gap in the member indices does not end the scan
    result.listed = true;

    if (!entry->pathAvailable) {
      ShowError(host, "Could not find the system name for this HID device");
      return {};
    }
    if (auto vid = IdTextAfter(entry->path, "vid")) link.vendorIdText = *vid;
    if (auto pid = IdTextAfter(entry->path, "pid")) link.productIdText = *pid;
    if (link.productIdText != kExpectedProductId && !options.acceptAnyProductId) continue;

    std::unique_ptr<CameraDevice> opened = devices.Open(entry->path);
    if (!opened) {
      // Without the udev rule a normal user may see the camera but not open it.
      const bool denied = devices.LastOpenError() == EACCES;
      ShowError(host, denied ? std::string(kOpenDeniedText) : std::string(kOpenFailedText));
      return {};
    }
    link.device = std::move(opened);  // a later match replaces an earlier one
    link.devicePath = entry->path;
    link.description = link.device->Describe();
  }

  if (!link.device) {
    ShowMessage(host, kFreeTextMessage, "USB KAMIO device not found");
    return result;
  }
  if (options.showSummary) ShowCameraSummary(link);
  return result;
}

bool DiscoverCamera(CameraLink& link, DeviceEnumerator& devices, ProgramState& state) {
  const DiscoveryOptions options{
      .acceptAnyProductId = state.settings.acceptAnyProductId,
      .showSummary = state.showCameraSummary || state.settings.verboseCameraMessages};
  const DiscoveryResult result = DiscoverCamera(link, devices, options);
  // A scan that failed early says nothing about the camera: the flag stays as it was.
  if (result.completed) state.cameraFound = link.device != nullptr;
  return result.listed && result.completed;
}

void WriteCommand(CameraLink& link) {
  const std::size_t count = std::min<std::size_t>(link.transferByteCount, kCommandBlockBytes);
  TransferResult result;
  if (link.device) result = link.device->Write(std::span(link.commandBlock.data(), count));
  link.bytesWritten = result.bytes;
  if (!result.ok || result.bytes != count) {
    ++link.transferFaults;
    ShowMessage(link.host, kFreeTextMessage,
                "Could not write KAMIO Output - try rebooting USB device");
  }
}

std::size_t ReadReply(CameraLink& link) {
  const std::size_t asked = std::min<std::size_t>(link.transferByteCount, kReceiveBufferBytes);
  TransferResult result{.ok = false, .bytes = 0, .errorCode = EBADF};
  if (link.device) result = link.device->Read(std::span(link.usbReceiveBuffer.data(), asked));
  link.bytesRead = result.bytes;

  char text[kSummaryBufferBytes];
  if (!result.ok || result.bytes < asked) ++link.transferFaults;
  if (!result.ok) {
    std::snprintf(text, sizeof text, "Error %d trying to read KAMIO data from USB\n",
                  result.errorCode);
    ShowMessage(link.host, kFreeTextMessage, text);
  } else if (result.bytes < asked) {
    std::snprintf(text, sizeof text,
                  "Short read from KAMIO device: %zu of %zu bytes received - the data is "
                  "incomplete",
                  result.bytes, asked);
    ShowMessage(link.host, kFreeTextMessage, text);
  }
  return result.bytes;
}

}  // namespace corvex
