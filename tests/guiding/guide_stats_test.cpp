// Guiding quality: errors resolved along RA and Dec, the RMS and largest error, the graph's
// scale after the settling jump, and the guide log's rows and summary.
#include "guiding/guide_stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace corvex {
namespace {

TEST(GuideStats, ErrorsResolvedAlongTheTrainedAxes) {
  // No training: the frame's axes, as they are.
  GuiderTraining untrained;
  const GuideAxes frame = AxesFromTraining(untrained);
  EXPECT_FALSE(frame.sky);
  EXPECT_STREQ(frame.FirstName(), "x");
  const AxisError same = ResolveOnAxes(frame, 0.3, -0.4);
  EXPECT_DOUBLE_EQ(same.first, 0.3);
  EXPECT_DOUBLE_EQ(same.second, -0.4);

  // A guider turned by 30 degrees: an error along the RA motion is all RA.
  GuiderTraining turned;
  const double a = 30 * std::numbers::pi / 180;
  turned.raMotionX = 6 * std::cos(a), turned.raMotionY = 6 * std::sin(a);
  turned.decMotionX = -5 * std::sin(a), turned.decMotionY = 5 * std::cos(a);
  const GuideAxes sky = AxesFromTraining(turned);
  ASSERT_TRUE(sky.sky);
  EXPECT_STREQ(sky.SecondName(), "Dec");
  const AxisError ra = ResolveOnAxes(sky, std::cos(a), std::sin(a));
  EXPECT_NEAR(ra.first, 1, 1e-12);
  EXPECT_NEAR(ra.second, 0, 1e-12);
  const AxisError dec = ResolveOnAxes(sky, -0.5 * std::sin(a), 0.5 * std::cos(a));
  EXPECT_NEAR(dec.first, 0, 1e-12);
  EXPECT_NEAR(dec.second, 0.5, 1e-12);
  // Axes that are not at right angles (a mirrored, sheared guider) still split an error
  // into its two parts.
  turned.decMotionX = 3, turned.decMotionY = 4;
  const GuideAxes skew = AxesFromTraining(turned);
  const AxisError parts = ResolveOnAxes(skew, 2 * skew.firstX + 3 * skew.secondX,
                                        2 * skew.firstY + 3 * skew.secondY);
  EXPECT_NEAR(parts.first, 2, 1e-12);
  EXPECT_NEAR(parts.second, 3, 1e-12);
  // A training whose RA and Dec moves went the same way cannot give sky axes.
  turned.decMotionX = 12 * std::cos(a), turned.decMotionY = 12 * std::sin(a);
  EXPECT_FALSE(AxesFromTraining(turned).sky);
}

TEST(GuideStats, RmsLargestAndDuration) {
  GuideStats stats;
  EXPECT_EQ(stats.RmsTotal(), 0);
  EXPECT_EQ(stats.Duration(), 0);
  stats.Add({10, 0.3, 0.4});
  stats.Add({12, -0.3, 0.0});
  stats.Add({14, 0.0, -0.4});
  stats.Add({16, 0.0, 0.0});
  EXPECT_EQ(stats.count(), 4);
  EXPECT_NEAR(stats.RmsFirst(), std::sqrt(0.18 / 4), 1e-12);
  EXPECT_NEAR(stats.RmsSecond(), std::sqrt(0.32 / 4), 1e-12);
  EXPECT_NEAR(stats.RmsTotal(), std::sqrt(0.5 / 4), 1e-12);
  EXPECT_NEAR(stats.Largest(), 0.5, 1e-12);
  EXPECT_EQ(stats.Duration(), 6);
  const std::string text = GuideSummaryText(stats, GuideAxes{}, std::nullopt);
  EXPECT_EQ(text,
            "Guiding summary: 6 s, 4 corrections, RMS x 0.21 px, y 0.28 px, total 0.35 px, "
            "largest error 0.50 px");
  GuideAxes sky;
  sky.sky = true;
  EXPECT_EQ(GuideSummaryText(stats, sky, 2.0).substr(0, 60),
            "Guiding summary: 6 s, 4 corrections, RMS RA 0.21 px (0.42\"),");
}

TEST(GuideStats, TheGraphScaleIgnoresTheSettlingJump) {
  std::vector<GuideSample> samples;
  samples.push_back({0, 6.0, -4.0});  // where guiding started from
  samples.push_back({1, 2.5, -1.0});
  for (int i = 2; i < 200; ++i) {
    samples.push_back({double(i), 0.2 * std::sin(i * 0.7), 0.15 * std::cos(i * 1.3)});
  }
  EXPECT_EQ(AutoGraphScale(samples), 0.25);
  // One jump later in the run is not settling: the scale holds it unless it is rarer than
  // one sample in fifty.
  samples[100] = {100, 3.0, 0};
  EXPECT_EQ(AutoGraphScale(samples), 0.25);
  for (int i = 120; i < 130; ++i) samples[i] = {double(i), 1.5, 0.2};
  EXPECT_EQ(AutoGraphScale(samples), 2);
  EXPECT_EQ(AutoGraphScale({}), 1);
  std::vector<GuideSample> runaway(20, GuideSample{0, 100, 0});
  EXPECT_EQ(AutoGraphScale(runaway), 32);
}

TEST(GuideStats, GuideLogRowsAndSummary) {
  GuideCorrection c;
  c.errorX = -1234;
  c.errorY = 56;
  c.raLetter = 'w';
  c.raMs = 205;
  EXPECT_EQ(GuideLogRow(12.3456, c), "12.346,-1.234,0.056,w,205,-,0\n");
  GuideStats stats;
  stats.Add({0, 0.3, 0.4});
  stats.Add({2, 0.0, 0.0});
  const std::string summary = GuideLogSummary(stats, GuideAxes{}, std::nullopt);
  EXPECT_EQ(summary,
            "# Guiding summary: 2 s, 2 corrections, RMS x 0.21 px, y 0.28 px, total 0.35 px, "
            "largest error 0.50 px\n"
            "# duration_s=2.0 corrections=2 axes=x/y rms_x_px=0.212 rms_y_px=0.283 "
            "rms_total_px=0.354 largest_px=0.500\n");
}

}  // namespace
}  // namespace corvex
