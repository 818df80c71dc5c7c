// The small modeless windows long operations show: the shared "Filter Progress" dialog, with
// its caption in full, which exposure of a series is under way, the time the work has taken
// and is likely still to take, and the guiding information window ("Guiding Info",
// "AutoGuider Camera Guiding") with the guide frame and the guiding graph; each has the
// "Stop" button that ends the run or the guiding behind it. When guiding has ended, its
// window stays with the run's summary until closed.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <cstdint>
#include <functional>
#include <optional>

#include "guiding/guide_stats.h"
#include "platform/host.h"

class QLabel;
class QPushButton;
class QScrollBar;

namespace corvex::ui {

class TFilterProgress : public QDialog {
 public:
  explicit TFilterProgress(QWidget* parent);
  // A new caption starts the clock again; the same caption shown again keeps it running.
  void SetCaption(const QString& caption);
  void SetPosition(int position);  // 0-256
  int position() const;
  QString caption() const;
  // The exposure of a capture series under way, "Exposure 2 of 5" ("Exposure 7" when the
  // series has no end), kept through every caption until a `frame` of 0 hides it.
  void SetSeriesCount(int frame, int frames);
  // The counter's text; empty while no series runs, and then the counter is hidden.
  QString seriesText() const;
  // "Elapsed 0:12   remaining about 0:48", from the clock and the bar's progress.
  QString TimesText() const;
  // The clock the times are read from, ms (the program's clock; real time until set).
  std::function<std::int64_t()> now;
  // "Stop" is enabled only while the work behind the window can be stopped (a run that is
  // waiting on its exposure); a processing pass or a readout cannot be.
  void SetStopEnabled(bool enabled);
  QPushButton* stopButton() const { return stop_; }

  // Heard on "Stop" and on the window's close button.
  std::function<void()> onStop;

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Esc never just hides the window while its run goes on; the host hears Esc as the stop.
  void reject() override {}

 private:
  void UpdateTimes();
  std::int64_t Now() const;

  QScrollBar* bar_;
  QPushButton* stop_;
  QLabel* caption_;
  QLabel* series_;
  QLabel* times_;
  std::int64_t startedMs_ = 0;
  std::int64_t movedMs_ = 0;  // when the bar last moved
  int movedTo_ = 0;
};

// The guide frame with a 40-pixel cross at the reference.
class TGuidePicture : public QWidget {
 public:
  explicit TGuidePicture(QWidget* parent);
  void Show(const QPixmap& frame, QPoint reference);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap frame_;
  QPoint reference_;
};

class TGuideGraph;

class TGuidingInfoDialog : public QDialog {
 public:
  explicit TGuidingInfoDialog(QWidget* parent);
  // A new guiding run: its graph starts empty on these axes.
  void Begin(const GuideAxes& axes, std::optional<double> arcsecPerPixel);
  // `frame` is the guide frame's picture (may be null).
  void Show(const GuidingInfo& info, const QPixmap& frame = {});
  // One measured correction for the graph, seconds since the run began.
  void AddCorrection(double seconds, double dx, double dy);
  // Guiding has ended: the summary stays on screen and "Stop" becomes "Close".
  void Finish(const QString& logNote);
  bool finished() const { return finished_; }
  const TGuidePicture& picture() const { return *picture_; }
  TGuideGraph& graph() const { return *graph_; }
  QPushButton* stopButton() const { return stop_; }

  // Heard on "Stop" and on the window's close button while guiding runs: guiding ends.
  std::function<void()> onStop;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override {}

 private:
  QPushButton* stop_;
  TGuidePicture* picture_;
  TGuideGraph* graph_;
  QLabel* x_;
  QLabel* y_;
  QLabel* dx_;
  QLabel* dy_;
  QLabel* slewX_;
  QLabel* slewY_;
  bool finished_ = false;
};

}  // namespace corvex::ui
