// What ends a run in the desktop program and what does not: exposures, guiding sessions,
// focus mode and the guider's repeated frames stop on Esc or their "Stop" buttons and keep
// going through clicks on the window, a menu or another widget and through other keys; the
// question before a long exposure is thrown away; and the camera panel's checks of a typed
// exposure value. The user's presses are made inside the program's own pumps, at chosen times
// on the virtual clock.
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

#include "camera/camera_link.h"
#include "corvex.h"
#include "guiding/telescope_link.h"
#include "runs/capture_run.h"
#include "runs/guiding_loops.h"
#include "support/test_rig.h"
#include "ui/command_map.h"
#include "ui/corvex_app.h"
#include "ui/corvex_frame.h"
#include "ui/corvex_window.h"
#include "ui/focus_graph.h"
#include "ui/guide_graph.h"
#include "ui/guider_dialog.h"
#include "ui/host_windows.h"
#include "ui/qs_dialog.h"
#include "ui/qt_host.h"
#include "gui_support.h"

using corvex::Corvex;
using namespace corvex::ui;
using namespace corvex::ui::command;

namespace {

// The whole program on the simulated observatory, with a user who acts at given clock times
// while a run pumps.
struct Program : testing::QtProgram {
  Program() {
    std::string error;
    corvex.devices = MakeDeviceSource(true, "", clock, error);
    corvex::DiscoverCamera(corvex.camera, *corvex.devices, corvex.state);
    corvex.state.settings.telescopeMethod = 'l';
    frame = std::make_unique<TCorvexFrame>(corvex, host);
    host.SetParentWindow(frame.get());
    frame->window().acceptDialogsAutomatically = true;
    frame->show();
    host.duringPump = [this] {
      while (!steps.empty() && clock.NowMs() >= steps.front().first) {
        const auto act = std::move(steps.front().second);
        steps.erase(steps.begin());
        act();
      }
    };
  }

  // `act` runs in the first pump at or after `afterMs` from now; steps come in time order.
  void At(std::int64_t afterMs, std::function<void()> act) {
    steps.emplace_back(clock.NowMs() + afterMs, std::move(act));
  }
  TCorvexWindow& window() { return frame->window(); }
  std::filesystem::path FirstAutosave() const { return Home() / "autosave" / "IMG1.FIT"; }
  bool Asked(const std::string& start) const {
    for (const std::string& said : host.answeredTexts) {
      if (said.rfind(start, 0) == 0) return true;
    }
    return false;
  }

  // A single exposure of `seconds`, read and saved unless something stops it.
  void SetUpExposure(int seconds) {
    corvex.state.exposureUnit = 's';
    corvex.state.exposureValue = seconds;
    corvex.state.autoSave = true;
    corvex.state.autoColour = false;
  }

  std::unique_ptr<TCorvexFrame> frame;
  std::vector<std::pair<std::int64_t, std::function<void()>>> steps;
};

// The clicks and keys that must not stop anything: on the image, the status bar, another
// window's widget, and keys other than Esc.
void StrayInput(Program& p, QWidget* other) {
  QTest::mouseClick(p.window().viewport(), Qt::LeftButton, {}, QPoint(100, 100));
  QTest::mouseClick(p.window().viewport(), Qt::RightButton, {}, QPoint(120, 80));
  QTest::mouseClick(p.frame->statusBar(), Qt::LeftButton);
  if (other != nullptr) QTest::mouseClick(other, Qt::LeftButton, {}, QPoint(2, 2));
  QTest::keyClick(p.frame.get(), Qt::Key_A);
  QTest::keyClick(p.window().viewport(), Qt::Key_Space);
}

void PressEsc(QWidget* where) { QTest::keyClick(where, Qt::Key_Escape); }

// The shown message box, answered by pressing `button` as soon as its loop runs; its picture
// is saved first.
void AnswerNextQuestion(QMessageBox::StandardButton button, const QString& screenshot,
                        QString* text) {
  QTimer::singleShot(0, [button, screenshot, text] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(box != nullptr);
    *text = box->windowTitle() + "|" + box->text() + "|" +
            box->defaultButton()->text().remove('&');
    if (!screenshot.isEmpty()) box->grab().save(screenshot);
    QTest::mouseClick(box->button(button), Qt::LeftButton);
  });
}

}  // namespace

class StoppingRunsTest : public QObject {
  Q_OBJECT

