#include "processing/star_measurement.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace corvex {

namespace {

// A star must rise this many sky standard deviations above the sky to be measured.
constexpr double kDetectionSigmas = 5;
// Pixels fainter than this many standard deviations do not pull the centroid.
constexpr double kCentroidSigmas = 2;
// The sky ring runs from this far outside the aperture ...
constexpr int kSkyGap = 2;
// ... for this many pixels.
constexpr int kSkyWidth = 5;
constexpr int kSubSamples = 4;  // per pixel side when the flux is spread for the HFR
constexpr double kFwhmPerSigma = 2.3548200450309493;  // 2 sqrt(2 ln 2)
// A pixel integrates a uniform square: it adds 1/12 px^2 to a star's variance along each
// axis. Spreading a pixel's flux evenly over it again, as the HFR does, adds as much again.
constexpr double kPixelVariance = 1.0 / 12;
constexpr double kHfrPerSigma = 1.1774100225154747;  // sqrt(2 ln 2)
// An aperture reaches this many FWHM from the star's centre (at most kLargestAperture px).
constexpr double kApertureFwhms = 2.5;
constexpr int kLargestAperture = 40;
constexpr double kMicrometresPerMillimetre = 1000;
constexpr double kMillimetresPerInch = 25.4;
constexpr double kArcsecPerRadianOver1000 = 206.264806;

struct Pixel {
  double dx, dy;  // from the centre
  double value;   // above the sky
};

double Median(std::vector<double>& values) {
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// The sky level and its standard deviation (from the median absolute deviation, which stars
// and hot pixels in the ring barely move) from the ring around (cx, cy).
bool SkyAround(const std::uint16_t* values, int width, int height, int stride, double cx,
               double cy, int radius, double& sky, double& noise) {
  const double inner = radius + kSkyGap;
  const double outer = inner + kSkyWidth;
  std::vector<double> ring;
  const int reach = static_cast<int>(std::ceil(outer));
  const int x0 = std::max(static_cast<int>(cx) - reach, 0);
  const int x1 = std::min(static_cast<int>(cx) + reach, width - 1);
  const int y0 = std::max(static_cast<int>(cy) - reach, 0);
  const int y1 = std::min(static_cast<int>(cy) + reach, height - 1);
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      const double d = std::hypot(x - cx, y - cy);
      if (d >= inner && d <= outer) ring.push_back(values[y * stride + x]);
    }
  }
  if (ring.size() < 8) return false;
  sky = Median(ring);
  for (double& v : ring) v = std::abs(v - sky);
  noise = std::max(1.4826 * Median(ring), 1.0);
  return true;
}

// The brightest 3 x 3 sum within `radius` of (x, y): a star's light spreads over its
// neighbours, a hot pixel's does not.
bool BrightestPatch(const std::uint16_t* values, int width, int height, int stride, double x,
                    double y, int radius, int& bestX, int& bestY) {
  long best = -1;
  const int cx = static_cast<int>(std::lround(x));
  const int cy = static_cast<int>(std::lround(y));
  for (int row = std::max(cy - radius, 1); row <= std::min(cy + radius, height - 2); ++row) {
    for (int col = std::max(cx - radius, 1); col <= std::min(cx + radius, width - 2); ++col) {
      if ((col - cx) * (col - cx) + (row - cy) * (row - cy) > radius * radius) continue;
      long sum = 0;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) sum += values[(row + dy) * stride + col + dx];
      }
      if (sum > best) {
        best = sum;
        bestX = col;
        bestY = row;
      }
    }
  }
  return best >= 0;
}

// The pixels within `radius` of (cx, cy), less the sky.
std::vector<Pixel> Aperture(const std::uint16_t* values, int width, int height, int stride,
                            double cx, double cy, int radius, double sky) {
  std::vector<Pixel> pixels;
  const int reach = radius + 1;
  for (int y = std::max(static_cast<int>(cy) - reach, 0);
       y <= std::min(static_cast<int>(cy) + reach, height - 1); ++y) {
    for (int x = std::max(static_cast<int>(cx) - reach, 0);
         x <= std::min(static_cast<int>(cx) + reach, width - 1); ++x) {
      const double dx = x - cx, dy = y - cy;
      if (dx * dx + dy * dy <= double(radius) * radius) {
        pixels.push_back({dx, dy, values[y * stride + x] - sky});
      }
    }
  }
  return pixels;
}

