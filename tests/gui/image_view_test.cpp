// The image view driven offscreen: zoom about the pointer and its limits, the aspect-true
// fit, panning by dragging, the readout under the pointer at several zooms and in QZ
// geometry, the screen stretch changing only what is shown, and the picked star's
// measurement in pixels and arcseconds with the zoom in the status bar.
#include <QLabel>
#include <QRegularExpression>
#include <QStatusBar>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
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
#include "ui/focus_graph.h"
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

  // An analytic star of known width picked on the enlarged QZ picture: its HFR and FWHM are
  // drawn beside it in pixels and, once the pixel size and focal length are known, in
  // arcseconds at the scale they give; the focus graph says the same. The status bar's zoom
  // follows the wheel's commands, the keys, "1:1" and "Fit".
  void StarReadoutInArcsecondsAndZoomInTheStatusBar() {
    Viewer v;
    // A Gaussian star on a flat sky: FWHM = 2.3548 sigma, HFR = 1.1774 sigma.
    const double sigma = 1.8;
    const QPointF at(240.3, 130.6);
    for (int y = 0; y < corvex::kImageRows; ++y) {
      for (int x = 0; x < corvex::kImageStride; ++x) {
        const double r2 = std::pow(x + 0.5 - at.x(), 2) + std::pow(y + 0.5 - at.y(), 2);
        v.corvex.store.currentImage[y * corvex::kImageStride + x] =
            static_cast<std::uint16_t>(1000 + 30000 * std::exp(-r2 / (2 * sigma * sigma)));
      }
    }
    TCorvexWindow& window = v.window();
    window.RefreshDisplay();
    QLabel* zoom = v.frame->zoomLabel();
    QVERIFY(v.frame->statusBar()->isAncestorOf(zoom) && zoom->isVisible());

    QVERIFY(window.Command(command::kQzGeometry));
    const double qzRow = 373.0 / 290.0;
    window.ZoomTo(3, QPointF(0, 0));
    window.horizontalScrollBar()->setValue(static_cast<int>(at.x() * 3) - 150);
    window.verticalScrollBar()->setValue(static_cast<int>(at.y() * qzRow * 3) - 120);
    QCOMPARE(zoom->text(), QString("Zoom 300%"));
    QVERIFY(window.Command(command::kPickGuideStar));
    QTest::mouseClick(window.viewport(), Qt::LeftButton, {},
                      window.ViewportPointOf(QPointF(at.x(), at.y() * qzRow)).toPoint());
    QVERIFY(window.pickedStar().has_value());
    const double hfr = window.pickedStar()->hfr;
    const double fwhm = window.pickedStar()->fwhm;
    QVERIFY2(std::abs(hfr / (1.1774 * sigma) - 1) < 0.05, qPrintable(QString::number(hfr)));
    QVERIFY2(std::abs(fwhm / (2.3548 * sigma) - 1) < 0.05, qPrintable(QString::number(fwhm)));
    QCOMPARE(window.PickedStarLines().at(0), QString("HFR %1 px").arg(hfr, 0, 'f', 2));

    // 9.8 um x 12.6 um pixels (the header holds millimetres) behind 1000 mm (39.37 in):
    // 206.265 x 11.11 um / 1000 mm = 2.29" a pixel.
    v.corvex.fits.pixelWidth = 0.0098;
    v.corvex.fits.pixelHeight = 0.0126;
    v.corvex.fits.focalLength = 39.37;
    const double scale = 206.265 * std::sqrt(9.8 * 12.6) / 1000;
    const QStringList lines = window.PickedStarLines();
    const QRegularExpression width("^(HFR|FWHM) (\\d+\\.\\d\\d) px \\((\\d+\\.\\d)\"\\)$");
    for (int i = 0; i < 2; ++i) {
      const QRegularExpressionMatch m = width.match(lines.at(i));
      QVERIFY2(m.hasMatch(), qPrintable(lines.at(i)));
      const double px = m.captured(2).toDouble();
      QCOMPARE(px, std::round((i == 0 ? hfr : fwhm) * 100) / 100);
      QVERIFY2(std::abs(m.captured(3).toDouble() - px * scale) <= 0.06, qPrintable(lines.at(i)));
    }
    QVERIFY(lines.at(2).startsWith("peak ") && lines.at(3).startsWith("flux "));

    // Drawn beside the star: pale yellow text right of the cross, none left of it.
    window.viewport()->update();
    const QImage shown = window.viewport()->grab().toImage();
    const QPoint centre =
        window.ViewportPointOf(QPointF(v.corvex.state.pickedStarX + 0.5,
                                       (v.corvex.state.pickedStarY + 0.5) * qzRow))
            .toPoint();
    const auto textPixels = [&shown](QRect area) {
      int count = 0;
      area = area.intersected(shown.rect());
      for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
          const QColor c(shown.pixel(x, y));
          if (c.red() > 200 && c.green() > 200 && c.blue() > 90 && c.blue() < 220) ++count;
        }
      }
      return count;
    };
    QVERIFY(textPixels(QRect(centre + QPoint(24, -20), QSize(200, 80))) > 20);
    QCOMPARE(textPixels(QRect(centre - QPoint(224, 20), QSize(200, 80))), 0);
    window.grab().save(Screenshots() + "/picked_star_arcsec.png");

    // The focus graph gives the same widths with the same scale.
    TFocusGraph graph;
    graph.SetArcsecPerPixel(scale);
    graph.Add(window.pickedStar());
    const QString expected =
        QString("FWHM %1 px (%2\")").arg(fwhm, 0, 'f', 2).arg(fwhm * scale, 0, 'f', 1);
    QVERIFY2(graph.LastText().contains(expected), qPrintable(graph.LastText()));

    // The zoom in the status bar after the keys, 1:1 and Fit.
    QApplication::setActiveWindow(v.frame.get());
    QVERIFY(QTest::qWaitForWindowActive(v.frame.get()));
    QTest::keyClick(v.frame.get(), Qt::Key_Plus);
    QCOMPARE(zoom->text(), QString("Zoom 400%"));
    QTest::keyClick(v.frame.get(), Qt::Key_Minus);
    QTest::keyClick(v.frame.get(), Qt::Key_Minus);
    QCOMPARE(zoom->text(), QString("Zoom 200%"));
    QTest::mouseClick(v.frame->findChild<QToolButton*>("actualSize"), Qt::LeftButton);
    QCOMPARE(zoom->text(), QString("Zoom 100%"));
    QTest::mouseClick(v.frame->findChild<QToolButton*>("fit"), Qt::LeftButton);
    QCOMPARE(zoom->text(), QString("Fit %1%").arg(std::lround(window.Scale() * 100)));
  }
};

QTEST_MAIN(ImageViewTest)
#include "image_view_test.moc"
