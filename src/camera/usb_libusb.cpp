// Camera discovery and transfers on libusb-1.0.
//
// Each candidate device is named in the shape of a Windows interface path,
// "usb#vid_VVVV&pid_PPPP#<bus>-<port.port...>#{class guid}" with upper-case hex, so that the
// discovery rules (the id text four places after "vid" and "pid") apply unchanged. Request
// blocks go to the first bulk OUT endpoint of the camera interface, replies come from the
// first bulk IN endpoint.
#include "camera/usb_libusb.h"

#include <libusb.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "camera/camera_link.h"

namespace corvex {

namespace {

constexpr unsigned kWriteTimeoutMs = 2000;
// A full-frame readout takes two to three seconds, and a short exposure's delay travels
// inside the request, so replies get a generous wait before they count as failed.
constexpr unsigned kReadTimeoutMs = 10000;
constexpr int kMaxPortDepth = 7;

int ErrnoFromLibusb(int code) {
  switch (code) {
    case LIBUSB_ERROR_IO: return EIO;
    case LIBUSB_ERROR_INVALID_PARAM: return EINVAL;
    case LIBUSB_ERROR_ACCESS: return EACCES;
    case LIBUSB_ERROR_NO_DEVICE: return ENODEV;
    case LIBUSB_ERROR_NOT_FOUND: return ENOENT;
    case LIBUSB_ERROR_BUSY: return EBUSY;
    case LIBUSB_ERROR_TIMEOUT: return ETIMEDOUT;
    case LIBUSB_ERROR_OVERFLOW: return EOVERFLOW;
    case LIBUSB_ERROR_PIPE: return EPIPE;
    case LIBUSB_ERROR_INTERRUPTED: return EINTR;
    case LIBUSB_ERROR_NO_MEM: return ENOMEM;
    case LIBUSB_ERROR_NOT_SUPPORTED: return ENOTSUP;
    default: return EIO;
  }
}

// The libusb context, shared by the enumerator and every device it opened.
struct UsbContext {
  libusb_context* context = nullptr;
  ~UsbContext() {
    if (context) libusb_exit(context);
  }
};

// Where a camera's request and reply endpoints are.
struct CameraEndpoints {
  int interfaceNumber = -1;
  unsigned char out = 0;
  unsigned char in = 0;
};

// The first vendor-specific interface of the active (or first) configuration that has both a
// bulk OUT and a bulk IN endpoint.
std::optional<CameraEndpoints> FindCameraEndpoints(libusb_device* device) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(device, &config) != 0 &&
      libusb_get_config_descriptor(device, 0, &config) != 0) {
    return std::nullopt;
  }
  std::optional<CameraEndpoints> found;
  for (int i = 0; i < config->bNumInterfaces && !found; ++i) {
    const libusb_interface& interface = config->interface[i];
    for (int a = 0; a < interface.num_altsetting && !found; ++a) {
      const libusb_interface_descriptor& setting = interface.altsetting[a];
      if (setting.bInterfaceClass != LIBUSB_CLASS_VENDOR_SPEC) continue;
      CameraEndpoints endpoints{.interfaceNumber = setting.bInterfaceNumber};
      for (int e = 0; e < setting.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
        if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) {
          continue;
        }
        const bool isIn = (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) != 0;
        if (isIn && endpoints.in == 0) endpoints.in = endpoint.bEndpointAddress;
        if (!isIn && endpoints.out == 0) endpoints.out = endpoint.bEndpointAddress;
      }
      if (endpoints.in != 0 && endpoints.out != 0) found = endpoints;
    }
  }
  libusb_free_config_descriptor(config);
  return found;
}

std::string StringDescriptor(libusb_device_handle* handle, std::uint8_t index) {
  if (index == 0) return std::string(kNotPresent);
  unsigned char text[256];
  const int length = libusb_get_string_descriptor_ascii(handle, index, text, sizeof text);
  if (length <= 0) return std::string(kNotPresent);
  return std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
}

class LibusbCamera final : public CameraDevice {
 public:
  LibusbCamera(std::shared_ptr<UsbContext> context, libusb_device_handle* handle,
               CameraEndpoints endpoints, int handleNumber)
      : context_(std::move(context)),
        handle_(handle),
        endpoints_(endpoints),
        handleNumber_(handleNumber) {}

  ~LibusbCamera() override {
    libusb_release_interface(handle_, endpoints_.interfaceNumber);
    libusb_close(handle_);
  }

  TransferResult Write(std::span<const std::uint8_t> bytes) override {
    int sent = 0;
    const int code = libusb_bulk_transfer(handle_, endpoints_.out,
                                          const_cast<std::uint8_t*>(bytes.data()),
                                          static_cast<int>(bytes.size()), &sent, kWriteTimeoutMs);
    return Result(code, sent);
  }

  TransferResult Read(std::span<std::uint8_t> into) override {
    int received = 0;
    const int code = libusb_bulk_transfer(handle_, endpoints_.in, into.data(),
                                          static_cast<int>(into.size()), &received,
                                          kReadTimeoutMs);
    return Result(code, received);
  }

