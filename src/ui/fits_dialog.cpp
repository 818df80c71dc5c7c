#include "ui/fits_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "commands/settings_commands.h"
#include "corvex.h"
#include "files/settings_file.h"
#include "state/messages.h"

namespace corvex::ui {

namespace {

QString Name(int id) {
  return QString("id%1").arg(id);
}

constexpr int kNumberLimit = 19;  // characters of a number field taken back
constexpr int kNoteLimit = 254;   // characters of "History:" and "Comments:"

// The one-line text fields: id, label, field and the characters taken back.
struct TextField {
  int id;
  const char* label;
  std::string FitsHeaderFields::*field;
  int limit;
};
constexpr TextField kTextFields[] = {
    {101, "Object:", &FitsHeaderFields::object, 67},
    {102, "Observer:", &FitsHeaderFields::observer, 67},
    {109, "Origin:", &FitsHeaderFields::origin, 67},
    {104, "Telescope:", &FitsHeaderFields::telescope, 67},
    {105, "Instrumentation:", &FitsHeaderFields::instrument, 67},
    {115, "Filter", &FitsHeaderFields::filterName, 67},
    {103, "Date:", &FitsHeaderFields::observationDate, 10},
    {110, "Time:", &FitsHeaderFields::observationTime, 11},
};

struct NumberField {
  int id;
  const char* label;
  double FitsHeaderFields::*field;
};
constexpr NumberField kNumberFields[] = {
    {113, "Focal Len (ins):", &FitsHeaderFields::focalLength},
    {114, "Aperture (Sq.ins):", &FitsHeaderFields::aperture},
    {116, "Exposure (secs):", &FitsHeaderFields::exposureSeconds},
};

QString Shown(const std::string& text) {
  return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

}  // namespace

std::string HeaderText(const QString& typed, int limit) {
  std::string text;
  const QString kept = typed.left(limit);
  text.reserve(static_cast<std::size_t>(kept.size()));
  for (const QChar c : kept) {
    const char16_t u = c.unicode();
    if (u < 0x20 || u == 0x7F) {
      text.push_back(' ');
    } else if (u > 0x7E) {
      text.push_back('?');
    } else {
      text.push_back(static_cast<char>(u));
    }
  }
  return text;
}

double HeaderNumber(const QString& typed) {
  const QByteArray bytes = typed.left(kNumberLimit).toLatin1();
  const char* begin = bytes.constData();
  const char* end = begin + bytes.size();
  while (begin < end && (*begin == ' ' || *begin == '\t')) ++begin;
  // from_chars takes no plus sign; "%lf" does.
  const bool plus = begin < end && *begin == '+';
  if (plus) ++begin;
  if (plus && begin < end && *begin == '-') return 0;
  double value = 0;
  const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::general);
  (void)stop;
  if (error != std::errc() || !std::isfinite(value)) return 0;
  return value;
}

bool RunConfirmedDialog(QDialog& dialog, const DialogRunner& run,
                        const std::function<void()>& confirm) {
  bool closed = false;
  const QMetaObject::Connection watch =
      QObject::connect(&dialog, &QDialog::finished, &dialog, [&closed] { closed = true; });
  if (run.edit) run.edit(dialog);
  if (!closed) {
    if (!run.automatic) {
      QObject::disconnect(watch);
      return dialog.exec() == QDialog::Accepted;
    }
    confirm();
  }
  QObject::disconnect(watch);
  return dialog.result() == QDialog::Accepted;
}

TFITSDialog::TFITSDialog(FitsHeaderFields& fields, QWidget* parent)
    : QDialog(parent), fields_(fields) {
  setObjectName("TFITSDialog");
  setWindowTitle("FITS DETAILS");
  Build();
  for (const TextField& entry : kTextFields) edits_[entry.id]->setText(Shown(fields_.*entry.field));
  for (const NumberField& entry : kNumberFields) {
    edits_[entry.id]->setText(QString::asprintf("%f", fields_.*entry.field));
  }
  history_->setPlainText(Shown(fields_.historyNote));
  comments_->setPlainText(Shown(fields_.commentText));
  utOffset_ = std::clamp(fields_.utOffsetHours, -kUtOffsetLimit, kUtOffsetLimit);
  ShowUtOffset();
  unsigned_->setChecked(fields_.unsignedFormat);
}

QWidget* TFITSDialog::Control(int id) const {
  return findChild<QWidget*>(Name(id));
}

void TFITSDialog::Build() {
  auto* layout = new QVBoxLayout(this);
  const auto lineEdit = [this](int id, int limit, int width) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(Name(id));
    edit->setMaxLength(limit);
    edit->setMinimumWidth(width);
    edits_[id] = edit;
    return edit;
  };

  // The describing texts on the left, the date, time and numbers on the right.
  auto* fieldsGrid = new QGridLayout;
  fieldsGrid->setHorizontalSpacing(8);
  int row = 0;
  for (const TextField& entry : kTextFields) {
    if (entry.limit < 67) continue;
    fieldsGrid->addWidget(new QLabel(entry.label, this), row, 0);
    fieldsGrid->addWidget(lineEdit(entry.id, entry.limit, 260), row, 1);
    ++row;
  }
  const int leftRows = row;
  row = 0;
  for (const TextField& entry : kTextFields) {
    if (entry.limit >= 67) continue;
    fieldsGrid->addWidget(new QLabel(entry.label, this), row, 3);
    fieldsGrid->addWidget(lineEdit(entry.id, entry.limit, 110), row, 4);
    ++row;
  }
  for (const NumberField& entry : kNumberFields) {
    fieldsGrid->addWidget(new QLabel(entry.label, this), row, 3);
    fieldsGrid->addWidget(lineEdit(entry.id, kNumberLimit, 110), row, 4);
    ++row;
  }
  row = std::max(row, leftRows);
  fieldsGrid->setColumnMinimumWidth(2, 16);
  fieldsGrid->setColumnStretch(1, 1);