 private slots:
  // A minute's exposure outlives clicks on the window, on the progress window, a menu opened
  // and closed again with Esc, and other keys; it is read and saved.
  void StrayClicksAndKeysKeepTheExposure() {
    Program p;
    p.SetUpExposure(60);
    p.At(5000, [&] { StrayInput(p, p.host.progress()); });
    p.At(10000, [&] {
      QMenuBar* bar = p.frame->menuBar();
      QTest::mouseClick(bar, Qt::LeftButton, {},
                        bar->actionGeometry(bar->actions().first()).center());
    });
    p.At(12000, [&] {
      QWidget* menu = QApplication::activePopupWidget();
      QVERIFY2(menu != nullptr, "the click opened the menu");
      PressEsc(menu);
      QVERIFY2(QApplication::activePopupWidget() == nullptr, "Esc closed the menu");
    });
    p.At(30000, [&] {
      QVERIFY(p.host.progress()->isVisible());
      QVERIFY(p.host.progress()->stopButton()->isEnabled());
      p.host.progress()->grab().save(testing::Screenshots() + "/exposure_progress.png");
    });
    const std::int64_t start = p.clock.NowMs();
    p.window().Command(kCameraInterface);
    QVERIFY(p.steps.empty());
    QVERIFY(!p.corvex.state.abortRequested);
    QVERIFY(p.clock.NowMs() - start >= 60000);
    QVERIFY2(std::filesystem::exists(p.FirstAutosave()), "the frame was read and saved");
    QVERIFY(!p.Asked("The exposure has been running"));
    QVERIFY(!p.host.progress()->isVisible());
  }

  // A series says which of its exposures is under way from its countdown to its last
  // frame's readout and save, also where the caption has no count of its own; a continuous
  // run without an end counts up; a single exposure shows no counter; a run's end clears it.
  void TheSeriesCounterIsNeverEmpty() {
    struct Case {
      const char* name;
      int count;
      bool continuous;
      bool delay;
      std::vector<QString> expected;  // the counters seen, in order
    };
    const std::vector<Case> cases = {
        {"three continuous with a countdown", 3, true, true,
         {"Exposure 1 of 3", "Exposure 2 of 3", "Exposure 3 of 3"}},
        {"continuous without an end", 1, true, false, {"Exposure 1", "Exposure 2", "Exposure 3"}},
        {"one exposure", 1, false, false, {}},
    };
    for (const Case& c : cases) {
      Program p;
      p.SetUpExposure(8);
      p.corvex.state.startDelay = c.delay;
      std::vector<QString> seen;
      QStringList empty;  // captions shown with an empty counter during a series
      QStringList firstFrameCaptions;
      QStringList lastFrameCaptions;
      bool grabbed = false;
      const auto before = p.host.duringPump;
      p.host.duringPump = [&] {
        before();
        TFilterProgress* window = p.host.progress();
        if (window == nullptr || !window->isVisible()) return;
        const QString counter = window->seriesText();
        if (c.expected.empty()) {
          if (!counter.isEmpty()) empty << "single: " + counter;
          return;
        }
        if (counter.isEmpty()) empty << window->caption();
        if (seen.empty() || seen.back() != counter) seen.push_back(counter);
        if (counter == "Exposure 2 of 3" && !grabbed && window->TimesText().contains("remaining")) {
          window->grab().save(testing::Screenshots() + "/series_progress.png");
          grabbed = true;
        }
        if (counter == c.expected.front()) firstFrameCaptions << window->caption();
        if (counter == c.expected.back()) lastFrameCaptions << window->caption();
      };
      // The endless run is stopped during its third exposure (each frame takes its 8 s, the
      // readout and the second between frames: about 11.5 s).
      if (c.continuous && c.count == 1) p.At(27000, [&] { PressEsc(p.frame.get()); });
      corvex::CaptureGuidingSteps guiding;
      corvex::RunCapture(
          p.corvex,
          [&c](Corvex& program) {
            program.state.exposureCount = c.count;
            program.state.continuousMode = c.continuous;
            return corvex::PanelOutcome::kTakePhoto;
          },
          guiding);
      QVERIFY2(empty.isEmpty(), qPrintable(QString(c.name) + ": " + empty.join(", ")));
      QVERIFY2(seen == c.expected, qPrintable(QString(c.name) + ": " +
                                              QStringList(seen.begin(), seen.end()).join(", ")));
      if (c.count == 3) {
        QVERIFY2(lastFrameCaptions.contains("READ QZ CAMERA - takes 2 - 3 seconds"),
                 qPrintable(lastFrameCaptions.join(", ")));
        QVERIFY(std::filesystem::exists(p.Home() / "autosave" / "IMG3.FIT"));
      }
      if (c.delay) {
        QVERIFY2(firstFrameCaptions.contains("EXPOSURE DELAY (Left - 10)"),
                 qPrintable(firstFrameCaptions.join(", ")));
      }
      QVERIFY2(p.host.progress() == nullptr || p.host.progress()->seriesText().isEmpty(), c.name);
    }
  }

