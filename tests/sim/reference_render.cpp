// The sensor model worked out pixel by pixel, one noise draw at a time: the plain form of
// the simulator's frame rendering, kept to check the fast one against, value for value.
#include "sim/reference_render.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace corvex::sim::reference {

namespace {

constexpr int kMaxPointingSamples = 16;
constexpr int kPointingSampleMs = 250;

double SkyAduPerSec(int x, int y) {
  return 25.0 * (1.0 + 0.3 * x / kSensorWidth + 0.15 * y / kSensorHeight);
}

// The share of a unit Gaussian centred at `centre` that falls on pixel `i`.
double PixelShare(int i, double centre, double sigma) {
  const double scale = 1.0 / (sigma * std::numbers::sqrt2);
  return 0.5 * (std::erf((i + 0.5 - centre) * scale) - std::erf((i - 0.5 - centre) * scale));
}

// The largest signal whose guider byte is 0 whatever the noise: bias, signal and six
// standard deviations of shot and read noise stay below 256.
constexpr double kQuietGuiderSignal = 70;
static_assert(kBiasAdu + kQuietGuiderSignal + 6 * 11.6 < 256, "sqrt(70 + 64) < 11.6");

bool RowRead(int sensorY, int field) {
  if (field == 1) return sensorY % 2 == 0;
  if (field == 2) return sensorY % 2 == 1;
  return true;
}

}  // namespace

std::vector<std::uint16_t> ReferenceRenderFrame(const SimSky& sky, const SimMount& mount,
                                                const SimConfig& config,
                                                const FrameRequest& request, NoiseSource& noise) {
  const int width = std::max(request.width, 0);
  const int height = std::max(request.height, 0);
  const double seconds =
      static_cast<double>(std::max<std::int64_t>(request.endMs - request.startMs, 0)) / 1000;
  std::vector<double> signal(static_cast<std::size_t>(width) * height, 0.0);

  const auto& hotPixels = request.guider ? sky.guiderHotPixels : sky.hotPixels;
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      const int x = request.x + col;
      const int y = request.y + row;
      const double skyGain = request.guider ? 1.0 : ColourGain(SimStar{}, x, y);
      signal[row * width + col] = seconds * (kDarkAduPerSec + SkyAduPerSec(x, y) * skyGain);
    }
  }
  for (const auto& [x, y] : hotPixels) {
    const int col = x - request.x;
    const int row = y - request.y;
    if (col >= 0 && col < width && row >= 0 && row < height) {
      signal[row * width + col] += seconds * kHotPixelAduPerSec;
    }
  }

  // The stars, sampled along the mount's path during the exposure.
  const std::int64_t durationMs = std::max<std::int64_t>(request.endMs - request.startMs, 0);
  const int samples = static_cast<int>(
      std::clamp<std::int64_t>(durationMs / kPointingSampleMs, 1, kMaxPointingSamples));
  const double sigma = config.fwhmPx / (2 * std::sqrt(2 * std::numbers::ln2));
  const int reach = static_cast<int>(std::ceil(4 * sigma)) + 1;
  const auto& stars = request.guider ? sky.guiderStars : sky.mainStars;
  std::vector<double> shareX;
  for (int sample = 0; sample < samples; ++sample) {
    const std::int64_t at = request.startMs + durationMs * (2 * sample + 1) / (2 * samples);
    const PointingOffset offset = mount.OffsetAt(at);
    for (const SimStar& star : stars) {
      const SensorPoint p = StarOnSensor(star, offset, request.guider, config);
      const double total = star.flux * seconds / samples;
      const int x0 = std::max(static_cast<int>(std::floor(p.x)) - reach, request.x);
      const int x1 = std::min(static_cast<int>(std::floor(p.x)) + reach, request.x + width - 1);
      const int y0 = std::max(static_cast<int>(std::floor(p.y)) - reach, request.y);
      const int y1 = std::min(static_cast<int>(std::floor(p.y)) + reach, request.y + height - 1);
      if (x1 < x0 || y1 < y0) continue;
      shareX.resize(static_cast<std::size_t>(x1 - x0 + 1));
      for (int x = x0; x <= x1; ++x) shareX[x - x0] = PixelShare(x, p.x, sigma);
      for (int y = y0; y <= y1; ++y) {
        const double shareY = PixelShare(y, p.y, sigma);
        for (int x = x0; x <= x1; ++x) {
          const double gain = request.guider ? 1.0 : ColourGain(star, x, y);
          signal[(y - request.y) * width + (x - request.x)] +=
              total * shareY * shareX[x - x0] * gain;
        }
      }
    }
  }

  std::vector<std::uint16_t> values(signal.size(), 0);
  for (int row = 0; row < height; ++row) {
    if (!RowRead(request.y + row, request.field)) continue;
    for (int col = 0; col < width; ++col) {
      const double s = signal[row * width + col];
      const double mean = kBiasAdu + s;
      std::uint16_t& value = values[row * width + col];
      // The guider sends only each value's high byte: where the noise cannot carry the value
      // into another byte (six standard deviations either way), the byte is certain and no
      // noise is drawn. Most of a guider frame is such sky, and drawing it dominated the
      // time of every simulated guiding run.
      if (request.guider && s <= kQuietGuiderSignal) {
        value = static_cast<std::uint16_t>(mean);
        continue;
      }
      const double sigma = std::sqrt(s + kReadNoiseAdu * kReadNoiseAdu);
      if (request.guider &&
          std::floor((mean - 6 * sigma) / 256) == std::floor((mean + 6 * sigma) / 256) &&
          mean - 6 * sigma >= 0 && mean + 6 * sigma < 65535) {
        value = static_cast<std::uint16_t>(mean);
        continue;
      }
      value = static_cast<std::uint16_t>(std::clamp(mean + noise.Normal() * sigma, 0.0, 65535.0));
    }
  }
  return values;
}

}  // namespace corvex::sim::reference
