// The image view driven offscreen: zoom about the pointer and its limits, the aspect-true
// fit, panning by dragging, the readout under the pointer at several zooms and in QZ
// geometry, the screen stretch changing only what is shown, and the picked star's
// measurement.
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <memory>
#include <vector>

#include "camera/camera_link.h"
#include "commands/camera_commands.h"
#include "corvex.h"
#include "gui_support.h"
#include "guiding/star_pick.h"
#include "sim/observatory.h"
#include "ui/command_map.h"
#include "ui/corvex_frame.h"
#include "ui/corvex_window.h"
#include "ui/viewer_windows.h"

using corvex::Corvex;
using namespace corvex::ui;

namespace {

// The main window on the simulated observatory.
struct Viewer : testing::QtProgram {
  Viewer() {
    sky = std::make_shared<corvex::sim::SimulatedObservatory>(clock, corvex::sim::SimConfig{});
    corvex.devices = corvex::sim::MakeSimulatedEnumerator(sky);
    corvex::DiscoverCamera(corvex.camera, *corvex.devices, corvex.state);
    frame = std::make_unique<TCorvexFrame>(corvex, host);
    host.SetParentWindow(frame.get());
    frame->window().acceptDialogsAutomatically = true;
    frame->show();
  }
  TCorvexWindow& window() { return frame->window(); }
  // Every stored value tells where it is: y * 200 + x.
  void ShowPattern() {
    for (int y = 0; y < corvex::kImageRows; ++y) {
      for (int x = 0; x < corvex::kImageStride; ++x) {
        corvex.store.currentImage[y * corvex::kImageStride + x] =
            static_cast<std::uint16_t>(y * 200 + x);
      }
    }
    window().RefreshDisplay();
  }
  void MoveTo(QPointF at, Qt::MouseButtons buttons = Qt::NoButton) {
    QWidget* viewport = window().viewport();
    QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton, buttons,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &move);
  }
  void Wheel(QPointF at, int delta) {
    QWidget* viewport = window().viewport();
    QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(viewport, &wheel);
  }
  QString Readout() const { return frame->readout()->text(); }

  std::shared_ptr<corvex::sim::SimulatedObservatory> sky;
  std::unique_ptr<TCorvexFrame> frame;
};

QString Expected(int x, int y) {
  return QString("x %1  y %2  value %3").arg(x).arg(y).arg(y * 200 + x);
}

// The median of a picture's grey levels.
int MedianGrey(const QImage& picture) {
  std::vector<int> levels;
  for (int y = 0; y < picture.height(); y += 2) {
    for (int x = 10; x < 500; x += 2) levels.push_back(qGray(picture.pixel(x, y)));
  }
  std::nth_element(levels.begin(), levels.begin() + levels.size() / 2, levels.end());
  return levels[levels.size() / 2];
}

using testing::Screenshots;

}  // namespace

class ImageViewTest : public QObject {
  Q_OBJECT

 private slots:
  // The wheel zooms about the pointer: the image pixel under it stays under it, step by
  // step up to 8x and back; the zoom stops at 8x and 1/4x; "Fit" keeps the aspect ratio.
  void ZoomKeepsThePixelUnderThePointer() {
    Viewer v;
    // A window smaller than the picture, so that the picture can move under the pointer.
    v.frame->resize(480, 330);
    v.ShowPattern();
    TCorvexWindow& window = v.window();
    QCOMPARE(window.Scale(), 1.0);
    QCOMPARE(v.frame->zoomLabel()->text(), QString("Zoom 100%"));
    const QPointF pointer(301.5, 141.5);
    const std::optional<QPoint> under = window.ImagePointAt(pointer);
    QVERIFY(under.has_value());
    const double ladder[] = {1.5, 2, 3, 4, 6, 8, 8};
    for (const double expected : ladder) {
      v.Wheel(pointer, 120);
      QCOMPARE(window.Scale(), expected);
      QCOMPARE(window.ImagePointAt(pointer), under);
    }
    QCOMPARE(v.frame->zoomLabel()->text(), QString("Zoom 800%"));
    for (int i = 0; i < 6; ++i) v.Wheel(pointer, -120);
    QCOMPARE(window.Scale(), 1.0);
    QCOMPARE(window.ImagePointAt(pointer), under);
    window.ZoomBy(-10, pointer);
    QCOMPARE(window.Scale(), 0.25);
    // The keys' commands zoom too, and 1:1 comes back to pixel for pixel.
    QVERIFY(window.Command(command::kZoomIn));
    QCOMPARE(window.Scale(), 1.0 / 3);
    QVERIFY(window.Command(command::kActualSize));
    QCOMPARE(window.Scale(), 1.0);

    // Fit: one scale for both directions, the background beside or under the picture.
    window.FitWindow();
    const QSize client = window.viewport()->size();
    const double fit = std::min(client.width() / 512.0, client.height() / 290.0);
    QCOMPARE(window.Scale(), fit);
    QVERIFY(v.frame->zoomLabel()->text().startsWith("Fit "));
    const QImage shown = window.viewport()->grab().toImage();
    const QColor background = window.backgroundColour();
    QCOMPARE(QColor(shown.pixel(client.width() - 1, client.height() - 1)), background);
    // A wheel step from the fit zooms from the fitted scale.
    v.Wheel(QPointF(100, 100), 120);
    QVERIFY(!v.corvex.state.fitToWindow);
    QVERIFY(window.Scale() > fit);
  }