  // Esc, the progress window's "Stop" and its close button each end a short exposure at once;
  // nothing is read or saved.
  void EscAndStopEndTheExposure() {
    const std::vector<std::pair<const char*, std::function<void(Program&)>>> stops = {
        {"Esc on the main window", [](Program& p) { PressEsc(p.frame.get()); }},
        {"Esc on the progress window", [](Program& p) { PressEsc(p.host.progress()); }},
        {"Stop",
         [](Program& p) {
           QTest::mouseClick(p.host.progress()->stopButton(), Qt::LeftButton);
         }},
        {"the close button", [](Program& p) { p.host.progress()->close(); }},
    };
    for (const auto& entry : stops) {
      const char* name = entry.first;
      const std::function<void(Program&)>& stop = entry.second;
      Program p;
      p.SetUpExposure(8);
      p.At(4000, [&p, &stop] { stop(p); });
      const std::int64_t start = p.clock.NowMs();
      p.window().Command(kCameraInterface);
      QVERIFY2(p.corvex.state.abortRequested, name);
      QVERIFY2(p.clock.NowMs() - start < 6000, name);
      QVERIFY2(!std::filesystem::exists(p.FirstAutosave()), name);
      QVERIFY2(!p.host.progress()->isVisible(), name);
    }
  }

  // Before a long exposure is thrown away the user is asked; "No" (or Enter, or Esc in the
  // question) keeps it, and answering is never taken for a second stop.
  void TheQuestionBeforeALongExposureIsLost() {
    Program p;
    p.host.answerAutomatically = false;
    p.host.OpenProgress("EXPOSURE UNDERWAY");
    // A run's wait as the capture run does it: pump, and ask before ending the exposure.
    const auto pumpUntilStopped = [&p](std::int64_t untilMs) {
      while (p.clock.NowMs() < untilMs) {
        p.clock.SleepFor(20);
        if (p.host.PumpEvents()) return true;
      }
      return false;
    };
    QString asked;
    p.At(30000, [&] { PressEsc(p.frame.get()); });
    QVERIFY(pumpUntilStopped(p.clock.NowMs() + 60000));
    AnswerNextQuestion(QMessageBox::No, testing::Screenshots() + "/confirm_stop_exposure.png",
                       &asked);
    QVERIFY(!p.host.ConfirmCancelExposure(30));
    QCOMPARE(asked, QString("Corvex|The exposure has been running for 30 seconds.\nStop it now? "
                            "The exposure will be lost.|No"));
    QVERIFY2(!pumpUntilStopped(p.clock.NowMs() + 5000), "the answer is not another stop");

    // Esc in the question is its "No", and is not seen by the run either.
    QTimer::singleShot(0, [] { PressEsc(QApplication::activeModalWidget()); });
    QVERIFY(!p.host.ConfirmCancelExposure(35));
    QVERIFY(!pumpUntilStopped(p.clock.NowMs() + 5000));

    // "Stop" and "Yes" end it.
    p.At(1000, [&] { QTest::mouseClick(p.host.progress()->stopButton(), Qt::LeftButton); });
    QVERIFY(pumpUntilStopped(p.clock.NowMs() + 5000));
    AnswerNextQuestion(QMessageBox::Yes, {}, &asked);
    QVERIFY(p.host.ConfirmCancelExposure(46));
    p.host.CloseProgress();
  }

