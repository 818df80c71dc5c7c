// What the camera link needs from a USB backend: a list of camera interfaces, and an open
// camera as a byte stream that takes request blocks and gives back replies.
//
// Backends: libusb for real cameras (usb_libusb), the simulated camera, and fakes in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvex {

// The outcome of one transfer. `errorCode` is an errno value when `ok` is false.
struct TransferResult {
  bool ok = false;
  std::size_t bytes = 0;
  int errorCode = 0;
};

inline constexpr std::string_view kNotPresent = "- not present -";

// What a device says about itself; only recorded and shown, never acted on.
struct DeviceDescription {
  int vendorId = 0;
  int productId = 0;
  int versionNumber = 0;
  std::string manufacturer{kNotPresent};
  std::string product{kNotPresent};
};

class CameraDevice {
 public:
  virtual ~CameraDevice() = default;
  // One synchronous write of all the bytes.
  virtual TransferResult Write(std::span<const std::uint8_t> bytes) = 0;
  // One synchronous read of up to into.size() bytes; `bytes` says how many arrived.
  virtual TransferResult Read(std::span<std::uint8_t> into) = 0;
  // The same read of up to `bytes` bytes, for a reply nobody looks at (a readout that only
  // empties the sensor): a backend that has to make the bytes up may skip making them.
  virtual TransferResult Discard(std::size_t bytes) {
    std::vector<std::uint8_t> scratch(bytes);
    return Read(scratch);
  }
  // A number that identifies the open device in the camera-found summary.
  virtual int HandleNumber() const = 0;
  virtual DeviceDescription Describe() = 0;
};

// One member of the camera interface class as the enumerator lists it.
struct InterfaceEntry {
  bool pathAvailable = true;  // false: the system could not name this interface
  std::string path;           // "usb#vid_VVVV&pid_PPPP#<where>#{class guid}"
};

class DeviceEnumerator {
 public:
  virtual ~DeviceEnumerator() = default;
  // Takes the set of present camera interfaces; false when the system cannot list them.
  virtual bool Attach() = 0;
  // The interface with this member index of the set, or nullopt when there is none.
  virtual std::optional<InterfaceEntry> Interface(int memberIndex) = 0;
  // Opens an interface for reading and writing; nullptr when it cannot be opened.
  virtual std::unique_ptr<CameraDevice> Open(const std::string& path) = 0;
  // Why the last Open failed, as an errno value (EACCES: the system denied this user the
  // device); 0 when the backend cannot tell.
  virtual int LastOpenError() const { return 0; }
  // Lets go of the set taken by Attach. Open devices stay open.
  virtual void Release() = 0;
};

}  // namespace corvex
