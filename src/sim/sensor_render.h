// Turning the sky and the mount into the values a sensor reads out.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
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

// Where one pointing sample puts one star on the window: its centre, its signal, and the
// sensor pixels its Gaussian reaches.
struct StarPlacement {
  const SimStar* star;
  SensorPoint centre;
  double total;
  int x0, x1, y0, y1;
};

// Working memory a renderer keeps from frame to frame, so that a run of frames allocates
// nothing once the first has been drawn.
struct RenderBuffers {
  std::vector<double> signal;   // expected ADU above bias, one per pixel of the window
  std::vector<double> normals;  // one row's noise
  std::vector<double> sigmas;   // ... and its standard deviations where light falls
  std::vector<double> edges;    // a star's Gaussian integrated up to each pixel edge
  std::vector<double> shares;   // ... and its share on each pixel across and down
  std::vector<StarPlacement> placements;
  // A guider frame's values where only bias and background fall, for the exposure and window
  // in `quietKey` (seconds, x, y, width, height), and each row's runs of columns that starlight
  // or a hot pixel reaches.
  std::vector<std::uint16_t> quiet;
  std::array<double, 5> quietKey{};
  std::vector<std::vector<std::pair<int, int>>> rowSpans;
  // A main-camera window's background (dark current and sky) and the standard deviation of
  // the noise on it, for the exposure and window in `backgroundKey` (as `quietKey`).
  std::vector<double> background;
  std::vector<double> backgroundSigma;
  std::array<double, 5> backgroundKey{};
};

// The window's values, row by row: bias, dark current and hot pixels, a sky that brightens
// slowly across the field, stars sampled from a Gaussian image while the mount moves, then
// shot and read noise. `values` is resized to the window and overwritten.
void RenderFrame(const SimSky& sky, const SimMount& mount, const SimConfig& config,
                 const FrameRequest& request, NoiseSource& noise,
                 std::vector<std::uint16_t>& values, RenderBuffers& buffers);
std::vector<std::uint16_t> RenderFrame(const SimSky& sky, const SimMount& mount,
                                       const SimConfig& config, const FrameRequest& request,
                                       NoiseSource& noise);

}  // namespace corvex::sim
