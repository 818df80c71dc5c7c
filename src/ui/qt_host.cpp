#include "ui/qt_host.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "corvex.h"
#include "processing/display_image.h"
#include "ui/host_windows.h"

namespace corvex::ui {

namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::StandardButtons Buttons(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::kOkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::kYesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::kYesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::kOk:
      break;
  }
  return QMessageBox::Ok;
}

QMessageBox::Icon Icon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kStop:
      return QMessageBox::Critical;
    case MessageIcon::kExclamation:
      return QMessageBox::Warning;
    case MessageIcon::kInformation:
      return QMessageBox::Information;
    case MessageIcon::kQuestion:
      return QMessageBox::Question;
    case MessageIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

MessageResult FirstButton(MessageButtons buttons) {
  return buttons == MessageButtons::kOk || buttons == MessageButtons::kOkCancel
             ? MessageResult::kOk
             : MessageResult::kYes;
}

MessageResult Result(int button) {
  switch (button) {
    case QMessageBox::Cancel:
      return MessageResult::kCancel;
    case QMessageBox::Yes:
      return MessageResult::kYes;
    case QMessageBox::No:
      return MessageResult::kNo;
    default:
      return MessageResult::kOk;
  }
}

}  // namespace

QtHost::QtHost(QObject* parent) : QObject(parent) { qApp->installEventFilter(this); }

QtHost::~QtHost() {
  if (qApp != nullptr) qApp->removeEventFilter(this);
  if (busy_) QApplication::restoreOverrideCursor();
}

MessageResult QtHost::ShowMessageBox(std::string_view text, std::string_view caption,
                                     MessageButtons buttons, MessageIcon icon) {
  if (answerAutomatically) {
    answeredTexts.emplace_back(text);
    return FirstButton(buttons);
  }
  QMessageBox box(Icon(icon), caption.empty() ? QString("Corvex") : Text(caption), Text(text),
                  Buttons(buttons), parent_);
  // The focus mode's pause asks "OK" or "Stop".
  if (caption == "Focus Frame Pause" && buttons == MessageButtons::kOkCancel) {
    box.button(QMessageBox::Cancel)->setText("Stop");
  }
  return Result(box.exec());
}

void QtHost::Beep(int) { QApplication::beep(); }

bool QtHost::PumpEvents() {
  pressed_ = false;
  pumping_ = true;
  QApplication::processEvents(QEventLoop::AllEvents);
  pumping_ = false;
  return pressed_;
}

bool QtHost::eventFilter(QObject* watched, QEvent* event) {
  if (pumping_) {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::MouseButtonPress) pressed_ = true;
  }
  return QObject::eventFilter(watched, event);
}

void QtHost::SetWaitCursor(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void QtHost::OpenProgress(std::string_view caption) {
  if (!progress_) progress_ = new TFilterProgress(parent_);
  progress_->SetCaption(Text(caption));
  progress_->SetPosition(0);
  progress_->show();
}

void QtHost::SetProgress(int position) {
  if (progress_) progress_->SetPosition(position);
}

void QtHost::CloseProgress() {
  if (progress_) progress_->hide();
}

void QtHost::ShowNotice(std::string_view caption, std::string_view text) {
  if (!notice_) {
    notice_ = new QDialog(parent_);
    notice_->setObjectName("Notice");
    auto* form = new QFormLayout(notice_);
    noticeText_ = new QLabel(notice_);
    noticeText_->setObjectName("Filename");
    noticeText_->setMinimumWidth(220);
    form->addRow("Filename", noticeText_);
  }
  notice_->setWindowTitle(Text(caption));
  noticeText_->setText(Text(text));
  notice_->show();
}

void QtHost::CloseNotice() {
  if (notice_) notice_->hide();
}

void QtHost::ShowGuidingInfo(const GuidingInfo& info) {
  if (!guidingInfo_) guidingInfo_ = new TGuidingInfoDialog(parent_);
  guidingInfo_->setObjectName(info.guider ? "TGInfoDialog" : "TInfoDialog");
  // The guide frame: the guider's frame as its preview bitmap, or the main camera's guide
  // window as the focus-frame display bitmap.
  QPixmap frame;
  if (corvex_ != nullptr) {
    if (const auto directory = corvex_->paths.TempDirectory()) {
      if (info.guider && WriteRawPreview(*corvex_, corvex_->store.guiderImage.span()) == 0) {
        frame.load(QString::fromStdString((*directory / "CORVEXG.bmp").string()), "BMP");
      } else if (!info.guider) {
        frame.load(QString::fromStdString((*directory / "corvexf.bmp").string()), "BMP");
      }
    }
  }
  guidingInfo_->Show(info, frame);
}

void QtHost::CloseGuidingInfo() {
  if (guidingInfo_) guidingInfo_->hide();
}

void QtHost::ShowGuiderStatus(std::string_view caption) {
  if (guiderStatus) guiderStatus(caption);
}

}  // namespace corvex::ui
