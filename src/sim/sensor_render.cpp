// The sensor model. A frame is drawn in three passes over a buffer of expected signal: the
// background (dark current and sky, a fixed rate per pixel taken from a table built once,
// times the exposure), the hot pixels and the stars (each star's Gaussian integrated over the
// pixels it reaches, once per pointing sample), and then the noise, drawn a row at a time.
// Frames of one window and exposure share their background: the main camera keeps it, with
// its noise level, and the quiet guider keeps its whole frame, so that only the pixels a star
// or a hot pixel reaches are worked out again.
// Every pass adds in the same order and rounds in the same way as a pixel-by-pixel model, so
// a seed gives the same frame whichever way it is computed.
#include "sim/sensor_render.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <span>
#include <utility>

#include "sim/noise_kernels.h"

namespace corvex::sim {

namespace {

constexpr int kMaxPointingSamples = 16;
constexpr int kPointingSampleMs = 250;

double SkyAduPerSec(int x, int y) {
  return 25.0 * (1.0 + 0.3 * x / kSensorWidth + 0.15 * y / kSensorHeight);
}

// Dark current and sky per second at a sensor position: the main sensor sees the sky through
// its colour filter, the guider is mono.
double BackgroundRate(bool guider, int x, int y) {
  const double skyGain = guider ? 1.0 : ColourGain(SimStar{}, x, y);
  return kDarkAduPerSec + SkyAduPerSec(x, y) * skyGain;
}

// BackgroundRate for every pixel of a sensor, row by row. It does not change between frames,
// and working it out per pixel and frame cost more than the rest of a guider frame together.
const std::vector<double>& BackgroundRates(bool guider) {
  static const std::array<std::vector<double>, 2> rates = [] {
    std::array<std::vector<double>, 2> r;
    for (int g = 0; g < 2; ++g) {
      r[g].resize(static_cast<std::size_t>(kSensorWidth) * kSensorHeight);
      for (int y = 0; y < kSensorHeight; ++y) {
        for (int x = 0; x < kSensorWidth; ++x) r[g][y * kSensorWidth + x] = BackgroundRate(g, x, y);
      }
    }
    return r;
  }();
  return rates[guider ? 1 : 0];
}

// The share of a unit Gaussian centred at `centre` that falls on each of `count` pixels
// starting at `first`. Neighbouring pixels share an edge, so each edge's integral is worked out
// once: the edge between pixels i and i + 1 is i + 0.5, which is exactly (i + 1) - 0.5.
void PixelShares(int first, int count, double centre, double sigma, std::vector<double>& edges,
                 std::span<double> shares) {
  const double scale = 1.0 / (sigma * std::numbers::sqrt2);
  edges.resize(static_cast<std::size_t>(count) + 1);
  for (int k = 0; k <= count; ++k) edges[k] = std::erf((first + k - 0.5 - centre) * scale);
  for (int k = 0; k < count; ++k) shares[k] = 0.5 * (edges[k + 1] - edges[k]);
}

// The largest signal whose guider byte is 0 whatever the noise: bias, signal and six
// standard deviations of shot and read noise stay below 256.
constexpr double kQuietGuiderSignal = 70;
static_assert(kBiasAdu + kQuietGuiderSignal + 6 * 11.6 < 256, "sqrt(70 + 64) < 11.6");

// What a window's kept background depends on: the exposure, and where the window lies.
std::array<double, 5> WindowKey(const FrameRequest& request, int width, int height,
                                double seconds) {
  return {seconds, static_cast<double>(request.x), static_cast<double>(request.y),
          static_cast<double>(width), static_cast<double>(height)};
}

bool RowRead(int sensorY, int field) {
  if (field == 1) return sensorY % 2 == 0;
  if (field == 2) return sensorY % 2 == 1;
  return true;
}

// Dark current and sky for the window.
void AddBackground(const FrameRequest& request, int width, int height, double seconds,
                   std::span<double> signal) {
  const std::vector<double>& rates = BackgroundRates(request.guider);
  // The columns of the window that lie on the sensor; a window reaching past its edge works
  // the rest out directly.
  const int onBegin = std::clamp(-request.x, 0, width);
  const int onEnd = std::clamp(kSensorWidth - request.x, onBegin, width);
  for (int row = 0; row < height; ++row) {
    const int y = request.y + row;
    double* out = signal.data() + static_cast<std::size_t>(row) * width;
    if (y < 0 || y >= kSensorHeight) {
      for (int col = 0; col < width; ++col) {
        out[col] = seconds * BackgroundRate(request.guider, request.x + col, y);
      }
      continue;
    }
    const double* rate = rates.data() + static_cast<std::size_t>(y) * kSensorWidth + request.x;
    for (int col = 0; col < onBegin; ++col) {
      out[col] = seconds * BackgroundRate(request.guider, request.x + col, y);
    }
    for (int col = onBegin; col < onEnd; ++col) out[col] = seconds * rate[col];
    for (int col = onEnd; col < width; ++col) {
      out[col] = seconds * BackgroundRate(request.guider, request.x + col, y);
    }
  }
}

// The hot pixels' dark current on top of the background.
void AddHotPixels(const SimSky& sky, const FrameRequest& request, int width, int height,
                  double seconds, std::span<double> signal) {
  const auto& hotPixels = request.guider ? sky.guiderHotPixels : sky.hotPixels;
  for (const auto& [x, y] : hotPixels) {
    const int col = x - request.x;
    const int row = y - request.y;
    if (col >= 0 && col < width && row >= 0 && row < height) {
      signal[static_cast<std::size_t>(row) * width + col] += seconds * kHotPixelAduPerSec;
    }
  }
}

// Each row's runs of columns that a hot pixel or a star's light reaches, in `spans`, sorted.
void ReachedSpans(const SimSky& sky, const FrameRequest& request, int width, int height,
                  const std::vector<StarPlacement>& placements,
                  std::vector<std::vector<std::pair<int, int>>>& spans) {
  spans.resize(static_cast<std::size_t>(height));
  for (auto& row : spans) row.clear();
  const auto& hotPixels = request.guider ? sky.guiderHotPixels : sky.hotPixels;
  for (const auto& [x, y] : hotPixels) {
    const int col = x - request.x;
    const int row = y - request.y;
    if (col >= 0 && col < width && row >= 0 && row < height) spans[row].push_back({col, col});
  }
  for (const StarPlacement& placed : placements) {
    for (int y = placed.y0; y <= placed.y1; ++y) {
      spans[y - request.y].push_back({placed.x0 - request.x, placed.x1 - request.x});
    }
  }
  for (auto& row : spans) std::sort(row.begin(), row.end());
}

// The stars, sampled along the mount's path during the exposure, in the order their light is
// added: sample by sample, star by star.
void PlaceStars(const SimSky& sky, const SimMount& mount, const SimConfig& config,
                const FrameRequest& request, int width, int height, double seconds,
                double sigma, std::vector<StarPlacement>& placements) {
  placements.clear();
  const std::int64_t durationMs = std::max<std::int64_t>(request.endMs - request.startMs, 0);
  const int samples = static_cast<int>(
      std::clamp<std::int64_t>(durationMs / kPointingSampleMs, 1, kMaxPointingSamples));
  const int reach = static_cast<int>(std::ceil(4 * sigma)) + 1;
  const auto& stars = request.guider ? sky.guiderStars : sky.mainStars;
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
      placements.push_back({&star, p, total, x0, x1, y0, y1});
    }
  }
}

