#include "ui/guide_graph.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui/plot_painting.h"

namespace corvex::ui {

namespace {

constexpr double kScales[] = {0.25, 0.5, 1, 2, 4, 8, 16, 32};
constexpr double kShortestSpan = 60;  // seconds the time axis shows at least
constexpr double kLongestSpan = 600;  // ... and at most: the last ten minutes
constexpr int kLeftMargin = 46;
constexpr int kBottomMargin = 18;
constexpr int kTopMargin = 16;
const QColor kFirstColour(40, 90, 220);
const QColor kSecondColour(210, 50, 50);

QString Number(double value) {
  return QString::number(value, 'g', 3);
}

// "0:30", "12:00": minutes and seconds since the run started.
QString Clock(double seconds) {
  const long whole = std::lround(seconds);
  return QString::asprintf("%ld:%02ld", whole / 60, whole % 60);
}

double TickStep(double span) {
  for (const double step : {10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0, 1800.0, 3600.0}) {
    if (span / step <= 6) return step;
  }
  return 7200;
}

}  // namespace

// The plot itself: the errors against time, axes, labels and legend.
class TGuidePlot : public QWidget {
 public:
  explicit TGuidePlot(const TGuideGraph& graph, QWidget* parent) : QWidget(parent), graph_(graph) {
    setObjectName("guidePlot");
    setMinimumSize(300, 130);
  }
  void Paint(QPainter& painter, QRect area) const;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    Paint(painter, rect());
  }

 private:
  const TGuideGraph& graph_;
};

void TGuidePlot::Paint(QPainter& painter, QRect area) const {
  const QRect plot = BeginPlot(painter, area, kLeftMargin, kTopMargin, kBottomMargin);
  const bool arcsec = graph_.arcseconds();
  const QString unit = arcsec ? "\"" : " px";
  const double half = graph_.ShownHalfHeight();
  const double perPixel = arcsec ? graph_.arcsecPerPixel().value_or(1) : 1;
  const auto yOf = [&](double value) {
    const double clipped = std::clamp(value, -half, half);
    return plot.center().y() - clipped / half * (plot.height() / 2.0);
  };

  // Value axis: zero, half and full scale either way.
  for (const double at : {-1.0, -0.5, 0.0, 0.5, 1.0}) {
    ValueLine(painter, area, plot, kLeftMargin, yOf(at * half),
              at == 0 ? QColor(120, 120, 120) : QColor(225, 225, 225), Number(at * half) + unit);
  }

  // Time axis: the run so far, or its last ten minutes.
  const auto& samples = graph_.stats().samples();
  const double end = samples.empty() ? 0 : samples.back().seconds;
  const double start = std::max(0.0, end - kLongestSpan);
  const double span = std::max(end - start, kShortestSpan);
  const auto xOf = [&](double seconds) {
    return plot.left() + (seconds - start) / span * plot.width();
  };
  const double step = TickStep(span);
  for (double t = std::ceil(start / step) * step; t <= start + span + 1e-9; t += step) {
    const double x = xOf(t);
    painter.setPen(QColor(225, 225, 225));
    painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    painter.setPen(Qt::black);
    painter.drawText(QRectF(x - 30, plot.bottom() + 2, 60, kBottomMargin - 2),
                     Qt::AlignHCenter | Qt::AlignTop, Clock(t));
  }

  // The two axes' errors.
  painter.setRenderHint(QPainter::Antialiasing, true);
  for (int axis = 0; axis < 2; ++axis) {
    QPolygonF line;
    for (const GuideSample& s : samples) {
      if (s.seconds < start) continue;
      line << QPointF(xOf(s.seconds), yOf((axis == 0 ? s.first : s.second) * perPixel));
    }
    painter.setPen(QPen(axis == 0 ? kFirstColour : kSecondColour, 1.4));
    painter.drawPolyline(line);
  }
  painter.setRenderHint(QPainter::Antialiasing, false);

  // Legend: which line is which, and what the axes are.
  const GuideAxes& axes = graph_.axes();
  int x = plot.left();
  for (int axis = 0; axis < 2; ++axis) {
    painter.setPen(QPen(axis == 0 ? kFirstColour : kSecondColour, 2));
    painter.drawLine(x, area.top() + 8, x + 14, area.top() + 8);
    painter.setPen(Qt::black);
    const QString name = axis == 0 ? axes.FirstName() : axes.SecondName();
    painter.drawText(QRect(x + 17, area.top(), 60, kTopMargin), Qt::AlignLeft | Qt::AlignVCenter,
                     name);
    x += 17 + painter.fontMetrics().horizontalAdvance(name) + 12;
  }
  painter.drawText(QRect(x, area.top(), plot.right() - x, kTopMargin),
                   Qt::AlignLeft | Qt::AlignVCenter,
                   axes.sky ? QString("from the training") : QString("guide frame pixels"));
}

