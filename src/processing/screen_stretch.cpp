#include "processing/screen_stretch.h"

#include <algorithm>
#include <cmath>

namespace corvex {

namespace {

constexpr double kShadowsClipSigmas = 2.8;
constexpr double kTargetBackground = 0.25;
constexpr double kMadToSigma = 1.4826;  // a normal distribution's sigma per MAD

// The value below which half of `total` values lie, from a histogram.
double HistogramMedian(std::span<const std::uint32_t> counts, std::uint64_t total) {
  std::uint64_t seen = 0;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    seen += counts[i];
    if (2 * seen >= total) return static_cast<double>(i);
  }
  return 0;
}

// The median of |value - median| from the same histogram.
double HistogramMad(std::span<const std::uint32_t> counts, std::uint64_t total, double median) {
  std::vector<std::uint32_t> deviations(counts.size(), 0);
  for (std::size_t i = 0; i < counts.size(); ++i) {
    const auto d = static_cast<std::size_t>(std::abs(static_cast<double>(i) - median));
    deviations[std::min(d, deviations.size() - 1)] += counts[i];
  }
  return HistogramMedian(deviations, total);
}

}  // namespace

double MidtonesTransfer(double m, double x) {
  if (x <= 0) return 0;
  if (x >= 1) return 1;
  if (m == 0.5) return x;
  return (m - 1) * x / ((2 * m - 1) * x - m);
}

ScreenStretch AutoScreenStretch(std::span<const std::uint32_t> counts) {
  std::uint64_t total = 0;
  std::size_t lowest = counts.size(), highest = 0;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    if (counts[i] == 0) continue;
    total += counts[i];
    lowest = std::min(lowest, i);
    highest = i;
  }
  ScreenStretch stretch;
  if (total == 0) return stretch;
  const double low = static_cast<double>(lowest);
  const double high = std::max(static_cast<double>(highest), low + 1);
  const double median = HistogramMedian(counts, total);
  const double sigma = kMadToSigma * HistogramMad(counts, total, median);
  stretch.black = std::max(median - kShadowsClipSigmas * sigma, low);
  stretch.white = high;
  const double sky = (median - stretch.black) / (stretch.white - stretch.black);
  if (sigma <= 0 || !(sky > 0) || sky >= 1) {
    // A flat frame, a ramp, or one whose middle is already bright: shown as it is.
    return ScreenStretch{low, high, 0.5};
  }
  // The balance that takes the sky to kTargetBackground.
  stretch.midtone = MidtonesTransfer(kTargetBackground, sky);
  return stretch;
}

std::vector<std::uint32_t> Histogram16(std::span<const std::uint16_t> values) {
  std::vector<std::uint32_t> counts(65536, 0);
  for (std::uint16_t v : values) ++counts[v];
  return counts;
}

std::vector<std::uint8_t> ScreenStretchTable(const ScreenStretch& stretch, int size) {
  std::vector<std::uint8_t> table(static_cast<std::size_t>(std::max(size, 0)), 0);
  const double range = std::max(stretch.white - stretch.black, 1e-9);
  for (int v = 0; v < size; ++v) {
    const double x = (v - stretch.black) / range;
    table[static_cast<std::size_t>(v)] =
        static_cast<std::uint8_t>(std::lround(255 * MidtonesTransfer(stretch.midtone, x)));
  }
  return table;
}

}  // namespace corvex
