#include "ui/viewer_windows.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>

#include "corvex.h"

namespace corvex::ui {

namespace {

constexpr int kBarBase = 210;
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
  layout->setRowMinimumHeight(0, 275);
  layout->setColumnMinimumWidth(0, 355);
  auto* close = new QPushButton("Close", this);
  close->setObjectName("id101");
  auto* help = new QPushButton("Help", this);
  help->setObjectName("id9");
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  connect(help, &QPushButton::clicked, this, [this] {
    QMessageBox::information(this, "Corvex - Display Histogram", kHistogramHelp);
  });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(close);
  buttons->addWidget(help);
  layout->addLayout(buttons, 1, 0);
}

QString THistDialog::CutBinsText() const {
  QString text = "val   count\n";
  int listed = 0;
  for (int bin = 0; bin < 256 && listed < kListedBins; ++bin) {
    if (counts_[bin] / 5 <= kBarBase) continue;
    text += QString::asprintf("%03d  %6ld\n", bin, counts_[bin] / 5 * 5);
    ++listed;
  }
  return text;
}

void THistDialog::PaintHistogram(QPainter& painter) {
  painter.setPen(Qt::black);
  painter.drawLine(5, 5, 5, 213);
  painter.drawLine(5, 213, 263, 213);
  for (int x = 40; x <= 264; x += 32) {
    const int reach = x == 72 || x == 200 ? 220 : x == 136 ? 224 : 217;
    painter.drawLine(x, 213, x, reach);
  }
  for (int bin = 0; bin < 256; ++bin) {
    int height = static_cast<int>(counts_[bin] / 5);
    const bool cut = height > kBarBase;
    if (cut) height = kBarBase;
    if (height == 0) continue;
    painter.setPen(cut ? QColor(255, 0, 0) : QColor(0, 0, 128));
    painter.drawLine(bin + 8, kBarBase, bin + 8, kBarBase - height);
  }
  painter.setPen(Qt::black);
  painter.drawText(QRect(QPoint(270, 2), QPoint(350, 270)), Qt::AlignLeft | Qt::AlignTop,
                   CutBinsText());
}

void THistDialog::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter painter(this);
  PaintHistogram(painter);
}

QImage THistDialog::Render() {
  QImage image(360, 280, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  PaintHistogram(painter);
  return image;
}

TValuesDialog::TValuesDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("TValuesDialog");
  setWindowTitle("Pixel Value");
  setModal(false);
  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel("x", this), 0, 0);
  grid->addWidget(new QLabel("y", this), 0, 1);
  grid->addWidget(new QLabel("R         G         B       Lum", this), 0, 2, 1, 4);
  for (int i = 0; i < 6; ++i) {
    fields_[i] = new QLineEdit(this);
    fields_[i]->setObjectName(QString("id%1").arg(1801 + i));
    fields_[i]->setReadOnly(true);
    fields_[i]->setMaximumWidth(70);
    grid->addWidget(fields_[i], 1, i);
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
