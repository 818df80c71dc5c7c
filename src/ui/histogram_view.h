// The histogram picture: counts of the image's values in 256 bins, on a linear scale (the
// original 0 to 1000, taller bars cut and drawn red) or a logarithmic one, with numbers on
// both axes, a curve per colour plane for colour images, and the black and white points of
// the screen stretch the picture is shown with.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <optional>

namespace corvex::ui {

using Bins = std::array<long, 256>;

class THistogramView : public QWidget {
 public:
  explicit THistogramView(QWidget* parent = nullptr);

  // The luminance (or mono) counts, and the colour planes' for a colour image.
  void SetCounts(const Bins& luminance, const std::optional<std::array<Bins, 3>>& planes);
  // Where the screen stretch puts black and white, in the bins' units; nothing when the
  // picture is not shown through one.
  void SetStretchPoints(std::optional<double> black, std::optional<double> white);
  void SetLogarithmic(bool on);
  bool logarithmic() const { return logarithmic_; }

  void Paint(QPainter& painter, QRect area) const;
  QImage Render(QSize size) const;
  // Where bin `bin` is drawn and where a count reaches, in an area of `size` (tests).
  static int BinX(int bin, QSize size);
  int CountY(double count, QSize size) const;

  // The linear scale's top: bars above it are cut and drawn red.
  static constexpr int kLinearTop = 1000;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double LogTop() const;

  Bins luminance_{};
  std::optional<std::array<Bins, 3>> planes_;
  std::optional<double> black_;
  std::optional<double> white_;
  bool logarithmic_ = true;
};

}  // namespace corvex::ui
