// The guider camera panel, the telescope panel, the guiding window and the image viewers,
// driven offscreen on the simulated observatory, and printing and the clipboard.
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <string>
#include <cmath>
#include <filesystem>

#include "camera/camera_link.h"
#include "corvex.h"
#include "guiding/telescope_link.h"
#include "runs/guiding_loops.h"
#include "guiding/star_pick.h"
#include "platform/clock.h"
#include "sim/observatory.h"
#include "ui/corvex_frame.h"
#include "ui/corvex_window.h"
#include "ui/guide_graph.h"
#include "ui/guider_dialog.h"
#include "ui/host_windows.h"
#include "ui/qt_host.h"
#include "ui/telescope_dialogs.h"
#include "ui/viewer_windows.h"
#include "gui_support.h"

using corvex::Corvex;
using namespace corvex::ui;

namespace {

// A program on the simulated observatory, whose truth the tests read.
struct Observatory : testing::QtProgram {
  Observatory() {
    sky = std::make_shared<corvex::sim::SimulatedObservatory>(clock, corvex::sim::SimConfig{});
    corvex.devices = corvex::sim::MakeSimulatedEnumerator(sky);
    corvex::DiscoverCamera(corvex.camera, *corvex.devices, corvex.state);
    corvex.state.settings.telescopeMethod = 'l';
  }

  std::shared_ptr<corvex::sim::SimulatedObservatory> sky;
};

using testing::Screenshots;

}  // namespace

class GuidingWindowsTest : public QObject {
  Q_OBJECT

