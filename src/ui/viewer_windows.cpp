#include "ui/viewer_windows.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

#include "corvex.h"

namespace corvex::ui {

namespace {

constexpr int kListedBins = 15;
constexpr const char* kHistogramHelp =
    "This shows a histogram of the values in the current main window. The horizontal scale "
    "represents values from black (0) to white (256), whilst the vertical scale shows the "
    "number of pixels with a particular value. The vertical scale goes from 0 to 1000, where "
    "there are more than 1000 pixels with the same value the line is truncated and shown in "
    "red.\n\nThe first 15 values where the pixel count exceeds 1000 are also listed next to "
    "the Histogram\n\nShort key - CTL+H";

}  // namespace

std::array<long, 256> HighByteHistogram(const ImageBuffer& image) {
  std::array<long, 256> counts{};
  for (int i = 10 * kImageStride; i < kImageValues; ++i) ++counts[image[i] >> 8];
  return counts;
}

THistDialog::THistDialog(const ImageBuffer& image, QWidget* parent)
    : QDialog(parent), counts_(HighByteHistogram(image)) {
  setObjectName("THistDialog");
  setWindowTitle("Histogram of Current Image");
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QGridLayout(this);
  view_ = new THistogramView(this);
  view_->setMinimumSize(420, 260);
  layout->addWidget(view_, 0, 0);
  cutBins_ = new QLabel(this);
  cutBins_->setObjectName("cutBins");
  cutBins_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  cutBins_->setMinimumWidth(90);
  QFont fixed("Monospace");
  fixed.setStyleHint(QFont::TypeWriter);
  cutBins_->setFont(fixed);
  layout->addWidget(cutBins_, 0, 1);
  logarithmic_ = new QRadioButton("Logarithmic", this);
  logarithmic_->setObjectName("logarithmic");
  linear_ = new QRadioButton("Linear", this);
  linear_->setObjectName("linear");
  logarithmic_->setChecked(true);
  connect(logarithmic_, &QRadioButton::toggled, this, [this] { Refresh(); });
  auto* close = new QPushButton("Close", this);
  close->setObjectName("id101");
  auto* help = new QPushButton("Help", this);
  help->setObjectName("id9");
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  connect(help, &QPushButton::clicked, this, [this] {
    QMessageBox::information(this, "Corvex - Display Histogram", kHistogramHelp);
  });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(new QLabel("Scale", this));
  buttons->addWidget(logarithmic_);
  buttons->addWidget(linear_);
  buttons->addStretch();
  buttons->addWidget(close);
  buttons->addWidget(help);
  layout->addLayout(buttons, 1, 0, 1, 2);
  view_->SetCounts(counts_, std::nullopt);
  Refresh();
}

void THistDialog::Update(const Corvex& corvex, const std::optional<ScreenStretch>& stretch) {
  const ImageStore& store = corvex.store;
  counts_ = HighByteHistogram(store.currentImage);
  std::optional<std::array<Bins, 3>> planes;
  const bool colour = corvex.state.colourConverted;
  if (colour) {
    planes.emplace();
    const PlaneBuffer* sources[3] = {&store.redPlane, &store.greenPlane, &store.bluePlane};
    for (int c = 0; c < 3; ++c) {
      (*planes)[c].fill(0);
      for (int i = 10 * kImageStride; i < kImageValues; ++i) ++(*planes)[c][(*sources[c])[i]];
    }
  }
  view_->SetCounts(counts_, planes);
  // The stretch's points on the bins' scale: 16-bit values over 256, or the planes' bytes.
  std::optional<double> black, white;
  if (stretch) {
    const double per = colour ? 1.0 : 256.0;
    black = stretch->black / per;
    white = stretch->white / per;
  }
  view_->SetStretchPoints(black, white);
  Refresh();
}

void THistDialog::SetLogarithmic(bool on) {
  (on ? logarithmic_ : linear_)->setChecked(true);
  Refresh();
}

void THistDialog::Refresh() {
  view_->SetLogarithmic(logarithmic_->isChecked());
  cutBins_->setText(logarithmic_->isChecked() ? QString() : CutBinsText());
}

QString THistDialog::CutBinsText() const {
  QString text = "val   count\n";
  int listed = 0;
  for (int bin = 0; bin < 256 && listed < kListedBins; ++bin) {
    if (counts_[bin] <= THistogramView::kLinearTop) continue;
    text += QString::asprintf("%03d  %6ld\n", bin, counts_[bin]);
    ++listed;
  }
  return text;
}

QImage THistDialog::Render() { return view_->Render(QSize(420, 260)); }

TValuesDialog::TValuesDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("TValuesDialog");
  setWindowTitle("Pixel Value");
  setModal(false);
  auto* grid = new QGridLayout(this);
  // Each column's title over its own value.
  const char* titles[] = {"x", "y", "R", "G", "B", "Lum"};
  for (int i = 0; i < 6; ++i) grid->addWidget(new QLabel(titles[i], this), 0, i, Qt::AlignHCenter);
  for (int i = 0; i < 6; ++i) {
    fields_[i] = new QLineEdit(this);
    fields_[i]->setObjectName(QString("id%1").arg(1801 + i));
    fields_[i]->setReadOnly(true);
    fields_[i]->setMaximumWidth(70);
    grid->addWidget(fields_[i], 1, i, Qt::AlignHCenter);
  }
  auto* finished = new QPushButton("Finished", this);
  finished->setObjectName("id1807");
  connect(finished, &QPushButton::clicked, this, &QDialog::close);
  grid->addWidget(finished, 2, 5);
}

void TValuesDialog::ShowPixel(Corvex& corvex, int x, int y) {
  if (x < 2 || x > 510 || y < 2 || y > 288) return;
  const std::size_t i = static_cast<std::size_t>(y) * kImageStride + static_cast<std::size_t>(x);
  const bool colour = corvex.state.colourConverted;
  const ImageStore& store = corvex.store;
  const int values[5] = {x, y, colour ? store.redPlane[i] : 0, colour ? store.greenPlane[i] : 0,
                         colour ? store.bluePlane[i] : 0};
  for (int k = 0; k < 5; ++k) fields_[k]->setText(QString::number(values[k]));
  fields_[5]->setText(QString::asprintf("%6u", static_cast<unsigned>(store.currentImage[i])));
}

QString TValuesDialog::Field(int id) const { return fields_[id - 1801]->text(); }

}  // namespace corvex::ui