TGuideGraph::TGuideGraph(QWidget* parent) : QWidget(parent) {
  setObjectName("guideGraph");
  plot_ = new TGuidePlot(*this, this);
  units_ = new QComboBox(this);
  units_->setObjectName("units");
  units_->addItems({"pixels", "arcseconds"});
  scale_ = new QComboBox(this);
  scale_->setObjectName("scale");
  scale_->addItem("Auto", 0.0);
  for (const double s : kScales) scale_->addItem(QString::fromUtf8("\u00b1") + Number(s), s);
  arcsecPerPixel_ = new QDoubleSpinBox(this);
  arcsecPerPixel_->setObjectName("arcsecPerPixel");
  arcsecPerPixel_->setRange(0, 100);
  arcsecPerPixel_->setDecimals(2);
  arcsecPerPixel_->setSingleStep(0.1);
  arcsecPerPixel_->setSpecialValueText("not set");
  arcsecPerPixel_->setSuffix(" \"/px");
  arcsecPerPixel_->setToolTip("Arcseconds per pixel of the guide frame");
  rms_ = new QLabel(this);
  rms_->setObjectName("rms");
  summary_ = new QLabel(this);
  summary_->setObjectName("summary");
  summary_->setWordWrap(true);
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel("Scale", this));
  controls->addWidget(scale_);
  controls->addWidget(new QLabel("Units", this));
  controls->addWidget(units_);
  controls->addWidget(arcsecPerPixel_);
  controls->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(plot_, 1);
  layout->addLayout(controls);
  layout->addWidget(rms_);
  layout->addWidget(summary_);

  const auto changed = [this] { Refresh(); };
  connect(units_, &QComboBox::currentIndexChanged, this, changed);
  connect(scale_, &QComboBox::currentIndexChanged, this, changed);
  connect(arcsecPerPixel_, &QDoubleSpinBox::valueChanged, this, changed);
  Refresh();
}

void TGuideGraph::Start(const GuideAxes& axes, std::optional<double> arcsecPerPixel) {
  axes_ = axes;
  stats_.Clear();
  finished_ = false;
  logNote_.clear();
  summary_->clear();
  // A scale typed for an earlier run stays unless the frame's own is known.
  if (arcsecPerPixel) arcsecPerPixel_->setValue(*arcsecPerPixel);
  Refresh();
}

void TGuideGraph::Add(double seconds, double dx, double dy) {
  const AxisError e = ResolveOnAxes(axes_, dx, dy);
  stats_.Add({seconds, e.first, e.second});
  Refresh();
}

void TGuideGraph::Finish(const QString& logNote) {
  finished_ = true;
  logNote_ = logNote;
  Refresh();
}

std::optional<double> TGuideGraph::arcsecPerPixel() const {
  if (arcsecPerPixel_->value() <= 0) return std::nullopt;
  return arcsecPerPixel_->value();
}

void TGuideGraph::SetArcseconds(bool on) {
  units_->setCurrentIndex(on ? 1 : 0);
}

void TGuideGraph::SetScale(double halfHeight) {
  const int index = scale_->findData(halfHeight);
  scale_->setCurrentIndex(index < 0 ? 0 : index);
}

bool TGuideGraph::arcseconds() const {
  return units_->currentIndex() == 1 && arcsecPerPixel().has_value();
}

double TGuideGraph::UnitsPerPixel() const {
  return arcseconds() ? *arcsecPerPixel() : 1.0;
}

double TGuideGraph::ShownHalfHeight() const {
  const double chosen = scale_->currentData().toDouble();
  if (chosen > 0) return chosen;
  // Automatic: the samples in the shown units, past the settling jump.
  std::vector<GuideSample> shown = stats_.samples();
  const double k = UnitsPerPixel();
  for (GuideSample& s : shown) s.first *= k, s.second *= k;
  return AutoGraphScale(shown);
}

QString TGuideGraph::RmsText() const {
  const double k = UnitsPerPixel();
  const QString unit = arcseconds() ? "\"" : " px";
  const auto figure = [&](double px) { return QString::number(px * k, 'f', 2) + unit; };
  return QString("RMS  %1 %2   %3 %4   total %5   (%6 correction%7)")
      .arg(axes_.FirstName(), figure(stats_.RmsFirst()), axes_.SecondName(),
           figure(stats_.RmsSecond()), figure(stats_.RmsTotal()))
      .arg(stats_.count())
      .arg(stats_.count() == 1 ? "" : "s");
}

QString TGuideGraph::SummaryText() const {
  return QString::fromStdString(GuideSummaryText(stats_, axes_, arcsecPerPixel()));
}

QImage TGuideGraph::RenderPlot(QSize size) const {
  QImage image(size, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setFont(font());
  plot_->Paint(painter, QRect(QPoint(0, 0), size));
  return image;
}

void TGuideGraph::Refresh() {
  QString rms = RmsText();
  if (units_->currentIndex() == 1 && !arcsecPerPixel()) {
    rms += "   (arcseconds need the guide frame's \"/px)";
  }
  rms_->setText(rms);
  if (finished_) {
    // One figure group a line: the window is narrower than the log's one-line summary.
    QString shown = SummaryText();
    shown.replace(", RMS ", ",\nRMS ").replace(", largest error", ",\nlargest error");
    shown += logNote_.isEmpty() ? QString() : "\n" + logNote_;
    summary_->setText(shown);
    // Room for every line, so that the window grows to show them.
    summary_->setMinimumHeight(summary_->fontMetrics().lineSpacing() *
                               static_cast<int>(shown.count('\n') + 1));
  }
  plot_->update();
}

}  // namespace corvex::ui