  int HandleNumber() const override { return handleNumber_; }

  DeviceDescription Describe() override {
    DeviceDescription description;
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(libusb_get_device(handle_), &descriptor) == 0) {
      description.vendorId = descriptor.idVendor;
      description.productId = descriptor.idProduct;
      description.versionNumber = descriptor.bcdDevice;
      description.manufacturer = StringDescriptor(handle_, descriptor.iManufacturer);
      description.product = StringDescriptor(handle_, descriptor.iProduct);
    }
    return description;
  }

 private:
  static TransferResult Result(int code, int count) {
    return TransferResult{.ok = code == 0,
                          .bytes = static_cast<std::size_t>(std::max(count, 0)),
                          .errorCode = code == 0 ? 0 : ErrnoFromLibusb(code)};
  }

  std::shared_ptr<UsbContext> context_;  // keeps libusb alive while the device is open
  libusb_device_handle* handle_;
  CameraEndpoints endpoints_;
  int handleNumber_;
};

struct Candidate {
  libusb_device* device = nullptr;  // referenced until Release
  int bus = 0;
  std::vector<int> ports;
  std::string path;
};

class LibusbEnumerator final : public DeviceEnumerator {
 public:
  ~LibusbEnumerator() override { Release(); }

  bool Attach() override {
    Release();
    if (!context_) {
      auto context = std::make_shared<UsbContext>();
      if (libusb_init(&context->context) != 0) return false;
      context_ = std::move(context);
    }
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_->context, &list);
    if (count < 0) return false;
    for (ssize_t i = 0; i < count; ++i) {
      if (!FindCameraEndpoints(list[i])) continue;
      candidates_.push_back(Describe(list[i]));
    }
    libusb_free_device_list(list, 1);
    std::sort(candidates_.begin(), candidates_.end(), [](const Candidate& a, const Candidate& b) {
      return std::tie(a.bus, a.ports) < std::tie(b.bus, b.ports);
    });
    return true;
  }

  std::optional<InterfaceEntry> Interface(int memberIndex) override {
    if (memberIndex < 0 || memberIndex >= static_cast<int>(candidates_.size())) {
      return std::nullopt;
    }
    return InterfaceEntry{.pathAvailable = true, .path = candidates_[memberIndex].path};
  }

  std::unique_ptr<CameraDevice> Open(const std::string& path) override {
    auto it = std::find_if(candidates_.begin(), candidates_.end(),
                           [&](const Candidate& c) { return c.path == path; });
    lastOpenError_ = ENODEV;
    if (it == candidates_.end()) return nullptr;
    const std::optional<CameraEndpoints> endpoints = FindCameraEndpoints(it->device);
    if (!endpoints) return nullptr;
    libusb_device_handle* handle = nullptr;
    if (const int code = libusb_open(it->device, &handle); code != 0) {
      lastOpenError_ = ErrnoFromLibusb(code);
      return nullptr;
    }
    if (const int code = libusb_claim_interface(handle, endpoints->interfaceNumber); code != 0) {
      lastOpenError_ = ErrnoFromLibusb(code);
      libusb_close(handle);
      return nullptr;
    }
    lastOpenError_ = 0;
    const int handleNumber = it->bus * 1000 + libusb_get_device_address(it->device);
    return std::make_unique<LibusbCamera>(context_, handle, *endpoints, handleNumber);
  }

  int LastOpenError() const override { return lastOpenError_; }

  void Release() override {
    for (Candidate& candidate : candidates_) libusb_unref_device(candidate.device);
    candidates_.clear();
  }

 private:
  static Candidate Describe(libusb_device* device) {
    Candidate candidate;
    candidate.device = libusb_ref_device(device);
    candidate.bus = libusb_get_bus_number(device);
    std::uint8_t ports[kMaxPortDepth];
    const int depth = libusb_get_port_numbers(device, ports, kMaxPortDepth);
    std::string where = std::to_string(candidate.bus) + "-";
    for (int i = 0; i < depth; ++i) {
      candidate.ports.push_back(ports[i]);
      where += (i ? "." : "") + std::to_string(ports[i]);
    }
    libusb_device_descriptor descriptor{};
    libusb_get_device_descriptor(device, &descriptor);
    char ids[32];
    std::snprintf(ids, sizeof ids, "vid_%04X&pid_%04X", descriptor.idVendor, descriptor.idProduct);
    candidate.path = "usb#" + std::string(ids) + "#" + where + "#" + std::string(kCameraInterfaceClass);
    return candidate;
  }

  std::shared_ptr<UsbContext> context_;
  std::vector<Candidate> candidates_;
  int lastOpenError_ = 0;
};

}  // namespace

std::unique_ptr<DeviceEnumerator> MakeLibusbEnumerator() {
  return std::make_unique<LibusbEnumerator>();
}

}  // namespace corvex