  // A press of "Stop" while nothing pumps (a window left over) is not kept for the next run,
  // and a processing pass's progress cannot be stopped. Esc in a dialog that a command opened
  // during a run cancels that dialog, not the run.
  void StopsOnlyCountWhileARunPumps() {
    Program p;
    p.host.OpenProgress("CONTRAST STRETCH");
    QVERIFY(!p.host.progress()->stopButton()->isEnabled());
    p.host.RequestCancel();
    QVERIFY(!p.host.PumpEvents());
    QVERIFY(p.host.progress()->stopButton()->isEnabled());

    int dialogResult = -1;
    p.At(0, [&] {
      QDialog dialog(p.frame.get());
      QTimer::singleShot(0, &dialog, [&dialog] { PressEsc(&dialog); });
      dialogResult = dialog.exec();
    });
    QVERIFY(!p.host.PumpEvents());
    QCOMPARE(dialogResult, int(QDialog::Rejected));
    p.host.CloseProgress();
  }

  // Main-camera guiding from the menu and guider guiding both run on through stray clicks
  // and keys, and end on their window's "Stop" or on Esc.
  void GuidingStopsOnStopAndEscOnly() {
    struct Session {
      const char* name;
      int command;
      bool guider;
    };
    for (const Session& session : {Session{"self-guiding", kStartAutoGuiding, false},
                                   Session{"guider guiding", kStartGuiderGuiding, true}}) {
      for (const bool byEsc : {false, true}) {
        Program p;
        if (session.guider) {
          QVERIFY(corvex::testing::SelectBrightestGuiderStar(p.corvex));
        } else {
          p.SetUpExposure(1);
          p.corvex.state.autoSave = false;
          QVERIFY(corvex::testing::PickBrightestStar(p.corvex));
        }
        bool runningAfterStrayInput = false;
        p.At(5000, [&] {
          QVERIFY(p.host.guidingInfo() != nullptr && p.host.guidingInfo()->isVisible());
          StrayInput(p, p.host.guidingInfo());
        });
        p.At(15000, [&] {
          runningAfterStrayInput = p.host.guidingInfo()->isVisible();
          if (!session.guider && !byEsc) {
            p.host.guidingInfo()->grab().save(testing::Screenshots() + "/guiding_info_stop.png");
          }
          if (byEsc) {
            PressEsc(p.host.guidingInfo());
          } else {
            QTest::mouseClick(p.host.guidingInfo()->stopButton(), Qt::LeftButton);
          }
        });
        const std::int64_t start = p.clock.NowMs();
        p.window().Command(session.command);
        const QByteArray what = QByteArray(session.name) + (byEsc ? " by Esc" : " by Stop");
        QVERIFY2(p.steps.empty(), what);
        QVERIFY2(runningAfterStrayInput, what);
        QVERIFY2(p.clock.NowMs() - start < 25000, what);
        // Guiding that measured corrections leaves its summary on screen, the window no
        // longer stopping anything; guiding that never got going closes its window.
        const TGuidingInfoDialog& info = *p.host.guidingInfo();
        if (info.graph().stats().count() > 0) {
          QVERIFY2(info.isVisible() && info.finished(), what);
          QCOMPARE(info.stopButton()->text(), QString("Close"));
        } else {
          QVERIFY2(!info.isVisible(), what);
        }
        if (!session.guider) QVERIFY2(p.Said("Guiding Terminated"), what);
        QVERIFY2(!p.corvex.state.guiderGuidingRunning, what);
      }
    }
  }

  // Focus mode in the camera panel and the guider panel's repeated frames: stray clicks and
  // keys go on, "Stop" and Esc end them, and Esc leaves the panel open.
  void PanelLoopsStopOnStopAndEscOnly() {
    for (const bool byEsc : {false, true}) {
      Program p;
      p.SetUpExposure(1);
      TQSDialog panel(p.corvex, p.frame.get());
      panel.show();
      bool focusing = false;
      p.At(3000, [&] { StrayInput(p, panel.Control(110)); });
      p.At(6000, [&] {
        focusing = p.corvex.state.focusRunning;
        if (byEsc) {
          PressEsc(&panel);
        } else {
          QTest::mouseClick(qobject_cast<QPushButton*>(panel.Control(109)), Qt::LeftButton);
        }
      });
      const std::int64_t start = p.clock.NowMs();
      panel.StartFocus();
      QVERIFY(focusing);
      // Every focus frame went into the focus graph.
      QVERIFY(!panel.focusGraph()->points().empty());
      if (!byEsc) panel.grab().save(testing::Screenshots() + "/focus_mode.png");
      QVERIFY(p.steps.empty());
      QVERIFY(!p.corvex.state.focusRunning);
      QVERIFY(p.clock.NowMs() - start < 10000);
      QVERIFY2(panel.isVisible(), "Esc stopped focus mode but did not close the panel");

      TGQSDialog guider(p.corvex, p.frame.get());
      guider.show();
      p.At(3000, [&] { StrayInput(p, &guider.view()); });
      p.At(8000, [&] {
        if (byEsc) {
          PressEsc(&guider);
        } else {
          QTest::mouseClick(qobject_cast<QPushButton*>(guider.Control("Stop")), Qt::LeftButton);
        }
      });
      guider.StartExposures();
      QVERIFY(p.steps.empty());
      QVERIFY(guider.isVisible());
    }
  }

