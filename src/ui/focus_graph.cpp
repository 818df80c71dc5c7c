#include "ui/focus_graph.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui/plot_painting.h"

namespace corvex::ui {

namespace {

constexpr int kLeft = 40;
constexpr int kBottom = 16;
constexpr int kTop = 14;
constexpr int kShownFrames = 60;  // the last frames the graph shows
const QColor kHfrColour(30, 90, 210);
const QColor kFwhmColour(210, 120, 20);

QString Width(double px, std::optional<double> scale) {
  QString text = QString::number(px, 'f', 2) + " px";
  if (scale) text += QString(" (%1\")").arg(px * *scale, 0, 'f', 1);
  return text;
}

QString Describe(const TFocusGraph::Point& p, std::optional<double> scale) {
  if (!p.star) return QString("frame %1: no star to measure").arg(p.frame);
  return QString("frame %1: HFR %2  FWHM %3  peak %4")
      .arg(p.frame)
      .arg(Width(p.star->hfr, scale), Width(p.star->fwhm, scale))
      .arg(p.star->peak);
}

}  // namespace

class TFocusPlot : public QWidget {
 public:
  TFocusPlot(const TFocusGraph& graph, QWidget* parent) : QWidget(parent), graph_(graph) {
    setObjectName("focusPlot");
    setMinimumSize(260, 120);
  }
  void Paint(QPainter& painter, QRect area) const;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    Paint(painter, rect());
  }

 private:
  const TFocusGraph& graph_;
};

void TFocusPlot::Paint(QPainter& painter, QRect area) const {
  const QRect plot = BeginPlot(painter, area, kLeft, kTop, kBottom);

  const auto& points = graph_.points_;
  const int last = points.empty() ? 1 : points.back().frame;
  const int first = std::max(1, last - kShownFrames + 1);
  double top = 1;
  for (const auto& p : points) {
    if (p.frame >= first && p.star) top = std::max({top, p.star->hfr, p.star->fwhm});
  }
  top = std::ceil(top * 1.15);
  const auto xOf = [&](int frame) {
    return plot.left() +
           (last == first ? plot.width() / 2.0
                          : (frame - first) * static_cast<double>(plot.width()) / (last - first));
  };
  const auto yOf = [&](double px) { return plot.bottom() - px / top * plot.height(); };
  // Pixel axis in whole pixels, frame axis at its ends.
  const int step = std::max(1, static_cast<int>(top) / 4);
  for (int px = 0; px <= top; px += step) {
    ValueLine(painter, area, plot, kLeft, yOf(px), QColor(230, 230, 230), QString("%1 px").arg(px));
  }
  painter.drawText(QRect(plot.left(), plot.bottom() + 1, 80, kBottom), Qt::AlignLeft,
                   QString("frame %1").arg(first));
  painter.drawText(QRect(plot.right() - 80, plot.bottom() + 1, 80, kBottom), Qt::AlignRight,
                   QString::number(last));

  painter.setRenderHint(QPainter::Antialiasing, true);
  for (int series = 0; series < 2; ++series) {
    const QColor colour = series == 0 ? kHfrColour : kFwhmColour;
    painter.setPen(QPen(colour, 1.4));
    painter.setBrush(colour);
    QPolygonF line;
    for (const auto& p : points) {
      if (p.frame < first) continue;
      if (!p.star) {
        painter.drawPolyline(line);  // a frame without a star breaks the line
        line.clear();
        continue;
      }
      const QPointF at(xOf(p.frame), yOf(series == 0 ? p.star->hfr : p.star->fwhm));
      line << at;
      painter.drawEllipse(at, 2, 2);
    }
    painter.drawPolyline(line);
  }
  painter.setBrush(Qt::NoBrush);
  // The best frame: the smallest HFR.
  if (const auto best = graph_.Best(); best && best->frame >= first) {
    const QPointF at(xOf(best->frame), yOf(best->star->hfr));
    painter.setPen(QPen(QColor(0, 150, 0), 2));
    painter.drawEllipse(at, 5, 5);
  }
  painter.setRenderHint(QPainter::Antialiasing, false);
  // Legend.
  int x = plot.left();
  for (int series = 0; series < 2; ++series) {
    painter.setPen(QPen(series == 0 ? kHfrColour : kFwhmColour, 2));
    painter.drawLine(x, area.top() + 7, x + 12, area.top() + 7);
    painter.setPen(Qt::black);
    const QString name = series == 0 ? "HFR" : "FWHM";
    painter.drawText(QRect(x + 15, area.top(), 50, kTop), Qt::AlignLeft | Qt::AlignVCenter, name);
    x += 15 + painter.fontMetrics().horizontalAdvance(name) + 10;
  }
  painter.setPen(QColor(0, 150, 0));
  painter.drawText(QRect(x, area.top(), plot.right() - x, kTop), Qt::AlignLeft | Qt::AlignVCenter,
                   "o best");
}

TFocusGraph::TFocusGraph(QWidget* parent) : QWidget(parent) {
  setObjectName("focusGraph");
  plot_ = new TFocusPlot(*this, this);
  last_ = new QLabel(this);
  last_->setObjectName("lastFrame");
  best_ = new QLabel(this);
  best_->setObjectName("bestFrame");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(plot_, 1);
  layout->addWidget(last_);
  layout->addWidget(best_);
}

void TFocusGraph::Clear() {
  points_.clear();
  Refresh();
}

void TFocusGraph::Add(const std::optional<StarMeasurement>& star) {
  points_.push_back({points_.empty() ? 1 : points_.back().frame + 1, star});
  Refresh();
}

void TFocusGraph::SetArcsecPerPixel(std::optional<double> scale) {
  arcsecPerPixel_ = scale;
  Refresh();
}

std::optional<TFocusGraph::Point> TFocusGraph::Best() const {
  std::optional<Point> best;
  for (const Point& p : points_) {
    if (p.star && (!best || p.star->hfr < best->star->hfr)) best = p;
  }
  return best;
}

QString TFocusGraph::LastText() const {
  return points_.empty() ? QString() : Describe(points_.back(), arcsecPerPixel_);
}

QString TFocusGraph::BestText() const {
  const auto best = Best();
  return best ? "best " + Describe(*best, arcsecPerPixel_) : QString();
}

QImage TFocusGraph::RenderPlot(QSize size) const {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setFont(font());
  plot_->Paint(painter, QRect(QPoint(0, 0), size));
  return image;
}

void TFocusGraph::Refresh() {
  last_->setText(LastText());
  best_->setText(BestText());
  plot_->update();
}

}  // namespace corvex::ui