  // Dragging pans the enlarged picture and picks nothing; a click still picks.
  void DraggingPans() {
    Viewer v;
    v.ShowPattern();
    TCorvexWindow& window = v.window();
    window.ZoomTo(4, QPointF(0, 0));
    QVERIFY(window.Command(command::kPickGuideStar));
    QScrollBar* h = window.horizontalScrollBar();
    QScrollBar* vbar = window.verticalScrollBar();
    h->setValue(400);
    vbar->setValue(300);
    QWidget* viewport = window.viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(300, 200));
    v.MoveTo(QPointF(280, 190), Qt::LeftButton);
    v.MoveTo(QPointF(250, 150), Qt::LeftButton);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(250, 150));
    QCOMPARE(h->value(), 450);
    QCOMPARE(vbar->value(), 350);
    QVERIFY(window.pickGuideStarMode());
    QVERIFY(!v.corvex.state.guideStarPicked);
  }

  // The readout names the image's column, row and value under the pointer at any zoom, in
  // QZ geometry too (where the 290 rows are shown as 373), and R, G, B for colour.
  void ReadoutUnderThePointer() {
    Viewer v;
    v.ShowPattern();
    TCorvexWindow& window = v.window();
    const QPoint points[] = {{10, 5}, {255, 144}, {505, 289}};
    for (const bool qz : {false, true}) {
      if (qz) {
        QVERIFY(window.Command(command::kQzGeometry));
        QCOMPARE(window.displaySize(), QSize(512, 373));
      }
      for (const double zoom : {0.5, 1.0, 3.0}) {
        window.ZoomTo(zoom, QPointF(0, 0));
        for (const QPoint p : points) {
          // The first display row that shows image row p.y().
          const int row = qz ? (p.y() * 373 + 289) / 290 : p.y();
          window.horizontalScrollBar()->setValue(static_cast<int>(p.x() * zoom) - 50);
          window.verticalScrollBar()->setValue(static_cast<int>(row * zoom) - 50);
          const QPointF at = window.ViewportPointOf(QPointF(p.x() + 0.5, row + 0.5));
          v.MoveTo(at);
          const QByteArray where =
              QString("zoom %1 qz %2 at %3,%4").arg(zoom).arg(qz).arg(p.x()).arg(p.y()).toUtf8();
          QVERIFY2(v.Readout() == Expected(p.x(), p.y()), where + " " + v.Readout().toUtf8());
        }
      }
    }
    // Off the picture the readout is empty.
    window.ZoomTo(0.25, QPointF(0, 0));
    v.MoveTo(QPointF(window.viewport()->width() - 2, window.viewport()->height() - 2));
    QCOMPARE(v.Readout(), QString());

    // Colour: the planes' values beside the stored one.
    auto& store = v.corvex.store;
    for (int i = 0; i < corvex::kImageValues; ++i) {
      store.redPlane[i] = 11;
      store.greenPlane[i] = 22;
      store.bluePlane[i] = 33;
    }
    v.corvex.state.colourConverted = true;
    window.ZoomTo(2, QPointF(0, 0));
    v.MoveTo(window.ViewportPointOf(QPointF(20.5, 30 * 373 / 290 + 1.5)));
    QCOMPARE(v.Readout(), Expected(20, 30) + "  R 11  G 22  B 33");
  }

  // A raw frame shows its sky and stars at once through the screen stretch, which changes
  // the picture only: the image's values stay as they are, with the stretch on, off, and
  // zoomed; switching it off shows the display bitmap itself.
  void ScreenStretchShowsARawFrameAndLeavesItsData() {
    Viewer v;
    auto& state = v.corvex.state;
    state.exposureMs = 1000;
    QVERIFY(corvex::ExposeFullFrame(v.corvex));
    TCorvexWindow& window = v.window();
    window.RefreshDisplay();
    const std::vector<std::uint16_t> before(
        v.corvex.store.currentImage.data(),
        v.corvex.store.currentImage.data() + corvex::kImageValues);
    QVERIFY(window.screenStretch());
    QVERIFY(window.shownStretch().has_value());
    QVERIFY(v.frame->stretchButton()->isChecked());
    const QImage stretched = window.shownPicture().toImage();
    // The raw display is nearly black; the stretch lifts the sky to a visible grey.
    window.grab().save(Screenshots() + "/raw_frame_stretched.png");
    QVERIFY(window.Command(command::kScreenStretch));
    QVERIFY(!window.screenStretch());
    QVERIFY(!window.shownStretch().has_value());
    const QImage plain = window.shownPicture().toImage();
    QVERIFY2(MedianGrey(plain) < 10, qPrintable(QString::number(MedianGrey(plain))));
    QVERIFY2(MedianGrey(stretched) > 30, qPrintable(QString::number(MedianGrey(stretched))));
    window.grab().save(Screenshots() + "/raw_frame_plain.png");
    // Back on, zoomed and refreshed: the values never changed.
    QVERIFY(window.Command(command::kScreenStretch));
    window.ZoomTo(3, QPointF(200, 100));
    window.RefreshDisplay();
    QCOMPARE(window.shownPicture().toImage(), stretched);
    QVERIFY(std::equal(before.begin(), before.end(), v.corvex.store.currentImage.data()));
    // The histogram marks where the stretch puts black and white.
    QVERIFY(window.Command(command::kHistogram));
    auto* histogram = window.findChild<THistDialog*>();
    QVERIFY(histogram != nullptr);
    histogram->Render().save(Screenshots() + "/histogram_stretch.png");
    // "Auto contrast" is a display transform of its own and takes the screen stretch off.
    QVERIFY(window.Command(command::kAutoContrast));
    QVERIFY(state.autoContrast);
    QVERIFY(!window.screenStretch());
  }

  // A star picked with the mouse on the enlarged picture is measured where it is: its HFR
  // and FWHM beside it, in arcseconds too once the optics are known, and one pick ends the
  // picking mode.
  void PickedStarIsMeasured() {
    Viewer v;
    auto& state = v.corvex.state;
    state.exposureMs = 1000;
    QVERIFY(corvex::ExposeFullFrame(v.corvex));
    TCorvexWindow& window = v.window();
    window.RefreshDisplay();
    const auto star =
        corvex::BrightestStar(v.corvex.store.currentImage.data(), corvex::kImageStride,
                              corvex::kImageRows, corvex::kImageStride, 24);
    QVERIFY(star.has_value());
    window.ZoomTo(2, QPointF(0, 0));
    window.horizontalScrollBar()->setValue(star->x * 2 - 200);
    window.verticalScrollBar()->setValue(star->y * 2 - 150);
    QVERIFY(window.Command(command::kPickGuideStar));
    QTest::mouseClick(window.viewport(), Qt::LeftButton, {},
                      window.ViewportPointOf(QPointF(star->x + 0.5, star->y + 0.5)).toPoint());
    QVERIFY(state.guideStarPicked);
    QVERIFY(!window.pickGuideStarMode());
    QVERIFY(std::abs(state.pickedStarX - star->x) <= 2 &&
            std::abs(state.pickedStarY - star->y) <= 2);
    QVERIFY(window.pickedStar().has_value());
    const double hfr = window.pickedStar()->hfr;
    QVERIFY2(hfr > 0.5 && hfr < 6, qPrintable(QString::number(hfr)));
    QVERIFY(window.pickedStar()->fwhm > hfr);
    QVERIFY(window.PickedStarLines().at(0).startsWith("HFR "));
    QVERIFY(!window.PickedStarLines().at(0).contains('"'));
    // 9.8 um x 12.6 um pixels (the header holds millimetres) behind 1000 mm (39.37 in).
    v.corvex.fits.pixelWidth = 0.0098;
    v.corvex.fits.pixelHeight = 0.0126;
    v.corvex.fits.focalLength = 39.37;
    QVERIFY(window.PickedStarLines().at(1).contains('"'));
    window.grab().save(Screenshots() + "/picked_star.png");
  }
};

QTEST_MAIN(ImageViewTest)
#include "image_view_test.moc"