void AddStars(const std::vector<StarPlacement>& placements, const FrameRequest& request,
              int width, double sigma, std::span<double> signal, RenderBuffers& buffers) {
  for (const StarPlacement& placed : placements) {
    const int columns = placed.x1 - placed.x0 + 1;
    const int rows = placed.y1 - placed.y0 + 1;
    buffers.shares.resize(static_cast<std::size_t>(columns + rows));
    const std::span<double> shareX(buffers.shares.data(), columns);
    const std::span<double> shareY(buffers.shares.data() + columns, rows);
    PixelShares(placed.x0, columns, placed.centre.x, sigma, buffers.edges, shareX);
    PixelShares(placed.y0, rows, placed.centre.y, sigma, buffers.edges, shareY);
    // The colour filter repeats every two columns and rows: four gains per star, indexed by
    // whether the row is odd and the column even, as the filter itself tells them.
    double gain[2][2] = {{1, 1}, {1, 1}};
    if (!request.guider) {
      for (int oddRow = 0; oddRow < 2; ++oddRow) {
        for (int oddColumn = 0; oddColumn < 2; ++oddColumn) {
          gain[oddRow][oddColumn] = ColourGain(*placed.star, oddColumn, oddRow);
        }
      }
    }
    for (int y = placed.y0; y <= placed.y1; ++y) {
      const double rowTotal = placed.total * shareY[y - placed.y0];
      const double* rowGain = gain[y % 2 == 1 ? 1 : 0];
      double* out = signal.data() + static_cast<std::size_t>(y - request.y) * width;
      for (int x = placed.x0; x <= placed.x1; ++x) {
        out[x - request.x] += rowTotal * shareX[x - placed.x0] * rowGain[x % 2 == 0 ? 0 : 1];
      }
    }
  }
}

