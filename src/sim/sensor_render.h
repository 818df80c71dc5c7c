// Turning the sky and the mount into the values a sensor reads out.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/mount.h"
#include "sim/sim_config.h"
#include "sim/sky.h"

namespace corvex::sim {

inline constexpr double kBiasAdu = 100;
inline constexpr double kDarkAduPerSec = 1.5;
inline constexpr double kHotPixelAduPerSec = 3000;
inline constexpr double kReadNoiseAdu = 8;

struct FrameRequest {
  bool guider = false;  // the guider camera (mono, rotated field) instead of the main camera
  int x = 0;            // window on the sensor
  int y = 0;
  int width = kSensorWidth;
  int height = kSensorHeight;
  int field = 3;             // 3 every row; 1 only even rows, 2 only odd rows (the rest read 0)
  std::int64_t startMs = 0;  // the exposure: from the last clear to the readout
  std::int64_t endMs = 0;
};

// Where a star is on the sensor when the mount is offset by `offset`.
struct SensorPoint {
  double x, y;
};
SensorPoint StarOnSensor(const SimStar& star, const PointingOffset& offset, bool guider,
                         const SimConfig& config);

// The window's values, row by row: bias, dark current and hot pixels, a sky that brightens
// slowly across the field, stars sampled from a Gaussian image while the mount moves, then
// shot and read noise.
std::vector<std::uint16_t> RenderFrame(const SimSky& sky, const SimMount& mount,
                                       const SimConfig& config, const FrameRequest& request,
                                       NoiseSource& noise);

}  // namespace corvex::sim
