#include "ui/host_windows.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>

#include <algorithm>

namespace corvex::ui {

namespace {
constexpr int kProgressMax = 256;

QString OneDecimal(double value) { return QString::asprintf("%1.1f", value); }
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
  setWindowTitle("Filter Progress");
}

void TFilterProgress::SetCaption(const QString& caption) { setWindowTitle(caption); }

void TFilterProgress::SetPosition(int position) {
  bar_->setValue(std::clamp(position, 0, kProgressMax));
}

int TFilterProgress::position() const { return bar_->value(); }

TGuidingInfoDialog::TGuidingInfoDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("GuidingInfo");
  setModal(false);
  auto* form = new QFormLayout(this);
  const auto field = [&](const char* label, const char* name) {
    auto* value = new QLabel(this);
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
  setWindowTitle("Guiding Info");
}

void TGuidingInfoDialog::Show(const GuidingInfo& info) {
  setWindowTitle(QString::fromStdString(info.caption));
  x_->setText(OneDecimal(info.x));
  y_->setText(OneDecimal(info.y));
  dx_->setText(OneDecimal(info.dx));
  dy_->setText(OneDecimal(info.dy));
  slewX_->setText(info.guider ? QString::asprintf("%5d", info.slewTimeX) : QString());
  slewY_->setText(info.guider ? QString::asprintf("%5d", info.slewTimeY) : QString());
  if (!isVisible()) show();
}

}  // namespace corvex::ui