// The radius holding half of the flux, with every pixel's flux spread evenly over it.
double HalfFluxRadius(const std::vector<Pixel>& pixels, int radius) {
  std::vector<std::pair<double, double>> samples;  // (distance, flux)
  samples.reserve(pixels.size() * kSubSamples * kSubSamples);
  for (const Pixel& p : pixels) {
    const double share = p.value / (kSubSamples * kSubSamples);
    for (int i = 0; i < kSubSamples; ++i) {
      for (int j = 0; j < kSubSamples; ++j) {
        const double ox = (i + 0.5) / kSubSamples - 0.5;
        const double oy = (j + 0.5) / kSubSamples - 0.5;
        const double d = std::hypot(p.dx + ox, p.dy + oy);
        if (d <= radius) samples.emplace_back(d, share);
      }
    }
  }
  std::sort(samples.begin(), samples.end());
  double total = 0;
  for (const auto& s : samples) total += s.second;
  if (total <= 0) return 0;
  double sum = 0, previousDistance = 0;
  for (const auto& [distance, flux] : samples) {
    if (sum + flux >= total / 2 && flux > 0) {
      const double within = (total / 2 - sum) / flux;
      return previousDistance + (distance - previousDistance) * within;
    }
    sum += flux;
    previousDistance = distance;
  }
  return previousDistance;
}

// sigma^2 of the circular Gaussian A exp(-d^2 / (2 sigma^2)) that fits the pixels best in
// the least-squares sense: a log-linear fit of the bright pixels to start from, then
// Gauss-Newton steps on the values themselves, so that faint noisy pixels do not bias it.
std::optional<double> GaussianVariance(const std::vector<Pixel>& pixels, double peak) {
  // Start: ln v = ln A - s d^2 over the pixels above a fifth of the peak, weighted by v^2.
  double sw = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const Pixel& p : pixels) {
    if (p.value <= 0.2 * peak) continue;
    const double w = p.value * p.value;
    const double x = p.dx * p.dx + p.dy * p.dy;
    const double y = std::log(p.value);
    sw += w, sx += w * x, sy += w * y, sxx += w * x * x, sxy += w * x * y;
  }
  const double det = sw * sxx - sx * sx;
  if (sw <= 0 || det <= 0) return std::nullopt;
  double s = -(sw * sxy - sx * sy) / det;
  double a = std::exp((sy + s * sx) / sw);
  if (!(s > 0) || !std::isfinite(a)) return std::nullopt;
  for (int step = 0; step < 30; ++step) {
    // Normal equations of the residuals v - A e^{-s d^2} in (A, s).
    double jaa = 0, jas = 0, jss = 0, ra = 0, rs = 0;
    for (const Pixel& p : pixels) {
      const double d2 = p.dx * p.dx + p.dy * p.dy;
      const double e = std::exp(-s * d2);
      const double r = p.value - a * e;
      const double ja = e, js = -a * d2 * e;
      jaa += ja * ja, jas += ja * js, jss += js * js, ra += ja * r, rs += js * r;
    }
    const double d = jaa * jss - jas * jas;
    if (d <= 0) break;
    const double da = (jss * ra - jas * rs) / d;
    const double ds = (jaa * rs - jas * ra) / d;
    // Never a step that would turn the star inside out.
    const double next = s + ds < s / 4 ? s / 4 : s + ds;
    a += da;
    const bool settled = std::abs(next - s) < 1e-7 * s;
    s = next;
    if (settled) break;
  }
  if (!(s > 0) || !std::isfinite(s)) return std::nullopt;
  return 1 / (2 * s);
}

