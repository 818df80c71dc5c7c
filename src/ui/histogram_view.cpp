#include "ui/histogram_view.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace corvex::ui {

namespace {

constexpr int kLeft = 48;  // room for the counts
constexpr int kRight = 10;
constexpr int kTop = 18;     // room for the legend
constexpr int kBottom = 34;  // room for the values and the axis title
const QColor kBar(0, 0, 128);
const QColor kCut(255, 0, 0);
const QColor kPlaneColours[3] = {QColor(210, 40, 40), QColor(30, 150, 40), QColor(40, 70, 220)};

QRect PlotArea(QSize size) {
  return QRect(kLeft, kTop, size.width() - kLeft - kRight, size.height() - kTop - kBottom);
}

// "1", "10", "100", "1k", "10k", "100k", "1M".
QString Decade(int power) {
  static const char* kNames[] = {"1", "10", "100", "1k", "10k", "100k", "1M", "10M"};
  return kNames[std::clamp(power, 0, 7)];
}

}  // namespace

THistogramView::THistogramView(QWidget* parent) : QWidget(parent) {
  setObjectName("histogramView");
  setMinimumSize(360, 240);
}

void THistogramView::SetCounts(const Bins& luminance,
                               const std::optional<std::array<Bins, 3>>& planes) {
  luminance_ = luminance;
  planes_ = planes;
  update();
}

void THistogramView::SetStretchPoints(std::optional<double> black, std::optional<double> white) {
  black_ = black;
  white_ = white;
  update();
}

void THistogramView::SetLogarithmic(bool on) {
  logarithmic_ = on;
  update();
}

int THistogramView::BinX(int bin, QSize size) {
  const QRect plot = PlotArea(size);
  return plot.left() + static_cast<int>(std::lround((bin + 0.5) * plot.width() / 256.0));
}

double THistogramView::LogTop() const {
  long largest = *std::max_element(luminance_.begin(), luminance_.end());
  if (planes_) {
    for (const Bins& plane : *planes_) {
      largest = std::max(largest, *std::max_element(plane.begin(), plane.end()));
    }
  }
  return std::max(1.0, std::ceil(std::log10(std::max(largest, 10L))));
}

int THistogramView::CountY(double count, QSize size) const {
  const QRect plot = PlotArea(size);
  double share = 0;
  if (logarithmic_) {
    // log10(1 + count): 0 stays on the axis, a single pixel just above it.
    share = std::log10(1 + std::max(count, 0.0)) / LogTop();
  } else {
    share = std::min(count, double(kLinearTop)) / kLinearTop;
  }
  return plot.bottom() - static_cast<int>(std::lround(share * plot.height()));
}

void THistogramView::Paint(QPainter& painter, QRect area) const {
  const QSize size = area.size();
  painter.save();
  painter.translate(area.topLeft());
  painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
  const QRect plot = PlotArea(size);
  QFont small = painter.font();
  small.setPointSizeF(std::max(small.pointSizeF() * 0.85, 6.0));
  painter.setFont(small);

  // The count axis: decades, or the linear scale's quarters.
  painter.setPen(QColor(230, 230, 230));
  const auto countTick = [&](double count, const QString& label) {
    const int y = CountY(count, size);
    painter.setPen(QColor(230, 230, 230));
    painter.drawLine(plot.left(), y, plot.right(), y);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, y - 8, kLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter, label);
  };
  if (logarithmic_) {
    for (int power = 0; power <= static_cast<int>(LogTop()); ++power) {
      countTick(std::pow(10.0, power), Decade(power));
    }
  } else {
    for (int count = 0; count <= kLinearTop; count += kLinearTop / 4) {
      countTick(count, QString::number(count));
    }
  }
  // The value axis.
  for (int value = 0; value <= 256; value += 32) {
    const int x = plot.left() + value * plot.width() / 256;
    painter.setPen(Qt::black);
    painter.drawLine(x, plot.bottom(), x, plot.bottom() + 4);
    painter.drawText(QRect(x - 20, plot.bottom() + 5, 40, 14), Qt::AlignHCenter | Qt::AlignTop,
                     QString::number(std::min(value, 255)));
  }
  painter.drawText(QRect(plot.left(), plot.bottom() + 18, plot.width(), 14), Qt::AlignHCenter,
                   planes_ ? QString("value") : QString("value / 256"));
  painter.save();
  painter.translate(10, plot.center().y());
  painter.rotate(-90);
  painter.drawText(QRect(-40, -8, 80, 14), Qt::AlignCenter, "pixels");
  painter.restore();

  // The counts: bars for a mono image, a curve per plane for a colour one.
  if (!planes_) {
    for (int bin = 0; bin < 256; ++bin) {
      if (luminance_[bin] <= 0) continue;
      const bool cut = !logarithmic_ && luminance_[bin] > kLinearTop;
      painter.setPen(cut ? kCut : kBar);
      const int x = BinX(bin, size);
      painter.drawLine(x, plot.bottom(), x, CountY(static_cast<double>(luminance_[bin]), size));
    }
  } else {
    painter.setRenderHint(QPainter::Antialiasing, true);
    const auto curve = [&](const Bins& counts, const QColor& colour) {
      QPolygonF line;
      for (int bin = 0; bin < 256; ++bin) {
        line << QPointF(BinX(bin, size), CountY(static_cast<double>(counts[bin]), size));
      }
      painter.setPen(QPen(colour, 1.2));
      painter.drawPolyline(line);
    };
    curve(luminance_, QColor(110, 110, 110));
    for (int c = 0; c < 3; ++c) curve((*planes_)[c], kPlaneColours[c]);
    painter.setRenderHint(QPainter::Antialiasing, false);
  }

  // The screen stretch's black and white points.
  const auto marker = [&](std::optional<double> at, const QString& name, const QColor& colour) {
    if (!at) return;
    const int x = plot.left() +
                  static_cast<int>(std::lround(std::clamp(*at, 0.0, 256.0) * plot.width() / 256.0));
    painter.setPen(QPen(colour, 1, Qt::DashLine));
    painter.drawLine(x, plot.top(), x, plot.bottom());
    painter.setPen(colour);
    const bool right = x < plot.center().x();
    painter.drawText(QRect(right ? x + 3 : x - 63, plot.top() + (name == "black" ? 2 : 16), 60, 14),
                     right ? Qt::AlignLeft : Qt::AlignRight, name);
  };
  marker(black_, "black", QColor(0, 0, 0));
  marker(white_, "white", QColor(150, 110, 0));

  painter.setPen(Qt::black);
  painter.drawLine(plot.left(), plot.top(), plot.left(), plot.bottom());
  painter.drawLine(plot.left(), plot.bottom(), plot.right(), plot.bottom());
  // Legend.
  QString legend = logarithmic_ ? "logarithmic" : "linear, cut at 1000";
  if (planes_) legend = "luminance, red, green, blue; " + legend;
  painter.drawText(QRect(plot.left(), 0, plot.width(), kTop), Qt::AlignLeft | Qt::AlignVCenter,
                   legend);
  painter.restore();
}

QImage THistogramView::Render(QSize size) const {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setFont(font());
  Paint(painter, QRect(QPoint(0, 0), size));
  return image;
}

void THistogramView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter, rect());
}

}  // namespace corvex::ui
