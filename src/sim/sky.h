// The simulated sky: a fixed field of stars for the main camera and another for the guider
// camera, and how a sensor sees them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "sim/mt64.h"
#include "sim/sim_config.h"

namespace corvex::sim {

inline constexpr int kSensorWidth = 500;
inline constexpr int kSensorHeight = 290;

struct SimStar {
  double x = 0;  // sensor position at the mount's starting point, pixels
  double y = 0;
  double flux = 0;  // total signal per second of a white star of this brightness, ADU
  double red = 1;   // colour, each 0-1 with the largest 1
  double green = 1;
  double blue = 1;
};

struct SimSky {
  std::vector<SimStar> mainStars;
  std::vector<SimStar> guiderStars;
  std::vector<std::pair<int, int>> hotPixels;        // main sensor (x, y)
  std::vector<std::pair<int, int>> guiderHotPixels;  // guider sensor (x, y)
};

// A field of a few dozen stars of several magnitudes and colours, the same for a given seed.
// The brightest main-camera star sits near the middle of the default focus window.
SimSky MakeSky(std::uint64_t seed);

// The sensor's colour filter: four kinds of pixel repeating every two columns and rows. A
// pixel's response to red, green and blue light; columns and rows counted on the sensor.
struct FilterResponse {
  double red, green, blue;
};
FilterResponse PixelResponse(int sensorX, int sensorY);
// How strongly a pixel at this position sees a star of this colour (1 for white on average).
double ColourGain(const SimStar& star, int sensorX, int sensorY);

// Uniform and normal (ziggurat) numbers from a fully specified engine, so frames are the
// same everywhere.
class NoiseSource {
 public:
  explicit NoiseSource(std::uint64_t seed) : engine_(seed) {}
  double Uniform() {
    return (static_cast<double>(static_cast<std::int64_t>(engine_() >> 11)) + 0.5) /
           9007199254740992.0;
  }
  double Normal();
  // As many normal numbers as `out` holds: the ones that many Normal() calls would give.
  void Normals(std::span<double> out);

 private:
  Mt19937_64 engine_;  // std::mt19937_64's numbers, drawn faster
};

}  // namespace corvex::sim
