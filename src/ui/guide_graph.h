// The guiding graph: the errors of a guiding run along RA and Dec (or the guide frame's x
// and y when guiding has no trained axes) against time, in pixels or arcseconds, on a scale
// the user chooses or one that ignores the jump guiding starts with, with the running RMS of
// each axis and in total, and the run's summary once it has ended.
#pragma once

#include <QWidget>
#include <optional>

#include "guiding/guide_stats.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;

namespace corvex::ui {

class TGuidePlot;

class TGuideGraph : public QWidget {
 public:
  explicit TGuideGraph(QWidget* parent = nullptr);

  // A new run on these axes; `arcsecPerPixel` is the guide frame's scale when known (the
  // user can type it in).
  void Start(const GuideAxes& axes, std::optional<double> arcsecPerPixel);
  // One measured correction: seconds since the run started, error in pixels on the frame.
  void Add(double seconds, double dx, double dy);
  // The run has ended: the summary stays under the graph.
  void Finish(const QString& logNote);

  const GuideStats& stats() const { return stats_; }
  const GuideAxes& axes() const { return axes_; }
  std::optional<double> arcsecPerPixel() const;
  // Units and scale as the user sets them: arcseconds (when the scale is known), and the
  // graph's half height in those units, 0 for automatic.
  void SetArcseconds(bool on);
  void SetScale(double halfHeight);
  bool arcseconds() const;
  double ShownHalfHeight() const;  // in the shown units
  QString RmsText() const;
  QString SummaryText() const;
  QImage RenderPlot(QSize size) const;  // the plot alone, for tests and screenshots

 private:
  void Refresh();
  double UnitsPerPixel() const;

  GuideAxes axes_;
  GuideStats stats_;
  TGuidePlot* plot_;
  QComboBox* units_;
  QComboBox* scale_;
  QDoubleSpinBox* arcsecPerPixel_;
  QLabel* rms_;
  QLabel* summary_;
  bool finished_ = false;
  QString logNote_;
};

}  // namespace corvex::ui
