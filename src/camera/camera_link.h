// Finding the camera and exchanging request blocks with it.
//
// There is one camera connection per run; the guider camera, the camera's serial ports and
// its guide relays all travel over it. Transfer failures are reported per transfer and never
// retried: the request sequence that caused them goes on.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "camera/usb_device.h"

namespace corvex {

class Host;
struct ImageStore;
struct ProgramState;

// The camera driver's device interface class; every interface path carries it.
inline constexpr std::string_view kCameraInterfaceClass = "{5b1e0a47-3c92-4d6e-a1f3-6c2d8e904b17}";
inline constexpr std::string_view kExpectedProductId = "7E21";
inline constexpr int kInterfaceIndexLimit = 20;  // member indices 0-19 are examined

struct CameraLink {
  explicit CameraLink(Host& reportTo) : host(reportTo) {}

  Host& host;                           // where transfer failures are reported
  std::unique_ptr<CameraDevice> device;  // the open camera; null until discovery opens one
  std::string devicePath;
  DeviceDescription description;
  std::string vendorIdText;   // the 4 characters after "vid_" in the last path examined
  std::string productIdText;  // the 4 characters after "pid_" in the last path examined
  std::size_t transferByteCount = 0;  // bytes the next write sends or the next read asks for
  std::size_t bytesWritten = 0;
  std::size_t bytesRead = 0;
  // Every failed or short transfer since discovery: a sequence of requests (a guide frame, a
  // telescope move) compares it before and after to learn whether all of it went through.
  unsigned transferFaults = 0;
};

// Scans member indices 0-19 of the camera interface class and opens every interface whose
// product id is "7E21" (any id with acceptAnyProductId); the last one opened is kept. Sets
// cameraFound. Returns true when at least one interface was listed, false on an early failure.
bool DiscoverCamera(CameraLink& link, DeviceEnumerator& devices, ProgramState& state);

// Sends the first transferByteCount bytes of commandBlock.
void WriteCommand(CameraLink& link, const ImageStore& store);

// Reads transferByteCount bytes into the start of usbReceiveBuffer and returns how many
// arrived. A failed or short read is reported through message 50; the caller decides what a
// short reply means. With `discard` the bytes are read the same way but not kept.
std::size_t ReadReply(CameraLink& link, ImageStore& store, bool discard = false);

// The four characters that begin four places after `key` in `path` ("vid" or "pid"), or
// nullopt when `key` is not in the path.
std::optional<std::string> IdTextAfter(std::string_view path, std::string_view key);

}  // namespace corvex
