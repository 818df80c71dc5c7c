// A camera connection that keeps a copy of every full frame the camera delivers, so that a
// test can work out what a capture run should have made of them without the run's own code;
// it can also cut a chosen full-frame readout short.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "camera/usb_device.h"

namespace corvex::testing {

struct FrameLog {
  // Each full frame that arrived whole, as the image store holds a frame: 290 rows of 512
  // values, the camera's 500 at columns 6-505 and 0 elsewhere.
  std::vector<std::vector<std::uint16_t>> frames;
  std::vector<int> fields;  // the readout field each frame asked for (1, 2 or 3)
  int fullFrameReads = 0;   // full-frame readouts asked for, whole or not
  int cutShortAt = 0;       // this full-frame readout (from 1) comes back half long; 0 never
};

// Wraps `inner` so that every device it opens records into `log`.
std::unique_ptr<DeviceEnumerator> RecordFrames(std::unique_ptr<DeviceEnumerator> inner,
                                               FrameLog& log);

}  // namespace corvex::testing
