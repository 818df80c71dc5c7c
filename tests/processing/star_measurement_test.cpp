// Star measurements against stars whose widths are known: Gaussian stars integrated over
// the pixels as a sensor sees them, and the simulator's stars.
#include "processing/star_measurement.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "commands/camera_commands.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

constexpr int kSide = 64;
constexpr double kSky = 300;

// The share of a unit Gaussian centred at `centre` that falls on pixel i.
double Share(int i, double centre, double sigma) {
  const double scale = 1 / (sigma * std::numbers::sqrt2);
  return 0.5 * (std::erf((i + 0.5 - centre) * scale) - std::erf((i - 0.5 - centre) * scale));
}

// A kSide x kSide frame with one Gaussian star of `fwhm` and `flux` at (cx, cy) on a sky, and
// read noise of `noise` when given.
std::vector<std::uint16_t> GaussianStar(double fwhm, double cx, double cy, double flux,
                                        double noise = 0, unsigned seed = 1) {
  const double sigma = fwhm / (2 * std::sqrt(2 * std::numbers::ln2));
  std::mt19937 random(seed);
  std::normal_distribution<double> normal(0, 1);
  std::vector<std::uint16_t> frame(kSide * kSide);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const double v = kSky + flux * Share(x, cx, sigma) * Share(y, cy, sigma) +
                       (noise > 0 ? noise * normal(random) : 0);
      frame[y * kSide + x] = static_cast<std::uint16_t>(std::clamp(std::lround(v), 0L, 65535L));
    }
  }
  return frame;
}

TEST(StarMeasurement, GaussianStarsOfKnownWidth) {
  // Narrow to wide, centred anywhere within a pixel, bright and faint over read noise: FWHM
  // is the Gaussian's, HFR half of it, each within 5%.
  const struct {
    double fwhm, flux, noise;
  } cases[] = {{2.5, 40000, 0}, {2.5, 40000, 8}, {3.2, 20000, 8}, {4.0, 60000, 8},
               {6.0, 80000, 8}, {8.0, 150000, 8}, {5.0, 20000, 10}};
  int seed = 0;
  for (const auto& c : cases) {
    for (const double offset : {0.0, 0.25, 0.5, 0.8}) {
      const double cx = 31 + offset, cy = 30 + offset / 2;
      const auto frame = GaussianStar(c.fwhm, cx, cy, c.flux, c.noise, ++seed);
      // Wide stars are found from a small aperture, which then grows to hold them.
      const int radius = c.fwhm < 5 ? static_cast<int>(std::ceil(2.5 * c.fwhm)) + 2 : 8;
      const auto star = MeasureStar(frame.data(), kSide, kSide, kSide, 32, 31, radius);
      ASSERT_TRUE(star) << c.fwhm << " px at " << cx << "," << cy;
      EXPECT_NEAR(star->fwhm, c.fwhm, 0.05 * c.fwhm) << "FWHM " << c.fwhm << " noise " << c.noise;
      EXPECT_NEAR(star->hfr, c.fwhm / 2, 0.05 * c.fwhm / 2) << "HFR of FWHM " << c.fwhm;
      EXPECT_NEAR(star->x, cx, 0.1);
      EXPECT_NEAR(star->y, cy, 0.1);
      EXPECT_NEAR(star->background, kSky, 3);
      const double aperture = std::max(radius, static_cast<int>(2.5 * c.fwhm) + 3);
      EXPECT_NEAR(star->flux, c.flux, 0.03 * c.flux + 0.6 * c.noise * aperture * aperture);
    }
  }
}

TEST(StarMeasurement, PeakIsTheBrightestValueAndTheFocusCurveHasItsMinimumAtFocus) {
  const auto sharp = GaussianStar(2.5, 32, 32, 40000);
  const auto star = MeasureStar(sharp.data(), kSide, kSide, kSide, 32, 32, 10);
  ASSERT_TRUE(star);
  EXPECT_EQ(star->peak, *std::max_element(sharp.begin(), sharp.end()));
  // Through focus: the widths fall and rise again with the blur, and the peak does the
  // opposite.
  double previousHfr = 1e9;
  int previousPeak = 0;
  for (const double fwhm : {7.0, 5.0, 3.5, 2.5}) {
    const auto frame = GaussianStar(fwhm, 32.3, 31.6, 40000, 5);
    const auto s = MeasureStar(frame.data(), kSide, kSide, kSide, 32, 32, 20);
    ASSERT_TRUE(s);
    EXPECT_LT(s->hfr, previousHfr);
    EXPECT_GT(s->peak, previousPeak);
    previousHfr = s->hfr;
    previousPeak = s->peak;
  }
}

