#include "ui/label_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "corvex.h"
#include "files/image_label.h"
#include "state/messages.h"
#include "ui/fits_dialog.h"

namespace corvex::ui {

namespace {

QString Name(int id) {
  return QString("id%1").arg(id);
}

constexpr const char* kNoFitsDate = "Sorry, FITs date not set";
constexpr const char* kHistoryCaption = "Corvex - PROCESSING HISTORY";

// What the dialog opens with: the last label's text and date choice, for the run of the
// program, as a dialog's transfer record keeps them.
struct LastLabel {
  QString text;
  bool autoDate = false;
};
LastLabel& Remembered() {
  static LastLabel last;
  return last;
}

bool FitsDateSet(const std::string& date) {
  return std::any_of(date.begin(), date.end(), [](char c) { return c != ' '; });
}

}  // namespace

TLabelDialog::TLabelDialog(Corvex& corvex, QWidget* parent) : QDialog(parent), corvex_(corvex) {
  setObjectName("TLabelDialog");
  setWindowTitle("Label Current Image");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Enter the Label text", this));
  text_ = new QLineEdit(this);
  text_->setObjectName(Name(4090));
  text_->setMaxLength(kLabelTextLimit);
  text_->setMinimumWidth(260);
  text_->setText(Remembered().text);
  layout->addWidget(text_);

  auto* checks = new QHBoxLayout;
  autoDate_ = new QCheckBox("Auto Date", this);
  autoDate_->setObjectName(Name(102));
  autoDate_->setChecked(Remembered().autoDate);
  connect(autoDate_, &QCheckBox::clicked, this, &TLabelDialog::SetAutoDate);
  checks->addWidget(autoDate_);
  useFitsDate_ = new QCheckBox("Use FITs Date", this);
  useFitsDate_->setObjectName(Name(103));
  connect(useFitsDate_, &QCheckBox::clicked, this, &TLabelDialog::SetUseFitsDate);
  checks->addWidget(useFitsDate_);
  checks->addStretch(1);
  layout->addLayout(checks);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton("OK", QDialogButtonBox::AcceptRole);
  ok->setObjectName(Name(104));
  ok->setDefault(true);
  QPushButton* cancel = buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
  cancel->setObjectName(Name(2));
  connect(ok, &QPushButton::clicked, this, &TLabelDialog::DrawLabel);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  layout->addWidget(buttons);
}

QWidget* TLabelDialog::Control(int id) const {
  return findChild<QWidget*>(Name(id));
}

void TLabelDialog::SetAutoDate(bool on) {
  autoDate_->setChecked(on);
  if (!on) useFitsDate_->setChecked(false);
}

void TLabelDialog::SetUseFitsDate(bool on) {
  if (on && !FitsDateSet(corvex_.fits.observationDate)) {
    useFitsDate_->setChecked(false);
    ShowMessage(corvex_.host, kFreeTextMessage, kNoFitsDate);
    return;
  }
  useFitsDate_->setChecked(on);
  if (on) autoDate_->setChecked(true);
}

void TLabelDialog::DrawLabel() {
  // One byte per character cell; anything the label font cannot draw stays a blank cell.
  const std::string text = HeaderText(text_->text(), kLabelTextLimit);
  const bool dated = autoDate_->isChecked();
  std::string date;
  if (dated) {
    date = useFitsDate_->isChecked()
               ? LabelFitsDateText(corvex_.fits.observationTime, corvex_.fits.observationDate)
               : LabelDateText(corvex_.clock.CalendarSeconds());
  }
  DrawImageLabel(corvex_.store.currentImage, LabelLine(text, dated ? &date : nullptr));
  Remembered() = {text_->text().left(kLabelTextLimit), dated};
  accept();
  RebuildDisplay(corvex_);
}

void RunLabelDialog(QWidget* parent, Corvex& corvex, const DialogRunner& run) {
  TLabelDialog dialog(corvex, parent);
  RunConfirmedDialog(dialog, run, [&dialog] { dialog.DrawLabel(); });
}

std::string ProcessingHistoryText(const ProcessingHistory& history) {
  std::string text;
  for (std::size_t i = 0; i < history.entries.size(); ++i) {
    const std::string& entry = history.entries[i];
    if (i > 0 && entry.size() < 2) break;
    text += entry + " \n";
  }
  return text;
}

void ShowProcessingHistory(Corvex& corvex) {
  corvex.host.ShowMessageBox(ProcessingHistoryText(corvex.history), kHistoryCaption,
                             MessageButtons::kOk, MessageIcon::kNone);
}

}  // namespace corvex::ui