// The measurement with an aperture of `radius` around the centroid found from (px, py).
std::optional<StarMeasurement> MeasureWithAperture(const std::uint16_t* values, int width,
                                                   int height, int stride, double px, double py,
                                                   int radius) {
  StarMeasurement star;
  double cx = px, cy = py;
  if (!SkyAround(values, width, height, stride, cx, cy, radius, star.background, star.noise)) {
    return std::nullopt;
  }
  // The centroid of what stands above the sky, taken again around each new centre.
  for (int pass = 0; pass < 4; ++pass) {
    double sum = 0, sumX = 0, sumY = 0;
    for (const Pixel& p : Aperture(values, width, height, stride, cx, cy, radius,
                                   star.background + kCentroidSigmas * star.noise)) {
      if (p.value <= 0) continue;
      sum += p.value, sumX += p.value * p.dx, sumY += p.value * p.dy;
    }
    if (sum <= 0) return std::nullopt;
    cx += sumX / sum;
    cy += sumY / sum;
  }
  if (!SkyAround(values, width, height, stride, cx, cy, radius, star.background, star.noise)) {
    return std::nullopt;
  }
  const std::vector<Pixel> pixels =
      Aperture(values, width, height, stride, cx, cy, radius, star.background);
  double peakAbove = 0;
  for (const Pixel& p : pixels) {
    star.flux += p.value;
    peakAbove = std::max(peakAbove, p.value);
  }
  if (peakAbove < kDetectionSigmas * star.noise || star.flux <= 0) return std::nullopt;
  star.x = cx;
  star.y = cy;
  star.peak = static_cast<int>(std::lround(peakAbove + star.background));

  const double hfr = HalfFluxRadius(pixels, radius);
  const double spread = kHfrPerSigma * kHfrPerSigma * 2 * kPixelVariance;
  star.hfr = std::sqrt(std::max(hfr * hfr - spread, hfr * hfr / 4));
  const std::optional<double> variance = GaussianVariance(pixels, peakAbove);
  if (!variance) return std::nullopt;
  star.fwhm = kFwhmPerSigma * std::sqrt(std::max(*variance - kPixelVariance, *variance / 4));
  return star;
}

}  // namespace

std::optional<StarMeasurement> MeasureStar(const std::uint16_t* values, int width, int height,
                                           int stride, double x, double y, int radius) {
  radius = std::max(radius, 3);
  if (values == nullptr || width < 3 || height < 3 || !(x >= 0) || !(y >= 0) ||
      x > width - 1 || y > height - 1) {
    return std::nullopt;
  }
  int px = 0, py = 0;
  if (!BrightestPatch(values, width, height, stride, x, y, radius, px, py)) return std::nullopt;
  std::optional<StarMeasurement> star =
      MeasureWithAperture(values, width, height, stride, px, py, radius);
  // A star wider than the aperture (out of focus) loses its wings to the sky ring: measured
  // again with an aperture that holds it, as far as the frame allows.
  for (int grow = 0; star && grow < 2; ++grow) {
    const int needed = static_cast<int>(std::ceil(kApertureFwhms * star->fwhm)) + 2;
    if (needed <= radius || radius >= kLargestAperture) break;
    radius = std::min(needed, kLargestAperture);
    auto wider = MeasureWithAperture(values, width, height, stride, star->x, star->y, radius);
    if (!wider) break;
    star = wider;
  }
  return star;
}

std::optional<StarMeasurement> MeasureBrightestStar(const std::uint16_t* values, int width,
                                                    int height, int stride, int margin,
                                                    int radius) {
  if (values == nullptr || width <= 2 * margin || height <= 2 * margin) return std::nullopt;
  int px = 0, py = 0;
  long best = -1;
  for (int row = std::max(margin, 1); row < std::min(height - margin, height - 1); ++row) {
    for (int col = std::max(margin, 1); col < std::min(width - margin, width - 1); ++col) {
      long sum = 0;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) sum += values[(row + dy) * stride + col + dx];
      }
      if (sum > best) best = sum, px = col, py = row;
    }
  }
  if (best < 0) return std::nullopt;
  return MeasureStar(values, width, height, stride, px, py, radius);
}

std::optional<double> PixelScaleArcsec(double pixelWidthMm, double pixelHeightMm,
                                       double focalLengthInches) {
  if (!(pixelWidthMm > 0) || !(pixelHeightMm > 0) || !(focalLengthInches > 0) ||
      !std::isfinite(pixelWidthMm * pixelHeightMm * focalLengthInches)) {
    return std::nullopt;
  }
  const double pixelUm = std::sqrt(pixelWidthMm * pixelHeightMm) * kMicrometresPerMillimetre;
  return kArcsecPerRadianOver1000 * pixelUm / (focalLengthInches * kMillimetresPerInch);
}

}  // namespace corvex