 private slots:
  void GuiderPanelControls() {
    Observatory o;
    auto& state = o.corvex.state;
    TGQSDialog panel(o.corvex);
    panel.ChooseUnit('s');
    QCOMPARE(int(state.guiderExposureValue), 1);
    for (int i = 0; i < 20; ++i) panel.StepExposure(+1);
    QCOMPARE(int(state.guiderExposureValue), 10);
    panel.ChooseUnit('h');
    QCOMPARE(int(state.guiderExposureValue), 5);
    QCOMPARE(int(state.guiderExposureMax), 500);

    // "Apply Darkframe" cannot come on before a dark has been taken.
    panel.ToggleApplyDark();
    QVERIFY(!state.guiderDarkSubtract);
    panel.ChooseUnit('s');
    panel.TakeDarkFrame();
    QVERIFY(state.guiderDarkAvailable);
    QCOMPARE(QString::fromStdString(state.guiderDarkDescription), QString(" 1 second "));
    panel.ToggleApplyDark();
    QVERIFY(state.guiderDarkSubtract);
    QCOMPARE(qobject_cast<QLineEdit*>(panel.Control("darkStatus"))->text(),
             QString(" 1 second darkframe being used"));

    // The stretch scroll bar keeps to 5..8.
    state.guiderGain = 8;
    for (int i = 0; i < 5; ++i) panel.StepStretch(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(state.guiderGain, 5);
    panel.StepStretch(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(state.guiderGain, 8);
  }

  void AGuidedRunFromTheGuiderPanel() {
    Observatory o;
    auto& state = o.corvex.state;
    auto& guiding = o.corvex.guiding;
    TGQSDialog panel(o.corvex);
    panel.show();
    panel.ChooseUnit('s');
    panel.StartExposures(2);
    const auto star = corvex::BrightestStar(o.corvex.store.guiderImage.data(), 500, 290, 500, 24);
    QVERIFY(star.has_value());
    panel.EnterSelectMode();
    QVERIFY(panel.SelectAt(star->x, star->y));
    QVERIFY(!panel.selectMode());
    panel.Train();
    QVERIFY(guiding.training.guiderTrained);
    QCOMPARE(qobject_cast<QLineEdit*>(panel.Control("valuesStatus"))->text(),
             QString("Using Trained Vals"));
    // The "Latest" RA angle in degrees: the simulated guider is turned by 30.
    const int angle = qobject_cast<QLineEdit*>(panel.Control("latest4"))->text().toInt();
    QVERIFY2(std::abs(angle - 30) <= 1, qPrintable(QString::number(angle)));
    panel.grab().save(Screenshots() + "/guider_panel.png");
    // Guiding on the trained values starts where training left the star.
    const corvex::SamplePoint last = guiding.training.trainingSamples[8];
    panel.StartExposures(1);
    QVERIFY(panel.SelectAt(last.x, last.y));
    state.settings.ignoreRaAngle = false;

    const std::int64_t start = o.clock.NowMs();
    const auto offset0 = o.sky->mount().OffsetAt(start);
    const auto guided0 = o.sky->mount().GuidedAt(start);
    double sum = 0;
    int samples = 0;
    double unguided = 0;
    corvex::RunGuiderGuiding(o.corvex, [&](Corvex& c, const corvex::GuideCorrection&) {
      const std::int64_t now = c.clock.NowMs();
      const auto offset = o.sky->mount().OffsetAt(now);
      const auto guided = o.sky->mount().GuidedAt(now);
      sum += std::pow(offset.x - offset0.x, 2) + std::pow(offset.y - offset0.y, 2);
      unguided = std::hypot(offset.x - guided.x - (offset0.x - guided0.x),
                            offset.y - guided.y - (offset0.y - guided0.y));
      ++samples;
      if (now - start > 4 * 60000) c.state.guiderGuidingRunning = false;
    });
    QVERIFY(samples > 50);
    QVERIFY2(std::sqrt(sum / samples) < 0.4, "the star stays put");
    QVERIFY(unguided > 1.5);
    // The guiding window showed the frame and drew the graph.
    QVERIFY(o.host.guidingInfo() != nullptr);
    const TGuidingInfoDialog& info = *o.host.guidingInfo();
    const TGuideGraph& graph = info.graph();
    QVERIFY(graph.stats().count() > 50);
    // On the trained axes, and the summary stays once guiding has ended.
    QVERIFY(graph.axes().sky);
    QVERIFY(info.finished() && info.isVisible());
    QVERIFY(graph.RmsText().startsWith("RMS  RA "));
    // The guide log holds every correction the graph drew: its rows, resolved on the same
    // axes, give the graph's RMS, and its summary repeats it.
    std::ifstream log(o.host.guideLogPath());
    QVERIFY2(log.good(), o.host.guideLogPath().c_str());
    std::string line;
    std::getline(log, line);
    QCOMPARE(line + "\n", std::string(corvex::kGuideLogHeader));
    int rows = 0;
    double first = 0, second = 0;
    std::string summary;
    while (std::getline(log, line)) {
      if (line.starts_with("#")) {
        summary += line + "\n";
        continue;
      }
      double t = 0, dx = 0, dy = 0;
      QCOMPARE(std::sscanf(line.c_str(), "%lf,%lf,%lf", &t, &dx, &dy), 3);
      const corvex::AxisError e = corvex::ResolveOnAxes(graph.axes(), dx, dy);
      first += e.first * e.first;
      second += e.second * e.second;
      ++rows;
    }
    QCOMPARE(rows, graph.stats().count());
    QVERIFY(std::abs(std::sqrt(first / rows) - graph.stats().RmsFirst()) < 0.002);
    QVERIFY(std::abs(std::sqrt(second / rows) - graph.stats().RmsSecond()) < 0.002);
    char rms[64];
    std::snprintf(rms, sizeof rms, "rms_ra_px=%.3f", graph.stats().RmsFirst());
    QVERIFY2(summary.find(rms) != std::string::npos, summary.c_str());
    QVERIFY(summary.find("# Guiding summary: ") == 0);
    QCoreApplication::processEvents();  // the window grows to hold the summary
    o.host.guidingInfo()->grab().save(Screenshots() + "/guider_guiding_info.png");
  }

  void TelescopePanelSendsTheGoTos() {
    Observatory o;
    TMTDialog panel(o.corvex);
    panel.Field("Messier Object")->setText("110");
    panel.GoToObject();
    const auto& sent = o.sky->telescopeCommands();
    QVERIFY(!sent.empty());
    bool selected = false;
    for (const auto& command : sent) selected = selected || command.text == "#:LM 0110#";
    QVERIFY(selected);
    const std::size_t before = sent.size();
    panel.Field("Messier Object")->setText("111");
    panel.Field("CNGC Object")->setText("0");
    panel.GoToObject();
    QVERIFY(o.Said("Object out of range - try again"));
    QCOMPARE(o.sky->telescopeCommands().size(), before);
    panel.Field("hrs")->setText("24");
    panel.GoToCoordinates();
    QCOMPARE(o.sky->telescopeCommands().size(), before);
    QVERIFY(o.host.answeredTexts.back().rfind("Invalid Co-ordinates set.", 0) == 0);
    panel.grab().save(Screenshots() + "/telescope_panel.png");
    TCBDialog box(o.corvex);
    box.grab().save(Screenshots() + "/move_telescope.png");
  }

  void HistogramOfAKnownImage() {
    Observatory o;
    o.corvex.store.currentImage.Fill(0x0500);
    for (int i = 10 * 512; i < 10 * 512 + 600; ++i) o.corvex.store.currentImage[i] = 0x2000;
    THistDialog histogram(o.corvex.store.currentImage, nullptr);
    // Bin 5 holds everything but 600 values; bin 32 has 600, three fifths of the linear
    // scale's height.
    QCOMPARE(histogram.CutBinsText(), QString("val   count\n005  142760\n"));
    histogram.SetLogarithmic(false);
    const QSize size(420, 260);
    const THistogramView& view = histogram.view();
    QImage painted = histogram.Render();
    const int x5 = THistogramView::BinX(5, size), x32 = THistogramView::BinX(32, size);
    const int middle = view.CountY(500, size);
    QCOMPARE(QColor(painted.pixel(x5, middle)), QColor(255, 0, 0));  // bin 5, cut, red
    QCOMPARE(QColor(painted.pixel(x32, view.CountY(590, size))), QColor(0, 0, 128));
    QVERIFY(QColor(painted.pixel(x32, view.CountY(610, size))) != QColor(0, 0, 128));
    painted.save(Screenshots() + "/histogram_linear.png");
    // Logarithmic: nothing is cut, the tall bar reaches its count's decade.
    histogram.SetLogarithmic(true);
    QCOMPARE(histogram.CutBinsText(), QString("val   count\n005  142760\n"));
    painted = histogram.Render();
    QCOMPARE(QColor(painted.pixel(x5, view.CountY(100000, size))), QColor(0, 0, 128));
    QCOMPARE(QColor(painted.pixel(x32, view.CountY(550, size))), QColor(0, 0, 128));
    QVERIFY(QColor(painted.pixel(x32, view.CountY(700, size))) != QColor(0, 0, 128));
    painted.save(Screenshots() + "/histogram.png");

    TValuesDialog values(nullptr);
    values.ShowPixel(o.corvex, 20, 10);
    QCOMPARE(values.Field(1806), QString("  8192"));
    QCOMPARE(values.Field(1803), QString("0"));
    values.ShowPixel(o.corvex, 1, 10);  // not strictly inside: nothing changes
    QCOMPARE(values.Field(1801), QString("20"));
    // Each column's title stands over its own value, and above it.
    values.adjustSize();
    values.show();
    const char* titles[] = {"x", "y", "R", "G", "B", "Lum"};
    for (int i = 0; i < 6; ++i) {
      const QWidget* field = values.findChild<QLineEdit*>(QString("id%1").arg(1801 + i));
      const QLabel* title = nullptr;
      for (const QLabel* label : values.findChildren<QLabel*>()) {
        if (label->text() == titles[i]) title = label;
      }
      QVERIFY2(field != nullptr && title != nullptr, titles[i]);
      QVERIFY2(std::abs(title->geometry().center().x() - field->geometry().center().x()) <= 2,
               titles[i]);
      QVERIFY2(title->geometry().bottom() < field->geometry().top(), titles[i]);
    }
  }

  void PrintingAndTheClipboard() {
    Observatory o;
    TCorvexFrame frame(o.corvex, o.host);
    corvex::FillStartupRamps(o.corvex.store);
    frame.window().RefreshDisplay();
    QVERIFY(frame.window().hasDisplay());

    frame.window().Command(24323);
    QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(512, 290));

    QTemporaryDir out;
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(out.path() + "/corvex.pdf");
    QVERIFY(frame.window().PrintDisplay(printer));
    QVERIFY(QFileInfo(out.path() + "/corvex.pdf").size() > 1000);
    QProcess render;
    render.start("pdftoppm", {"-png", "-r", "20", out.path() + "/corvex.pdf", out.path() + "/page"});
    QVERIFY(render.waitForFinished(30000));
    QCOMPARE(render.exitCode(), 0);
    QVERIFY(QFileInfo::exists(out.path() + "/page-1.png"));
  }

  void HelpOpensTheManual() {
    QVERIFY2(!TCorvexWindow::ManualPath().isEmpty(), "docs/manual.md ships with the program");
  }
};

QTEST_MAIN(GuidingWindowsTest)
#include "guiding_windows_test.moc"
