#include "sim/sky.h"

#include <cmath>

#include "sim/ziggurat.h"

namespace corvex::sim {

namespace {

// Star colours from blue-white to deep orange.
constexpr SimStar kColours[] = {
    {0, 0, 0, 0.70, 0.82, 1.00}, {0, 0, 0, 1.00, 1.00, 1.00}, {0, 0, 0, 1.00, 0.92, 0.75},
    {0, 0, 0, 1.00, 0.78, 0.52}, {0, 0, 0, 1.00, 0.62, 0.35},
};

SimStar RandomStar(NoiseSource& random, double width, double height) {
  SimStar star = kColours[static_cast<int>(random.Uniform() * 5) % 5];
  star.x = 8 + random.Uniform() * (width - 16);
  star.y = 8 + random.Uniform() * (height - 16);
  const double magnitude = random.Uniform() * 6;  // 0 brightest
  star.flux = 40000.0 * std::pow(10.0, -0.4 * magnitude);
  return star;
}

// Sensor channel scales: the colour synthesis weights green by 6/5.1 and blue by 10/4.3 of
// red, so the sensor sees them that much weaker for a white star to come out white.
constexpr double kRedScale = 0.7 / 3;
constexpr double kGreenScale = 1.0 / 6;
constexpr double kBlueScale = 0.1;
constexpr double kWhiteMean = (0.6 + 0.5667 + 0.4333 + 0.7333) / 4;

}  // namespace

double NoiseSource::Normal() {
  return ZigguratNormal(engine_);
}

void NoiseSource::Normals(std::span<double> out) {
  ZigguratNormals(engine_, out);
}

SimSky MakeSky(std::uint64_t seed) {
  NoiseSource random(seed * 0x9E3779B97F4A7C15ull + 1);
  SimSky sky;
  // A bright white star near the middle of the default focus window (184..311, 65..192).
  sky.mainStars.push_back({248.3, 128.6, 30000, 1, 1, 1});
  for (int i = 0; i < 39; ++i)
    sky.mainStars.push_back(RandomStar(random, kSensorWidth, kSensorHeight));
  sky.guiderStars.push_back({251.4, 143.7, 90000, 1, 1, 1});
  for (int i = 0; i < 24; ++i) {
    sky.guiderStars.push_back(RandomStar(random, kSensorWidth, kSensorHeight));
  }
  for (int i = 0; i < 6; ++i) {
    sky.hotPixels.emplace_back(static_cast<int>(random.Uniform() * kSensorWidth),
                               static_cast<int>(random.Uniform() * kSensorHeight));
    sky.guiderHotPixels.emplace_back(static_cast<int>(random.Uniform() * kSensorWidth),
                                     static_cast<int>(random.Uniform() * kSensorHeight));
  }
  return sky;
}

FilterResponse PixelResponse(int sensorX, int sensorY) {
  // Column phase "on" at even columns, row phase "on" at odd rows: the pattern that the
  // default "Pixel Offset" on, "Line Offset" off settings describe once the frame sits at
  // column 6 of the stored image.
  const bool columnOn = sensorX % 2 == 0;
  const bool rowOn = sensorY % 2 == 1;
  int r = 0, g = 0, b = 0;
  if (columnOn && rowOn) {
    r = 1, g = 1, b = 2;
  } else if (!columnOn && rowOn) {
    r = 1, g = 2, b = 0;
  } else if (columnOn && !rowOn) {
    r = 0, g = 2, b = 1;
  } else {
    r = 2, g = 1, b = 1;
  }
  return {r * kRedScale / kWhiteMean, g * kGreenScale / kWhiteMean, b * kBlueScale / kWhiteMean};
}

double ColourGain(const SimStar& star, int sensorX, int sensorY) {
  const FilterResponse response = PixelResponse(sensorX, sensorY);
  return response.red * star.red + response.green * star.green + response.blue * star.blue;
}

}  // namespace corvex::sim
