// Two modeless windows that look at the current image: "Histogram of Current Image" (one at
// a time) and "Pixel Value", which the main window fills from a click.
#pragma once

#include <QDialog>
#include <array>

#include "state/image_store.h"

class QLineEdit;

namespace corvex {
struct Corvex;
}

namespace corvex::ui {

// The 256-bin histogram of the high bytes of rows 10-289, the count the window's background
// level is taken from.
std::array<long, 256> HighByteHistogram(const ImageBuffer& image);

class THistDialog : public QDialog {
  Q_OBJECT

 public:
  THistDialog(const ImageBuffer& image, QWidget* parent);
  // The text listed beside the bars: the first 15 bins cut off at the top.
  QString CutBinsText() const;
  QImage Render();  // the painting, for tests and screenshots

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void PaintHistogram(QPainter& painter);
  std::array<long, 256> counts_;
};

class TValuesDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TValuesDialog(QWidget* parent);
  // The pixel at (x, y): the colour plane bytes (0 without colour) and the 16-bit sample.
  void ShowPixel(Corvex& corvex, int x, int y);
  QString Field(int id) const;

 private:
  std::array<QLineEdit*, 6> fields_{};
};

}  // namespace corvex::ui