TEST(StarMeasurement, NothingToMeasure) {
  // A plain sky, a lone hot pixel, a point outside the frame, a star too near the edge for a
  // sky ring.
  std::vector<std::uint16_t> sky(kSide * kSide, 500);
  EXPECT_FALSE(MeasureStar(sky.data(), kSide, kSide, kSide, 32, 32, 10));
  auto noisy = GaussianStar(3, 32, 32, 0, 10);
  EXPECT_FALSE(MeasureStar(noisy.data(), kSide, kSide, kSide, 32, 32, 10));
  const auto star = GaussianStar(3, 32, 32, 30000);
  EXPECT_FALSE(MeasureStar(star.data(), kSide, kSide, kSide, -1, 32, 10));
  EXPECT_FALSE(MeasureStar(star.data(), kSide, kSide, kSide, 32, kSide, 10));
  EXPECT_FALSE(MeasureStar(nullptr, kSide, kSide, kSide, 32, 32, 10));
  // A stride wider than the frame: only the frame's columns count.
  std::vector<std::uint16_t> wide(kSide * (kSide + 16), 65535);
  for (int y = 0; y < kSide; ++y) {
    std::copy_n(star.begin() + y * kSide, kSide, wide.begin() + y * (kSide + 16));
  }
  const auto inWide = MeasureStar(wide.data(), kSide, kSide, kSide + 16, 32, 32, 10);
  ASSERT_TRUE(inWide);
  EXPECT_NEAR(inWide->fwhm, 3, 0.15);
}

TEST(StarMeasurement, TheSimulatorsStars) {
  // The bright white star near the middle of the simulated field, in the stored frame
  // (sensor column + 6), seen through the colour filter, at two focus settings.
  for (const double fwhm : {2.5, 4.0}) {
    testing::TestRig rig;
    sim::SimConfig config = testing::StillMount();
    config.fwhmPx = fwhm;
    testing::AttachObservatory(rig, config);
    rig.corvex.state.exposureMs = 1000;
    ASSERT_TRUE(ExposeFullFrame(rig.corvex));
    const auto star = MeasureStar(rig.corvex.store.currentImage.data(), kImageStride, kImageRows,
                                  kImageStride, 254, 129, 10);
    ASSERT_TRUE(star);
    EXPECT_NEAR(star->x, 248.3 + 6, 0.2);
    EXPECT_NEAR(star->y, 128.6, 0.2);
    EXPECT_NEAR(star->fwhm, fwhm, 0.05 * fwhm);
    EXPECT_NEAR(star->hfr, fwhm / 2, 0.05 * fwhm / 2);
  }
}

TEST(StarMeasurement, FocusModeMeasuresTheBrightestStarAwayFromTheEdges) {
  // A faint star, a bright one, and a brighter one too near the edge to be measured whole.
  auto frame = GaussianStar(3, 20, 20, 20000);
  const auto bright = GaussianStar(3, 44, 40, 60000);
  const auto edge = GaussianStar(3, 60, 10, 150000);
  for (std::size_t i = 0; i < frame.size(); ++i) {
    frame[i] = static_cast<std::uint16_t>(frame[i] + (bright[i] - kSky) + (edge[i] - kSky));
  }
  const auto star = MeasureBrightestStar(frame.data(), kSide, kSide, kSide, 8);
  ASSERT_TRUE(star);
  EXPECT_NEAR(star->x, 44, 0.1);
  EXPECT_NEAR(star->y, 40, 0.1);
  EXPECT_NEAR(star->fwhm, 3, 0.15);
  // A frame smaller than its margins has nothing to measure.
  EXPECT_FALSE(MeasureBrightestStar(frame.data(), 16, 16, kSide, 8));
}

TEST(StarMeasurement, PixelScale) {
  // 9.8 x 12.6 um pixels behind 40 inches (1016 mm): 206.265 x 11.11 / 1016.
  const auto scale = PixelScaleArcsec(0.0098, 0.0126, 40);
  ASSERT_TRUE(scale);
  EXPECT_NEAR(*scale, 206.265 * std::sqrt(9.8 * 12.6) / 1016, 1e-5);
  EXPECT_FALSE(PixelScaleArcsec(0, 0.0126, 40));
  EXPECT_FALSE(PixelScaleArcsec(0.0098, 0.0126, 0));
  EXPECT_FALSE(PixelScaleArcsec(0.0098, NAN, 40));
}

}  // namespace
}  // namespace corvex
