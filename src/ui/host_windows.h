// The small modeless windows long operations show: the shared "Filter Progress" dialog and
// the guiding information window ("Guiding Info", "AutoGuider Camera Guiding").
#pragma once

#include <QDialog>

#include "state/host.h"

class QLabel;
class QScrollBar;

namespace corvex::ui {

class TFilterProgress : public QDialog {
 public:
  explicit TFilterProgress(QWidget* parent);
  void SetCaption(const QString& caption);
  void SetPosition(int position);  // 0-256
  int position() const;

 private:
  QScrollBar* bar_;
};

class TGuidingInfoDialog : public QDialog {
 public:
  explicit TGuidingInfoDialog(QWidget* parent);
  void Show(const GuidingInfo& info);

 private:
  QLabel* x_;
  QLabel* y_;
  QLabel* dx_;
  QLabel* dy_;
  QLabel* slewX_;
  QLabel* slewY_;
};

}  // namespace corvex::ui