  // The two notes run the width of both columns.
  const auto note = [this](int id) {
    auto* edit = new QPlainTextEdit(this);
    edit->setObjectName(Name(id));
    edit->setTabChangesFocus(true);
    edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    edit->setFixedHeight(58);
    return edit;
  };
  history_ = note(107);
  comments_ = note(106);
  fieldsGrid->addWidget(new QLabel("History:", this), row, 0, Qt::AlignTop);
  fieldsGrid->addWidget(history_, row, 1, 1, 4);
  fieldsGrid->addWidget(new QLabel("Comments:", this), row + 1, 0, Qt::AlignTop);
  fieldsGrid->addWidget(comments_, row + 1, 1, 1, 4);
  layout->addLayout(fieldsGrid);

  // The UT offset: the bar's arrows change the value the dialog holds; the edit shows it.
  auto* utRow = new QHBoxLayout;
  utRow->addWidget(new QLabel("Time Difference to UT in Hrs:", this));
  utBar_ = new QScrollBar(Qt::Horizontal, this);
  utBar_->setObjectName(Name(111));
  utBar_->setRange(-kUtOffsetLimit, kUtOffsetLimit);
  utBar_->setPageStep(1);
  utBar_->setMinimumWidth(180);
  connect(utBar_, &QScrollBar::actionTriggered, this, [this](int action) {
    switch (action) {
      case QAbstractSlider::SliderSingleStepSub:
      case QAbstractSlider::SliderPageStepSub:
        StepUtOffset(-1);
        break;
      case QAbstractSlider::SliderSingleStepAdd:
      case QAbstractSlider::SliderPageStepAdd:
        StepUtOffset(+1);
        break;
      case QAbstractSlider::SliderMove:
        utOffset_ = std::clamp(utBar_->sliderPosition(), -kUtOffsetLimit, kUtOffsetLimit);
        ShowUtOffset();
        break;
      default:
        break;
    }
  });
  utRow->addWidget(utBar_);
  utEdit_ = new QLineEdit(this);
  utEdit_->setObjectName(Name(112));
  utEdit_->setReadOnly(true);
  utEdit_->setMaximumWidth(50);
  utRow->addWidget(utEdit_);
  utRow->addStretch(1);
  layout->addLayout(utRow);

  auto* bottom = new QHBoxLayout;
  unsigned_ = new QCheckBox("Unsigned Integer Format", this);
  unsigned_->setObjectName(Name(108));
  connect(unsigned_, &QCheckBox::clicked, this, [this](bool on) { fields_.unsignedFormat = on; });
  bottom->addWidget(unsigned_);
  bottom->addStretch(1);
  auto* continueButton = new QPushButton("Continue", this);
  continueButton->setObjectName(Name(1));
  continueButton->setDefault(true);
  connect(continueButton, &QPushButton::clicked, this, &TFITSDialog::Continue);
  bottom->addWidget(continueButton);
  auto* abortButton = new QPushButton("Abort", this);
  abortButton->setObjectName(Name(2));
  abortButton->setAutoDefault(false);
  connect(abortButton, &QPushButton::clicked, this, &TFITSDialog::Abort);
  bottom->addWidget(abortButton);
  layout->addLayout(bottom);
}

void TFITSDialog::ShowUtOffset() {
  {
    const QSignalBlocker block(utBar_);
    utBar_->setValue(utOffset_);
  }
  utEdit_->setText(QString::number(utOffset_));
}

void TFITSDialog::StepUtOffset(int delta) {
  if (delta < 0 && utOffset_ >= -(kUtOffsetLimit - 1)) --utOffset_;
  if (delta > 0 && utOffset_ <= kUtOffsetLimit - 1) ++utOffset_;
  ShowUtOffset();
}

void TFITSDialog::Continue() {
  for (const TextField& entry : kTextFields) {
    fields_.*entry.field = HeaderText(edits_[entry.id]->text(), entry.limit);
  }
  for (const NumberField& entry : kNumberFields) {
    fields_.*entry.field = HeaderNumber(edits_[entry.id]->text());
  }
  fields_.historyNote = HeaderText(history_->toPlainText(), kNoteLimit);
  fields_.commentText = HeaderText(comments_->toPlainText(), kNoteLimit);
  fields_.utOffsetHours = utOffset_;
  accept();
}

void TFITSDialog::Abort() {
  reject();
}

bool EditFitsDetails(QWidget* parent, Corvex& corvex, const DialogRunner& run) {
  TFITSDialog dialog(corvex.fits, parent);
  return RunConfirmedDialog(dialog, run, [&dialog] { dialog.Continue(); });
}

void LoadEditAutoSaveFitsText(QWidget* parent, Corvex& corvex, const DialogRunner& run) {
  if (ReadSettingsFile(corvex) != kSettingsOk) ShowMessage(corvex.host, 27);
  if (!EditFitsDetails(parent, corvex, run)) return;
  if (WriteSettingsFile(corvex) != kSettingsOk) ShowMessage(corvex.host, 28);
}

}  // namespace corvex::ui