// A guider value above the quiet level. The guider sends only each value's high byte: where
// the noise cannot carry the value into another byte (six standard deviations either way),
// the byte is certain and no noise is drawn.
std::uint16_t LoudGuiderValue(double s, NoiseSource& noise) {
  const double mean = kBiasAdu + s;
  const double sigma = std::sqrt(s + kReadNoiseAdu * kReadNoiseAdu);
  if (std::floor((mean - 6 * sigma) / 256) == std::floor((mean + 6 * sigma) / 256) &&
      mean - 6 * sigma >= 0 && mean + 6 * sigma < 65535) {
    return static_cast<std::uint16_t>(mean);
  }
  return static_cast<std::uint16_t>(std::clamp(mean + noise.Normal() * sigma, 0.0, 65535.0));
}

std::uint16_t QuietGuiderValue(double s) {
  return static_cast<std::uint16_t>(std::min(kBiasAdu + s, 65535.0));
}

// A guider row, every value of it. Most of a guider frame is sky below the quiet level, so
// the row is first filled as if all of it were, and only the values above it are visited
// again, in order.
void GuiderRow(std::span<const double> signal, NoiseSource& noise,
               std::span<std::uint16_t> out) {
  int loud = 0;
  for (std::size_t col = 0; col < signal.size(); ++col) {
    const double s = signal[col];
    out[col] = QuietGuiderValue(s);
    loud += s > kQuietGuiderSignal ? 1 : 0;
  }
  if (loud == 0) return;
  for (std::size_t col = 0; col < signal.size(); ++col) {
    if (signal[col] > kQuietGuiderSignal) out[col] = LoudGuiderValue(signal[col], noise);
  }
}

// The brightest the guider's background gets per second.
double MaxGuiderRate() {
  static const double rate = [] {
    const std::vector<double>& rates = BackgroundRates(true);
    return *std::max_element(rates.begin(), rates.end());
  }();
  return rate;
}

