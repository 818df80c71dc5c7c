#include "ui/host_windows.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "ui/guide_graph.h"

namespace corvex::ui {

namespace {
constexpr int kProgressMax = 256;
constexpr int kTimesRefreshMs = 500;
// The bar must have moved this far before a remaining time is worth guessing.
constexpr int kLeastPositionForEstimate = 8;

// "0:07", "12:34", "1:02:03".
QString Duration(std::int64_t ms) {
  const std::int64_t s = std::max<std::int64_t>(ms, 0) / 1000;
  if (s >= 3600) {
    return QString::asprintf("%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                             static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  }
  return QString::asprintf("%lld:%02lld", static_cast<long long>(s / 60),
                           static_cast<long long>(s % 60));
}

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
  auto* outer = new QVBoxLayout(this);
  // The caption in full inside the window: a title bar cuts long ones short.
  caption_ = new QLabel(this);
  caption_->setObjectName("caption");
  caption_->setWordWrap(true);
  QFont bold = caption_->font();
  bold.setBold(true);
  caption_->setFont(bold);
  outer->addWidget(caption_);
  series_ = new QLabel(this);
  series_->setObjectName("series");
  series_->hide();
  outer->addWidget(series_);
  auto* layout = new QHBoxLayout;
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
  outer->addLayout(layout);
  times_ = new QLabel(this);
  times_->setObjectName("times");
  outer->addWidget(times_);
  setWindowTitle("Filter Progress");
  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, [this] { UpdateTimes(); });
  timer->start(kTimesRefreshMs);
}

std::int64_t TFilterProgress::Now() const {
  return now ? now() : QDateTime::currentMSecsSinceEpoch();
}

QString TFilterProgress::caption() const { return caption_->text(); }

void TFilterProgress::SetSeriesCount(int frame, int frames) {
  if (frame <= 0) {
    series_->clear();
    series_->hide();
    return;
  }
  series_->setText(frames > 0 ? QString("Exposure %1 of %2").arg(frame).arg(frames)
                              : QString("Exposure %1").arg(frame));
  series_->show();
}

QString TFilterProgress::seriesText() const { return series_->text(); }

QString TFilterProgress::TimesText() const {
  const std::int64_t now = Now();
  QString text = "Elapsed " + Duration(now - startedMs_);
  if (movedTo_ >= kLeastPositionForEstimate && movedTo_ < kProgressMax) {
    // The bar moves in steps: the whole takes as long as the last step suggests, and the
    // remaining time counts down between steps.
    const std::int64_t total = (movedMs_ - startedMs_) * kProgressMax / movedTo_;
    text += "   remaining about " + Duration(startedMs_ + total - now);
  }
  return text;
}

void TFilterProgress::UpdateTimes() {
  if (isVisible()) times_->setText(TimesText());
}

void TFilterProgress::SetStopEnabled(bool enabled) { stop_->setEnabled(enabled); }

void TFilterProgress::closeEvent(QCloseEvent* event) {
  // The window belongs to the run; closing it asks the run to stop, as "Stop" does, and the
  // run closes the window when it has ended.
  event->ignore();
  if (stop_->isEnabled() && onStop) onStop();
}

void TFilterProgress::SetCaption(const QString& caption) {
  if (caption != caption_->text() || !isVisible()) {
    startedMs_ = movedMs_ = Now();
    movedTo_ = 0;
  }
  setWindowTitle(caption);
  caption_->setText(caption);
  UpdateTimes();
}

void TFilterProgress::SetPosition(int position) {
  position = std::clamp(position, 0, kProgressMax);
  if (position != movedTo_) {
    movedTo_ = position;
    movedMs_ = Now();
  }
  bar_->setValue(position);
  UpdateTimes();
}

int TFilterProgress::position() const { return bar_->value(); }

constexpr int kPictureSide = 128;

TGuidePicture::TGuidePicture(QWidget* parent) : QWidget(parent) {
  setObjectName("guidePicture");
  setFixedSize(kPictureSide, kPictureSide);
}

void TGuidePicture::Show(const QPixmap& frame, QPoint reference) {
  if (!frame.isNull()) frame_ = frame;
  reference_ = reference;
  update();
}

void TGuidePicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  // The frame, scaled into the square, with the cross at the reference.
  const QRect square(0, 0, kPictureSide, kPictureSide);
  painter.fillRect(square, Qt::black);
  if (frame_.isNull()) return;
  const QPixmap scaled = frame_.scaled(square.size(), Qt::KeepAspectRatio);
  painter.drawPixmap(0, 0, scaled);
  const double sx = static_cast<double>(scaled.width()) / frame_.width();
  const double sy = static_cast<double>(scaled.height()) / frame_.height();
  const QPointF at(reference_.x() * sx, reference_.y() * sy);
  painter.setPen(QPen(QColor(255, 255, 0), 1));
  painter.drawLine(at - QPointF(0, 20 * sy), at + QPointF(0, 20 * sy));
  painter.drawLine(at - QPointF(20 * sx, 0), at + QPointF(20 * sx, 0));
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
    value->setMinimumWidth(70);
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
  picture_ = new TGuidePicture(this);
  left->addWidget(picture_);
  left->addWidget(values);
  stop_ = StopButton(this, [this] {
    if (finished_) {
      hide();
    } else if (onStop) {
      onStop();
    }
  });
  left->addWidget(stop_, 0, Qt::AlignLeft);
  left->addStretch(1);
  outer->addLayout(left);
  graph_ = new TGuideGraph(this);
  graph_->setMinimumWidth(420);
  outer->addWidget(graph_, 1);
  setWindowTitle("Guiding Info");
}

void TGuidingInfoDialog::closeEvent(QCloseEvent* event) {
  // Guiding owns the window while it runs: closing it stops guiding, which then leaves the
  // summary here. Afterwards the window simply closes.
  if (finished_) {
    event->accept();
    return;
  }
  event->ignore();
  if (onStop) onStop();
}

void TGuidingInfoDialog::Begin(const GuideAxes& axes, std::optional<double> arcsecPerPixel) {
  finished_ = false;
  stop_->setText("Stop");
  graph_->Start(axes, arcsecPerPixel);
}

void TGuidingInfoDialog::Show(const GuidingInfo& info, const QPixmap& frame) {
  setWindowTitle(QString::fromStdString(info.caption));
  x_->setText(OneDecimal(info.x));
  y_->setText(OneDecimal(info.y));
  dx_->setText(OneDecimal(info.dx));
  dy_->setText(OneDecimal(info.dy));
  // The move times are milliseconds.
  slewX_->setText(info.guider ? QString::asprintf("%5d ms", info.slewTimeX) : QString());
  slewY_->setText(info.guider ? QString::asprintf("%5d ms", info.slewTimeY) : QString());
  picture_->Show(frame, QPoint(info.referenceX, info.referenceY));
  if (!isVisible()) show();
}

void TGuidingInfoDialog::AddCorrection(double seconds, double dx, double dy) {
  graph_->Add(seconds, dx, dy);
}

void TGuidingInfoDialog::Finish(const QString& logNote) {
  finished_ = true;
  stop_->setText("Close");
  graph_->Finish(logNote);
  setWindowTitle(windowTitle() + " - ended");
  // The summary's lines below the graph: the window grows to hold them.
  if (layout() != nullptr) layout()->activate();
  adjustSize();
}

}  // namespace corvex::ui
