// The real-hardware camera backend on libusb-1.0. No libusb type crosses this header.
#pragma once

#include <memory>

#include "camera/usb_device.h"

namespace corvex {

// Lists the USB devices that look like the camera (a vendor-specific interface with a bulk
// OUT and a bulk IN endpoint), ordered by bus and port so that member indices stay stable.
std::unique_ptr<DeviceEnumerator> MakeLibusbEnumerator();

}  // namespace corvex
