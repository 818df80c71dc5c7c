#include "ui/merge_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

#include "commands/calibration_commands.h"
#include "corvex.h"
#include "guiding/star_centroid.h"
#include "processing/calibration.h"

namespace corvex::ui {

namespace {
constexpr const char* kHelp =
    "Pick the same star in both images. With \"Original  Image\" selected, click the star in "
    "the image shown now; then open the image to merge, select \"Merge Image\" and click the "
    "same star in it. \"Centre on Star\" moves each pick onto the star's centre. \"Merge\" "
    "adds the images (or averages them with \"Average\").";
}

TMergeDialog::TMergeDialog(Corvex& corvex, QWidget* parent) : QDialog(parent), corvex_(corvex) {
  setObjectName("TMergeDialog");
  setWindowTitle("MERGE IMAGES");
  setModal(false);
  auto* grid = new QGridLayout(this);
  original_ = new QRadioButton("Original  Image", this);
  merge_ = new QRadioButton("Merge Image", this);
  original_->setChecked(true);
  const auto edit = [this](const char* name) {
    auto* line = new QLineEdit("0", this);
    line->setObjectName(name);
    line->setMaximumWidth(60);
    return line;
  };
  originalX_ = edit("originalX");
  originalY_ = edit("originalY");
  mergeX_ = edit("mergeX");
  mergeY_ = edit("mergeY");
  grid->addWidget(new QLabel("x", this), 0, 1);
  grid->addWidget(new QLabel("y", this), 0, 2);
  grid->addWidget(original_, 1, 0);
  grid->addWidget(originalX_, 1, 1);
  grid->addWidget(originalY_, 1, 2);
  grid->addWidget(merge_, 2, 0);
  grid->addWidget(mergeX_, 2, 1);
  grid->addWidget(mergeY_, 2, 2);
  average_ = new QCheckBox("Average", this);
  centreOnStar_ = new QCheckBox("Centre on Star", this);
  grid->addWidget(average_, 3, 0);
  grid->addWidget(centreOnStar_, 3, 1, 1, 2);
  auto* buttons = new QHBoxLayout;
  auto* mergeButton = new QPushButton("Merge", this);
  auto* cancel = new QPushButton("Cancel", this);
  auto* help = new QPushButton("Help", this);
  buttons->addWidget(mergeButton);
  buttons->addWidget(cancel);
  buttons->addWidget(help);
  grid->addLayout(buttons, 4, 0, 1, 3);
  connect(mergeButton, &QPushButton::clicked, this, [this] { Merge(); });
  connect(cancel, &QPushButton::clicked, this, [this] {
    corvex_.state.mergingMode = false;
    close();
  });
  connect(help, &QPushButton::clicked, this, [this] {
    corvex_.host.ShowMessageBox(kHelp, "Corvex - Merge Images", MessageButtons::kOk,
                                MessageIcon::kNone);
  });
}

void TMergeDialog::TakeBaseImage() {
  CopyImage(corvex_.store.currentImage, base_);
  baseColour_ = corvex_.state.colourConverted;
  if (baseColour_) {
    std::copy(corvex_.store.redPlane.begin(), corvex_.store.redPlane.end(), basePlanes_.red.begin());
    std::copy(corvex_.store.greenPlane.begin(), corvex_.store.greenPlane.end(),
              basePlanes_.green.begin());
    std::copy(corvex_.store.bluePlane.begin(), corvex_.store.bluePlane.end(),
              basePlanes_.blue.begin());
  }
  hasBase_ = true;
}

void TMergeDialog::Pick(int x, int y) {
  if (centreOnStar_->isChecked() &&
      RefineStarPosition(corvex_, x, y, corvex_.state.maskRadius) > 0) {
    x = corvex_.state.starX;
    y = corvex_.state.starY;
  }
  QLineEdit* editX = merge_->isChecked() ? mergeX_ : originalX_;
  QLineEdit* editY = merge_->isChecked() ? mergeY_ : originalY_;
  editX->setText(QString::number(x));
  editY->setText(QString::number(y));
}

bool TMergeDialog::Merge() {
  if (!hasBase_ || original_->isChecked()) return false;
  MergePositions at;
  at.baseX = originalX_->text().toInt();
  at.baseY = originalY_->text().toInt();
  at.mergeX = mergeX_->text().toInt();
  at.mergeY = mergeY_->text().toInt();
  MutablePlaneView planes{basePlanes_.red.data(), basePlanes_.green.data(),
                          basePlanes_.blue.data()};
  MergeImages(corvex_, base_, baseColour_ ? &planes : nullptr, at, average_->isChecked());
  close();
  return true;
}

void TMergeDialog::SelectMergeImage(bool mergeImage) {
  (mergeImage ? merge_ : original_)->setChecked(true);
}

void TMergeDialog::SetAverage(bool average) { average_->setChecked(average); }

}  // namespace corvex::ui