  // "Take Photo" pressed while focus mode runs ends focus mode and then closes the panel.
  void LeavingThePanelEndsFocusMode() {
    Program p;
    p.SetUpExposure(1);
    TQSDialog panel(p.corvex, p.frame.get());
    panel.show();
    p.At(3000, [&] {
      QTest::mouseClick(qobject_cast<QPushButton*>(panel.Control(1)), Qt::LeftButton);
    });
    panel.StartFocus();
    QVERIFY(!p.corvex.state.focusRunning);
    QCOMPARE(panel.outcome(), corvex::PanelOutcome::kTakePhoto);
  }

  // A typed exposure value is checked against the range, refused with a message that keeps
  // the text, and survives clicks on other controls.
  void TheTypedExposureValueIsCheckedAndKept() {
    Program p;
    auto& state = p.corvex.state;
    TQSDialog panel(p.corvex, p.frame.get());
    panel.show();
    panel.ChooseRange('s');
    auto* value = qobject_cast<QLineEdit*>(panel.Control(105));
    auto* take = qobject_cast<QPushButton*>(panel.Control(1));
    const auto type = [value](const char* text) {
      value->setFocus();
      value->selectAll();
      QTest::keyClicks(value, text);
    };
    const std::string refused = "The exposure value must be a whole number from 1 to 300 seconds.";

    for (const char* wrong : {"9999", "-5", "0", "", "2.5", "ten"}) {
      p.host.answeredTexts.clear();
      if (*wrong == '\0') {
        value->clear();
      } else {
        type(wrong);
      }
      QTest::mouseClick(take, Qt::LeftButton);
      QVERIFY2(p.Said(refused), wrong);
      QVERIFY2(panel.isVisible(), wrong);
      QCOMPARE(panel.outcome(), corvex::PanelOutcome::kCancel);
      QCOMPARE(value->text(), QString(wrong));
      QCOMPARE(state.exposureValue, 1);
    }

    // A refused value stays through a click on another control; so does a good one, which
    // the panel has taken.
    type("9999");
    QTest::mouseClick(qobject_cast<QCheckBox*>(panel.Control(114)), Qt::LeftButton);
    QVERIFY(state.averageExposures);
    QCOMPARE(value->text(), QString("9999"));
    type("45");
    QTest::mouseClick(qobject_cast<QCheckBox*>(panel.Control(114)), Qt::LeftButton);
    QCOMPARE(value->text(), QString("45"));
    QCOMPARE(state.exposureValue, 45);
    panel.StepExposure(+1);
    panel.Refresh();
    QCOMPARE(value->text(), QString("46"));

    // "AutoGuide Image" with a refused value leaves no guider request behind; focus mode does
    // not start on one.
    p.corvex.guiding.guiderStarSelected = true;
    type("301");
    p.host.answeredTexts.clear();
    panel.TakePhoto(true);
    QVERIFY(!state.guideWithGuiderCamera);
    QVERIFY(p.Said(refused));
    panel.StartFocus();
    QVERIFY(!state.focusRunning);
    QCOMPARE(value->text(), QString("301"));
    QCOMPARE(state.exposureValue, 46);

    panel.ChooseRange('m');
    type("91");
    QTest::mouseClick(take, Qt::LeftButton);
    QVERIFY(p.Said("The exposure value must be a whole number from 1 to 90 minutes."));
    type(" 90 ");
    QTest::mouseClick(take, Qt::LeftButton);
    QCOMPARE(panel.outcome(), corvex::PanelOutcome::kTakePhoto);
    QCOMPARE(state.exposureValue, 90);
  }
};

QTEST_MAIN(StoppingRunsTest)
#include "stopping_runs_test.moc"
