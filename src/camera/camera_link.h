// Finding the camera and exchanging request blocks with it.
//
// There is one camera connection per run; the guider camera, the camera's serial ports and
// its guide relays all travel over it. Transfer failures are reported per transfer and never
// retried: the request sequence that caused them goes on.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "camera/usb_device.h"
#include "state/image_store.h"

namespace corvex {

class Clock;
class Host;
struct ProgramState;

inline constexpr int kCommandBlockBytes = 64;
// Room for a whole readout, rounded up to whole 512-byte USB packets.
inline constexpr int kReceiveBufferBytes = 290304;

// The camera driver's device interface class; every interface path carries it.
inline constexpr std::string_view kCameraInterfaceClass = "{5b1e0a47-3c92-4d6e-a1f3-6c2d8e904b17}";
inline constexpr std::string_view kExpectedProductId = "7E21";
inline constexpr int kInterfaceIndexLimit = 20;  // member indices 0-19 are examined

// One camera session: the open camera, the clock its requests wait on, the host that hears
// of failed transfers, and the two transfer buffers every request goes through. It is all a
// device operation needs, so that any front end can run the camera with one of these and no
// more of the program.
struct CameraLink {
  CameraLink(Host& reportTo, Clock& waitOn) : host(reportTo), clock(waitOn) {}
  CameraLink(const CameraLink&) = delete;
  CameraLink& operator=(const CameraLink&) = delete;

  Host& host;                            // where transfer failures are reported
  Clock& clock;                          // what exposures and moves wait on
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

  // The request written to the camera, and where every reply lands.
  std::array<std::uint8_t, kCommandBlockBytes> commandBlock{};
  FixedBuffer<std::uint8_t, kReceiveBufferBytes> usbReceiveBuffer;
};

struct DiscoveryOptions {
  bool acceptAnyProductId = false;  // open a camera whatever its product id
  bool showSummary = false;         // report what was found ("Camera Found, ...")
};

struct DiscoveryResult {
  bool listed = false;     // at least one camera interface was listed
  bool completed = false;  // the scan ran to its end: no early failure stopped it
};

// Scans member indices 0-19 of the camera interface class and opens every interface whose
// product id is "7E21" (any id with acceptAnyProductId); the last one opened is kept in
// link.device, which is null when none was. A failure to list the interfaces, name one or
// open one ends the scan early, after its message.
DiscoveryResult DiscoverCamera(CameraLink& link, DeviceEnumerator& devices,
                               const DiscoveryOptions& options);
// The program's discovery: the options from its settings; a completed scan sets cameraFound.
// True when at least one interface was listed, false also on an early failure.
bool DiscoverCamera(CameraLink& link, DeviceEnumerator& devices, ProgramState& state);

// Sends the first transferByteCount bytes of commandBlock.
void WriteCommand(CameraLink& link);

// Reads transferByteCount bytes into the start of usbReceiveBuffer and returns how many
// arrived. A failed or short read is reported through message 50; the caller decides what a
// short reply means.
std::size_t ReadReply(CameraLink& link);

// The four characters that begin four places after `key` in `path` ("vid" or "pid"), or
// nullopt when `key` is not in the path.
std::optional<std::string> IdTextAfter(std::string_view path, std::string_view key);

}  // namespace corvex
