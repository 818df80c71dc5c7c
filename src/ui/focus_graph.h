// Focus mode's graph: the half-flux radius and FWHM of the brightest star in each focus
// frame, frame after frame, with the best frame marked, so that the focuser can be brought
// to the bottom of the curve. Frames without a measurable star leave a gap.
#pragma once

#include <QImage>
#include <QWidget>
#include <optional>
#include <vector>

#include "processing/star_measurement.h"

class QLabel;

namespace corvex::ui {

class TFocusPlot;

class TFocusGraph : public QWidget {
 public:
  struct Point {
    int frame = 0;
    std::optional<StarMeasurement> star;
  };

  explicit TFocusGraph(QWidget* parent = nullptr);
  void Clear();
  void Add(const std::optional<StarMeasurement>& star);
  // Widths in arcseconds beside the pixels when the scale is known.
  void SetArcsecPerPixel(std::optional<double> scale);

  const std::vector<Point>& points() const { return points_; }
  // The frame with the smallest HFR so far.
  std::optional<Point> Best() const;
  // "frame 7: HFR 1.27 px  FWHM 2.55 px  peak 30211", and the best frame's.
  QString LastText() const;
  QString BestText() const;
  QImage RenderPlot(QSize size) const;

 private:
  void Refresh();
  friend class TFocusPlot;

  std::vector<Point> points_;
  std::optional<double> arcsecPerPixel_;
  TFocusPlot* plot_;
  QLabel* last_;
  QLabel* best_;
};

}  // namespace corvex::ui
