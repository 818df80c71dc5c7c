// "MERGE IMAGES", the modeless merge dialog: it keeps the image that was current when merging
// began (the base), takes the star position in each image from picks in the main window or
// from its edits, and merges the image loaded since into the base.
#pragma once

#include <QDialog>

#include "state/image_store.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace corvex {
struct Corvex;
}

namespace corvex::ui {

class TMergeDialog : public QDialog {
  Q_OBJECT

 public:
  TMergeDialog(Corvex& corvex, QWidget* parent);

  // Open hands the current image over before it loads the next one.
  void TakeBaseImage();
  bool hasBase() const { return hasBase_; }
  // A pick in the main window, for the image the radio buttons select; with "Centre on
  // Star" the position moves onto the star first.
  void Pick(int x, int y);
  // "Merge": nothing while the base image is still the one being picked.
  bool Merge();
  void SelectMergeImage(bool mergeImage);
  void SetAverage(bool average);

 private:
  Corvex& corvex_;
  ImageBuffer base_;
  ColourPlanes basePlanes_;
  bool baseColour_ = false;
  bool hasBase_ = false;
  QRadioButton* original_;
  QRadioButton* merge_;
  QLineEdit* originalX_;
  QLineEdit* originalY_;
  QLineEdit* mergeX_;
  QLineEdit* mergeY_;
  QCheckBox* average_;
  QCheckBox* centreOnStar_;
};

}  // namespace corvex::ui