// A guider frame whose background stays below the quiet level everywhere: only the pixels a
// star or a hot pixel reaches can differ from the bias plus background, so only they get a
// signal, and the rest comes from a copy of the quiet frame for this exposure, which a run
// of guider exposures of one length reuses. The pixels are visited row by row and column by
// column, so the noise is drawn in the order a full pass would draw it.
void QuietGuiderFrame(const SimSky& sky, const FrameRequest& request, int width, int height,
                      double seconds, double sigma,
                      const std::vector<StarPlacement>& placements,
                      std::vector<std::uint16_t>& values, RenderBuffers& buffers,
                      NoiseSource& noise) {
  const std::vector<double>& rates = BackgroundRates(true);
  const auto rate = [&](int col, int row) {
    return rates[static_cast<std::size_t>(request.y + row) * kSensorWidth + request.x + col];
  };
  const std::array<double, 5> key = WindowKey(request, width, height, seconds);
  if (buffers.quietKey != key || buffers.quiet.size() != values.size()) {
    buffers.quiet.resize(values.size());
    for (int row = 0; row < height; ++row) {
      for (int col = 0; col < width; ++col) {
        buffers.quiet[static_cast<std::size_t>(row) * width + col] =
            QuietGuiderValue(seconds * rate(col, row));
      }
    }
    buffers.quietKey = key;
  }
  std::copy(buffers.quiet.begin(), buffers.quiet.end(), values.begin());

  // Each row's runs of reached columns, then the background under them before any light is
  // added, as a full pass would have it.
  auto& spans = buffers.rowSpans;
  ReachedSpans(sky, request, width, height, placements, spans);
  const std::span<double> signal(buffers.signal);
  for (int row = 0; row < height; ++row) {
    double* out = signal.data() + static_cast<std::size_t>(row) * width;
    for (const auto& [first, last] : spans[row]) {
      for (int col = first; col <= last; ++col) out[col] = seconds * rate(col, row);
    }
  }
  AddHotPixels(sky, request, width, height, seconds, signal);
  AddStars(placements, request, width, sigma, signal, buffers);

  for (int row = 0; row < height; ++row) {
    const auto& rowSpans = spans[row];
    const std::size_t start = static_cast<std::size_t>(row) * width;
    int done = -1;  // the last column visited in this row
    for (const auto& [first, last] : rowSpans) {
      for (int col = std::max(first, done + 1); col <= last; ++col) {
        const double s = signal[start + col];
        values[start + col] =
            s > kQuietGuiderSignal ? LoudGuiderValue(s, noise) : QuietGuiderValue(s);
      }
      done = std::max(done, last);
    }
  }
}

// A main-camera frame. Frame after frame of one window and exposure has the same background
// (dark current and sky) and so the same noise level on it: both are kept from the frame
// before, and only the pixels a hot pixel or a star reaches get a signal and a square root of
// their own. Each row is first finished as if all of it were background, then those pixels
// again with the same normal numbers, so every value is the one a pass over the whole window
// gives.
void MainCameraFrame(const SimSky& sky, const FrameRequest& request, int width, int height,
                     double seconds, double sigma, std::vector<std::uint16_t>& values,
                     RenderBuffers& buffers, NoiseSource& noise) {
  constexpr double kReadVariance = kReadNoiseAdu * kReadNoiseAdu;
  const std::size_t pixels = values.size();
  const std::array<double, 5> key = WindowKey(request, width, height, seconds);
  if (buffers.backgroundKey != key || buffers.background.size() != pixels) {
    buffers.background.resize(pixels);
    buffers.backgroundSigma.resize(pixels);
    AddBackground(request, width, height, seconds, buffers.background);
    kernels::NoiseSigmas(buffers.background.data(), pixels, kReadVariance,
                         buffers.backgroundSigma.data());
    buffers.backgroundKey = key;
  }
  const double* background = buffers.background.data();
  const double* backgroundSigma = buffers.backgroundSigma.data();

  auto& spans = buffers.rowSpans;
  ReachedSpans(sky, request, width, height, buffers.placements, spans);
  const std::span<double> signal(buffers.signal);
  for (int row = 0; row < height; ++row) {
    const std::size_t start = static_cast<std::size_t>(row) * width;
    for (const auto& [first, last] : spans[row]) {
      std::copy(background + start + first, background + start + last + 1,
                signal.begin() + static_cast<std::ptrdiff_t>(start + first));
    }
  }
  AddHotPixels(sky, request, width, height, seconds, signal);
  AddStars(buffers.placements, request, width, sigma, signal, buffers);

  buffers.normals.resize(static_cast<std::size_t>(width));
  buffers.sigmas.resize(static_cast<std::size_t>(width));
  double* normals = buffers.normals.data();
  double* sigmas = buffers.sigmas.data();
  for (int row = 0; row < height; ++row) {
    const std::size_t start = static_cast<std::size_t>(row) * width;
    std::uint16_t* out = values.data() + start;
    if (!RowRead(request.y + row, request.field)) {
      std::fill(out, out + width, 0);
      continue;
    }
    noise.Normals(buffers.normals);
    kernels::NoisyRow(background + start, backgroundSigma + start, normals,
                      static_cast<std::size_t>(width), kBiasAdu, out);
    int done = -1;  // the last column redone in this row
    for (const auto& [first, last] : spans[row]) {
      const int from = std::max(first, done + 1);
      if (from > last) continue;
      const double* s = signal.data() + start;
      kernels::NoiseSigmas(s + from, static_cast<std::size_t>(last - from + 1), kReadVariance,
                           sigmas + from);
      kernels::NoisyRow(s + from, sigmas + from, normals + from,
                        static_cast<std::size_t>(last - from + 1), kBiasAdu, out + from);
      done = last;
    }
  }
}

}  // namespace

