#include "guiding/guide_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace corvex {

namespace {

constexpr double kScales[] = {0.25, 0.5, 1, 2, 4, 8, 16, 32};
// An axis pair closer than this to parallel cannot resolve an error (sine of their angle).
constexpr double kLeastAxisSine = 0.2;
// Guiding has settled from the first sample within this many times the median error.
constexpr double kSettledMedians = 2;
// The graph holds this share of the settled samples, with room to spare.
constexpr double kShownShare = 0.98;
constexpr double kHeadroom = 1.25;

double Total(const GuideSample& s) { return std::hypot(s.first, s.second); }

std::string Figure(double px, std::optional<double> arcsecPerPixel) {
  char text[64];
  if (arcsecPerPixel) {
    std::snprintf(text, sizeof text, "%.2f px (%.2f\")", px, px * *arcsecPerPixel);
  } else {
    std::snprintf(text, sizeof text, "%.2f px", px);
  }
  return text;
}

std::string Duration(double seconds) {
  const long whole = std::lround(std::max(seconds, 0.0));
  char text[48];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%ld h %ld min %ld s", whole / 3600, whole / 60 % 60,
                  whole % 60);
  } else if (whole >= 60) {
    std::snprintf(text, sizeof text, "%ld min %ld s", whole / 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld s", whole);
  }
  return text;
}

}  // namespace

GuideAxes AxesFromTraining(const GuiderTraining& training) {
  const double ra = std::hypot(training.raMotionX, training.raMotionY);
  const double dec = std::hypot(training.decMotionX, training.decMotionY);
  if (!(ra > 0) || !(dec > 0)) return {};
  const double sine =
      std::abs(training.raMotionX * training.decMotionY - training.raMotionY * training.decMotionX) /
      (ra * dec);
  if (sine < kLeastAxisSine) return {};
  GuideAxes axes;
  axes.sky = true;
  axes.firstX = training.raMotionX / ra;
  axes.firstY = training.raMotionY / ra;
  axes.secondX = training.decMotionX / dec;
  axes.secondY = training.decMotionY / dec;
  return axes;
}

AxisError ResolveOnAxes(const GuideAxes& axes, double dx, double dy) {
  const double det = axes.firstX * axes.secondY - axes.secondX * axes.firstY;
  if (std::abs(det) < 1e-12) return {dx, dy};
  return {(dx * axes.secondY - axes.secondX * dy) / det,
          (axes.firstX * dy - dx * axes.firstY) / det};
}

void GuideStats::Add(const GuideSample& sample) {
  samples_.push_back(sample);
  sumFirst_ += sample.first * sample.first;
  sumSecond_ += sample.second * sample.second;
  largest_ = std::max(largest_, Total(sample));
}

double GuideStats::RmsFirst() const {
  return samples_.empty() ? 0 : std::sqrt(sumFirst_ / samples_.size());
}

double GuideStats::RmsSecond() const {
  return samples_.empty() ? 0 : std::sqrt(sumSecond_ / samples_.size());
}

double GuideStats::RmsTotal() const {
  return samples_.empty() ? 0 : std::sqrt((sumFirst_ + sumSecond_) / samples_.size());
}

double GuideStats::Largest() const { return largest_; }

double GuideStats::Duration() const {
  return samples_.size() < 2 ? 0 : samples_.back().seconds - samples_.front().seconds;
}

double AutoGraphScale(std::span<const GuideSample> samples) {
  if (samples.empty()) return kScales[2];
  std::vector<double> totals;
  totals.reserve(samples.size());
  for (const GuideSample& s : samples) totals.push_back(Total(s));
  std::vector<double> sorted = totals;
  std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
  const double median = sorted[sorted.size() / 2];
  std::size_t settled = 0;
  while (settled < totals.size() && totals[settled] > kSettledMedians * median) ++settled;
  std::vector<double> shown;
  for (std::size_t i = settled; i < samples.size(); ++i) {
    shown.push_back(std::abs(samples[i].first));
    shown.push_back(std::abs(samples[i].second));
  }
  std::sort(shown.begin(), shown.end());
  const double reach =
      shown[std::min(shown.size() - 1, static_cast<std::size_t>(kShownShare * shown.size()))] *
      kHeadroom;
  for (const double scale : kScales) {
    if (reach <= scale) return scale;
  }
  return kScales[std::size(kScales) - 1];
}

std::string GuideSummaryText(const GuideStats& stats, const GuideAxes& axes,
                             std::optional<double> arcsecPerPixel) {
  char head[96];
  std::snprintf(head, sizeof head, "Guiding summary: %s, %d correction%s",
                Duration(stats.Duration()).c_str(), stats.count(), stats.count() == 1 ? "" : "s");
  return std::string(head) + ", RMS " + axes.FirstName() + " " +
         Figure(stats.RmsFirst(), arcsecPerPixel) + ", " + axes.SecondName() + " " +
         Figure(stats.RmsSecond(), arcsecPerPixel) + ", total " +
         Figure(stats.RmsTotal(), arcsecPerPixel) + ", largest error " +
         Figure(stats.Largest(), arcsecPerPixel);
}

std::string GuideLogRow(double seconds, const GuideCorrection& c) {
  char row[128];
  std::snprintf(row, sizeof row, "%.3f,%.3f,%.3f,%c,%d,%c,%d\n", seconds, c.errorX * 0.001,
                c.errorY * 0.001, c.raLetter ? c.raLetter : '-', c.raMs,
                c.decLetter ? c.decLetter : '-', c.decMs);
  return row;
}

std::string GuideLogSummary(const GuideStats& stats, const GuideAxes& axes,
                            std::optional<double> arcsecPerPixel) {
  char numbers[320];
  std::snprintf(numbers, sizeof numbers,
                "# duration_s=%.1f corrections=%d axes=%s rms_%s_px=%.3f rms_%s_px=%.3f "
                "rms_total_px=%.3f largest_px=%.3f",
                stats.Duration(), stats.count(), axes.sky ? "RA/Dec" : "x/y",
                axes.sky ? "ra" : "x", stats.RmsFirst(), axes.sky ? "dec" : "y",
                stats.RmsSecond(), stats.RmsTotal(), stats.Largest());
  std::string text = "# " + GuideSummaryText(stats, axes, arcsecPerPixel) + "\n" + numbers;
  if (arcsecPerPixel) {
    char scale[48];
    std::snprintf(scale, sizeof scale, " arcsec_per_px=%.3f", *arcsecPerPixel);
    text += scale;
  }
  return text + "\n";
}

}  // namespace corvex
