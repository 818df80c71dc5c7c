#include "ui/host_windows.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cmath>

#include <algorithm>

namespace corvex::ui {

namespace {
constexpr int kProgressMax = 256;

QString OneDecimal(double value) { return QString::asprintf("%1.1f", value); }

// A "Stop" button that never becomes the default: Enter pressed for something else must not
// end a long exposure.
QPushButton* StopButton(QWidget* parent, const std::function<void()>& pressed) {
  auto* stop = new QPushButton("Stop", parent);
  stop->setObjectName("stop");
  stop->setAutoDefault(false);
  QObject::connect(stop, &QPushButton::clicked, parent, pressed);
  return stop;
}
}  // namespace

TFilterProgress::TFilterProgress(QWidget* parent) : QDialog(parent) {
  setObjectName("FilterProgress");
  setModal(false);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(new QLabel("0%", this));
  bar_ = new QScrollBar(Qt::Horizontal, this);
  bar_->setObjectName("id101");
  bar_->setRange(0, kProgressMax);
  bar_->setFocusPolicy(Qt::NoFocus);
  bar_->setMinimumWidth(240);
  layout->addWidget(bar_, 1);
  layout->addWidget(new QLabel("100%", this));
  stop_ = StopButton(this, [this] {
    if (onStop) onStop();
  });
  stop_->setEnabled(false);
  layout->addWidget(stop_);
  setWindowTitle("Filter Progress");
}

void TFilterProgress::SetStopEnabled(bool enabled) { stop_->setEnabled(enabled); }

void TFilterProgress::closeEvent(QCloseEvent* event) {
  // The window belongs to the run; closing it asks the run to stop, as "Stop" does, and the
  // run closes the window when it has ended.
  event->ignore();
  if (stop_->isEnabled() && onStop) onStop();
}

void TFilterProgress::SetCaption(const QString& caption) { setWindowTitle(caption); }

void TFilterProgress::SetPosition(int position) {
  bar_->setValue(std::clamp(position, 0, kProgressMax));
}

int TFilterProgress::position() const { return bar_->value(); }

constexpr int kGraphPoints = 120;
constexpr int kGraphHeight = 90;
constexpr int kPictureSide = 128;

TGuidePicture::TGuidePicture(QWidget* parent) : QWidget(parent) {
  setObjectName("guidePicture");
  setMinimumSize(2 * kPictureSide + 140, kPictureSide + kGraphHeight + 8);
}

void TGuidePicture::Show(const QPixmap& frame, QPoint reference, double dx, double dy,
                         bool newPoint) {
  if (!frame.isNull()) frame_ = frame;
  reference_ = reference;
  if (newPoint) {
    history_.emplace_back(dx, dy);
    if (history_.size() > static_cast<std::size_t>(kGraphPoints)) history_.erase(history_.begin());
  }
  update();
}

void TGuidePicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  // The frame, scaled into a square at the left, with the cross at the reference.
  const QRect square(0, 0, kPictureSide, kPictureSide);
  painter.fillRect(square, Qt::black);
  if (!frame_.isNull()) {
    const QPixmap scaled = frame_.scaled(square.size(), Qt::KeepAspectRatio);
    painter.drawPixmap(0, 0, scaled);
    const double sx = static_cast<double>(scaled.width()) / frame_.width();
    const double sy = static_cast<double>(scaled.height()) / frame_.height();
    const QPointF at(reference_.x() * sx, reference_.y() * sy);
    painter.setPen(QPen(QColor(255, 255, 0), 1));
    painter.drawLine(at - QPointF(0, 20 * sy), at + QPointF(0, 20 * sy));
    painter.drawLine(at - QPointF(20 * sx, 0), at + QPointF(20 * sx, 0));
  }
  // The graph under it: the last corrections, scaled to the largest error shown (at least
  // one pixel either way).
  const QRect graph(0, kPictureSide + 6, width() - 1, kGraphHeight);
  painter.fillRect(graph, QColor(250, 250, 250));
  painter.setPen(QColor(200, 200, 200));
  painter.drawRect(graph);
  const double middle = graph.center().y();
  painter.drawLine(QPointF(graph.left(), middle), QPointF(graph.right(), middle));
  double largest = 1.0;
  for (const QPointF& p : history_) largest = std::max({largest, std::abs(p.x()), std::abs(p.y())});
  const double xStep = static_cast<double>(graph.width()) / (kGraphPoints - 1);
  const double yScale = (graph.height() / 2.0 - 2) / largest;
  for (int axis = 0; axis < 2; ++axis) {
    painter.setPen(QPen(axis == 0 ? QColor(200, 40, 40) : QColor(40, 40, 200), 1));
    QPolygonF line;
    for (std::size_t i = 0; i < history_.size(); ++i) {
      const double value = axis == 0 ? history_[i].x() : history_[i].y();
      line << QPointF(graph.left() + i * xStep, middle - value * yScale);
    }
    painter.drawPolyline(line);
  }
  painter.setPen(Qt::black);
  painter.drawText(graph.adjusted(4, 2, -4, -2), Qt::AlignTop | Qt::AlignLeft,
                   QString::asprintf("dx red, dy blue, +/-%.1f px", largest));
}

TGuidingInfoDialog::TGuidingInfoDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("GuidingInfo");
  setModal(false);
  auto* outer = new QHBoxLayout(this);
  auto* values = new QWidget(this);
  auto* form = new QFormLayout(values);
  const auto field = [&](const char* label, const char* name) {
    auto* value = new QLabel(values);
    value->setObjectName(name);
    value->setMinimumWidth(80);
    form->addRow(label, value);
    return value;
  };
  x_ = field("x", "x");
  y_ = field("y", "y");
  dx_ = field("dx", "dx");
  dy_ = field("dy", "dy");
  slewX_ = field("Slew time x axis", "slewTimeX");
  slewY_ = field("Slew time y axis", "slewTimeY");
  auto* left = new QVBoxLayout;
  left->addWidget(values);
  stop_ = StopButton(this, [this] {
    if (onStop) onStop();
  });
  left->addWidget(stop_, 0, Qt::AlignLeft);
  left->addStretch(1);
  outer->addLayout(left);
  picture_ = new TGuidePicture(this);
  outer->addWidget(picture_, 1);
  setWindowTitle("Guiding Info");
}

void TGuidingInfoDialog::closeEvent(QCloseEvent* event) {
  // Guiding owns the window: closing it stops guiding, which then closes the window.
  event->ignore();
  if (onStop) onStop();
}

void TGuidingInfoDialog::Show(const GuidingInfo& info, const QPixmap& frame) {
  setWindowTitle(QString::fromStdString(info.caption));
  x_->setText(OneDecimal(info.x));
  y_->setText(OneDecimal(info.y));
  dx_->setText(OneDecimal(info.dx));
  dy_->setText(OneDecimal(info.dy));
  slewX_->setText(info.guider ? QString::asprintf("%5d", info.slewTimeX) : QString());
  slewY_->setText(info.guider ? QString::asprintf("%5d", info.slewTimeY) : QString());
  // Each update after a correction adds its error to the graph; caption changes do not.
  const bool newPoint = info.caption == "Guiding Info";
  picture_->Show(frame, QPoint(info.referenceX, info.referenceY), info.dx, info.dy, newPoint);
  if (!isVisible()) show();
}

}  // namespace corvex::ui
