// Two modeless windows that look at the current image: "Histogram of Current Image" (one at
// a time, kept up to date as the image changes) and "Pixel Value", which the main window
// fills from a click.
#pragma once

#include <QDialog>
#include <array>
#include <optional>

#include "processing/screen_stretch.h"
#include "state/image_store.h"
#include "ui/histogram_view.h"

class QLabel;
class QLineEdit;
class QRadioButton;

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
  // The image again, with its colour planes when it is colour converted, and the stretch it
  // is shown with (16-bit values for a mono image, the planes' bytes for a colour one).
  void Update(const Corvex& corvex, const std::optional<ScreenStretch>& stretch);
  // The text listed beside the bars on the linear scale: the first 15 bins cut off at the
  // top.
  QString CutBinsText() const;
  void SetLogarithmic(bool on);
  QImage Render();  // the painting, for tests and screenshots
  const THistogramView& view() const { return *view_; }

 private:
  void Refresh();

  std::array<long, 256> counts_;
  THistogramView* view_;
  QLabel* cutBins_;
  QRadioButton* logarithmic_;
  QRadioButton* linear_;
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
