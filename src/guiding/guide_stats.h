// How well guiding holds: each measured error resolved along the sky's RA and Dec (from the
// guider's training) or along the frame's x and y, the running RMS of each axis and in
// total, the largest error, a graph scale that ignores the jump guiding starts with, the
// closing summary, and the rows of the guide log.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "state/guiding_state.h"

namespace corvex {

// The directions errors are shown along, as unit vectors on the guide frame.
struct GuideAxes {
  bool sky = false;  // RA and Dec; otherwise the frame's columns and rows
  double firstX = 1, firstY = 0;   // RA (or x)
  double secondX = 0, secondY = 1;  // Dec (or y)
  const char* FirstName() const { return sky ? "RA" : "x"; }
  const char* SecondName() const { return sky ? "Dec" : "y"; }
};

// RA and Dec as the training saw a west and a north move carry the star; the frame's axes
// when the training measured no usable pair of directions.
GuideAxes AxesFromTraining(const GuiderTraining& training);

// The error (dx, dy), pixels, as its parts along the axes (which need not be at right
// angles): dx, dy = first x axis one + second x axis two.
struct AxisError {
  double first = 0;
  double second = 0;
};
AxisError ResolveOnAxes(const GuideAxes& axes, double dx, double dy);

struct GuideSample {
  double seconds = 0;  // since guiding started
  double first = 0;    // pixels along the first axis
  double second = 0;
};

class GuideStats {
 public:
  void Add(const GuideSample& sample);
  void Clear() { samples_.clear(); }

  const std::vector<GuideSample>& samples() const { return samples_; }
  int count() const { return static_cast<int>(samples_.size()); }
  double RmsFirst() const;
  double RmsSecond() const;
  double RmsTotal() const;
  double Largest() const;   // of the total error
  double Duration() const;  // from the first sample to the last, seconds

 private:
  std::vector<GuideSample> samples_;
  double sumFirst_ = 0, sumSecond_ = 0, largest_ = 0;
};

// The graph's half-height, pixels, that shows the samples once guiding has settled: the
// samples before the first one within twice the run's median error are the settling jump
// and do not count. One of 0.25, 0.5, 1, 2, 4, 8, 16 and 32.
double AutoGraphScale(std::span<const GuideSample> samples);

// "Guiding summary: 5 min 12 s, 312 corrections, RMS RA 0.21 px, Dec 0.18 px, total 0.28 px,
// largest error 1.30 px", with each figure also in arcseconds when `arcsecPerPixel` is given.
std::string GuideSummaryText(const GuideStats& stats, const GuideAxes& axes,
                             std::optional<double> arcsecPerPixel);

// The guide log: a CSV header, one row per measured correction (time in seconds, the error
// in pixels, the RA and Dec moves as letter and milliseconds), and the summary after the
// rows as lines starting with '#'.
inline constexpr const char* kGuideLogHeader = "time_s,dx_px,dy_px,ra_dir,ra_ms,dec_dir,dec_ms\n";
std::string GuideLogRow(double seconds, const GuideCorrection& correction);
std::string GuideLogSummary(const GuideStats& stats, const GuideAxes& axes,
                            std::optional<double> arcsecPerPixel);

}  // namespace corvex