SensorPoint StarOnSensor(const SimStar& star, const PointingOffset& offset, bool guider,
                         const SimConfig& config) {
  if (!guider) return {star.x + offset.x, star.y + offset.y};
  const double angle = config.guiderRotationDeg * std::numbers::pi / 180;
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  // A mirror in the light path turns the field over: north becomes south before the turn.
  const double dec = config.guiderMirrored ? -offset.y : offset.y;
  return {star.x + c * offset.x - s * dec, star.y + s * offset.x + c * dec};
}

void RenderFrame(const SimSky& sky, const SimMount& mount, const SimConfig& config,
                 const FrameRequest& request, NoiseSource& noise,
                 std::vector<std::uint16_t>& values, RenderBuffers& buffers) {
  const int width = std::max(request.width, 0);
  const int height = std::max(request.height, 0);
  const std::size_t pixels = static_cast<std::size_t>(width) * height;
  const double seconds =
      static_cast<double>(std::max<std::int64_t>(request.endMs - request.startMs, 0)) / 1000;
  buffers.signal.resize(pixels);
  values.resize(pixels);
  const double sigma = config.fwhmPx / (2 * std::sqrt(2 * std::numbers::ln2));
  PlaceStars(sky, mount, config, request, width, height, seconds, sigma, buffers.placements);

  const bool onSensor = request.x >= 0 && request.y >= 0 && request.x + width <= kSensorWidth &&
                        request.y + height <= kSensorHeight;
  if (request.guider && request.field == 3 && onSensor &&
      seconds * MaxGuiderRate() <= kQuietGuiderSignal) {
    QuietGuiderFrame(sky, request, width, height, seconds, sigma, buffers.placements, values,
                     buffers, noise);
    return;
  }

  if (!request.guider) {
    MainCameraFrame(sky, request, width, height, seconds, sigma, values, buffers, noise);
    return;
  }
  const std::span<double> signal(buffers.signal);
  AddBackground(request, width, height, seconds, signal);
  AddHotPixels(sky, request, width, height, seconds, signal);
  AddStars(buffers.placements, request, width, sigma, signal, buffers);
  for (int row = 0; row < height; ++row) {
    const std::size_t start = static_cast<std::size_t>(row) * width;
    const std::span<std::uint16_t> out(values.data() + start, width);
    if (!RowRead(request.y + row, request.field)) {
      std::fill(out.begin(), out.end(), 0);
      continue;
    }
    GuiderRow(std::span<const double>(signal.data() + start, width), noise, out);
  }
}

std::vector<std::uint16_t> RenderFrame(const SimSky& sky, const SimMount& mount,
                                       const SimConfig& config, const FrameRequest& request,
                                       NoiseSource& noise) {
  std::vector<std::uint16_t> values;
  RenderBuffers buffers;
  RenderFrame(sky, mount, config, request, noise, values, buffers);
  return values;
}

}  // namespace corvex::sim
