// The small modeless windows long operations show: the shared "Filter Progress" dialog and
// the guiding information window ("Guiding Info", "AutoGuider Camera Guiding"), each with the
// "Stop" button that ends the run or the guiding behind it.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <functional>
#include <vector>

#include "platform/host.h"

class QLabel;
class QPushButton;
class QScrollBar;

namespace corvex::ui {

class TFilterProgress : public QDialog {
 public:
  explicit TFilterProgress(QWidget* parent);
  void SetCaption(const QString& caption);
  void SetPosition(int position);  // 0-256
  int position() const;
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
  QScrollBar* bar_;
  QPushButton* stop_;
};

// The guide frame with a 40-pixel cross at the reference, and a scrolling graph of the last
// corrections' dx (red) and dy (blue), so that one glance tells whether guiding holds.
class TGuidePicture : public QWidget {
 public:
  explicit TGuidePicture(QWidget* parent);
  void Show(const QPixmap& frame, QPoint reference, double dx, double dy, bool newPoint);
  const std::vector<QPointF>& history() const { return history_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap frame_;
  QPoint reference_;
  std::vector<QPointF> history_;  // (dx, dy), oldest first
};

class TGuidingInfoDialog : public QDialog {
 public:
  explicit TGuidingInfoDialog(QWidget* parent);
  // `frame` is the guide frame's picture (may be null).
  void Show(const GuidingInfo& info, const QPixmap& frame = {});
  const TGuidePicture& picture() const { return *picture_; }
  QPushButton* stopButton() const { return stop_; }

  // Heard on "Stop" and on the window's close button: guiding ends.
  std::function<void()> onStop;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override {}

 private:
  QPushButton* stop_;
  TGuidePicture* picture_;
  QLabel* x_;
  QLabel* y_;
  QLabel* dx_;
  QLabel* dy_;
  QLabel* slewX_;
  QLabel* slewY_;
};

}  // namespace corvex::ui
