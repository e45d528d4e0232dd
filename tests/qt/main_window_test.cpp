// The real window offscreen on the simulated board: key filters, the Change road, mirroring, Enter, press-and-hold,
// the log file dialog and a sweep running inside its click.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <memory>
#include <optional>
#include <string>

#include <fstream>
#include <sstream>

#include "cli/script.h"
#include "cli/session.h"
#include "qt/arrow_button.h"
#include "qt/main_window.h"
#include "qt/qt_toolkit.h"

namespace tavrin {
namespace {

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(root_.isValid());
    Options options;
    options.backend.board = "sim";
    options.driveRoot = root_.path().toStdString();
    options.traceFile = tracePath();
    session_ = std::make_unique<Session>(options, toolkit_);
    ASSERT_TRUE(session_->ok()) << session_->error();
    window_ = std::make_unique<MainWindow>(session_->program(), toolkit_);
    // A message box would wait for an operator: close it and fail the test.
    modalWatch_.setInterval(50);
    QObject::connect(&modalWatch_, &QTimer::timeout, [this] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        if (fileDialogExpected_ && qobject_cast<QFileDialog*>(modal)) return;
        modalSeen_ = true;
        modal->close();
      }
    });
    modalWatch_.start();
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    window_->load();  // start-up, as the program runs it once the window is up
    ASSERT_TRUE(form().Selectdir.enabled) << "start-up did not finish";
  }

  void TearDown() override {
    EXPECT_FALSE(modalSeen_) << "a message box came up";
    window_.reset();
    session_.reset();
  }

  Mainform& form() { return session_->program().form; }
  std::string tracePath() const { return root_.filePath(QStringLiteral("trace.txt")).toStdString(); }
  QLineEdit* box(const Control& c) { return qobject_cast<QLineEdit*>(window_->widgetFor(c)); }
  QPushButton* button(const Control& c) { return qobject_cast<QPushButton*>(window_->widgetFor(c)); }
  // Focus in the box with the cursor at its end, as after clicking into it.
  QLineEdit* enter(const Control& c) {
    QLineEdit* edit = box(c);
    edit->setFocus(Qt::MouseFocusReason);
    edit->end(false);
    return edit;
  }
  QPoint centreInWindow(const Control& c) {
    QWidget* w = window_->widgetFor(c);
    return w->mapTo(window_.get(), w->rect().center());
  }

  // Runs `answer` on the next file dialog, from inside the dialog's own event
  // loop. The answer must accept or reject it; a dialog left open is closed by
  // the message-box watch and fails the test.
  void answerFileDialog(std::function<void(QFileDialog&)> answer) {
    fileDialogExpected_ = true;
    dialogPoll_.disconnect();
    dialogPoll_.setInterval(5);
    QObject::connect(&dialogPoll_, &QTimer::timeout, [this, answer = std::move(answer)] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      dialogPoll_.stop();
      fileDialogExpected_ = false;
      answer(*dialog);
    });
    dialogPoll_.start();
  }

  QTemporaryDir root_;
  QtToolkit toolkit_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<MainWindow> window_;
  QTimer modalWatch_, dialogPoll_;
  bool modalSeen_ = false, fileDialogExpected_ = false;
};

// ---- key filters ----

TEST_F(WindowTest, FilteredBoxesDiscardLettersMinusAndBlankButTakeDigits) {
  Mainform& f = form();
  for (Control* c : {&f.txtFrekvens_DDS1, &f.txtFase_DDS2, &f.TxtSwpStart, &f.TxtSwpStop, &f.TxtSwpStep}) {
    SCOPED_TRACE(c->id());
    QLineEdit* edit = enter(*c);
    const QString before = edit->text();
    ASSERT_FALSE(before.isEmpty());
    QTest::keyClicks(edit, "a-Z x");
    EXPECT_EQ(edit->text(), before);
    EXPECT_EQ(c->text, before.toStdString());
    // The filter lets digits and Backspace through to the box and the model.
    QTest::keyClick(edit, '7');
    EXPECT_EQ(edit->text(), before + "7");
    EXPECT_EQ(c->text, (before + "7").toStdString());
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(c->text, before.toStdString());
  }
}

TEST_F(WindowTest, CommaBecomesPointInPhaseBox) {
  QLineEdit* edit = enter(form().txtFase_DDS2);
  ASSERT_EQ(edit->text(), "90");
  QTest::keyClicks(edit, ",5");
  EXPECT_EQ(edit->text(), "90.5");
  EXPECT_EQ(form().txtFase_DDS2.text, "90.5");
}

TEST_F(WindowTest, KeyboardPasteDoesNothingInAFilteredBox) {
  QGuiApplication::clipboard()->setText("123abc");
  QLineEdit* freq = enter(form().txtFrekvens_DDS1);
  QTest::keyClick(freq, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(freq, Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(freq->text(), "44000");
  EXPECT_EQ(form().txtFrekvens_DDS1.text, "44000");
  // A box without a filter pastes as usual: the clipboard did hold the text.
  QLineEdit* track = enter(form().TrackFrqStp);
  QTest::keyClick(track, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(track->text(), "50123abc");
  EXPECT_EQ(form().TrackFrqStp.text, "50123abc");
}

TEST_F(WindowTest, FilteredBoxMenuOffersNoPaste) {
  QGuiApplication::clipboard()->setText("123abc");
  auto pasteEntryEnabled = [&](const Control& c) -> std::optional<bool> {
    QLineEdit* edit = enter(c);
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), edit->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(edit, &menuKey);
    std::optional<bool> enabled;
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      for (QAction* a : menu->actions())
        if (a->text().startsWith(QLineEdit::tr("&Paste"))) enabled = a->isEnabled();
      menu->close();
    }
    return enabled;
  };
  EXPECT_EQ(pasteEntryEnabled(form().TxtSwpStep), std::optional<bool>(false));
  EXPECT_EQ(pasteEntryEnabled(form().StimFileName), std::optional<bool>(true));
}

// ---- the Change road and mirroring ----

TEST_F(WindowTest, TypingIntoStepTimeBoxUpdatesStepTime) {
  QLineEdit* edit = enter(form().TxtSteptime);
  edit->selectAll();
  QTest::keyClicks(edit, "250");
  EXPECT_EQ(form().TxtSteptime.text, "250");
  EXPECT_EQ(form().StepTime, 250);
}

TEST_F(WindowTest, ProgramChangesShowAtTheNextPumpPassAndDisabledButtonsRaiseNothing) {
  Mainform& f = form();
  int clicks = 0;
  f.on(f.cmdWrite, Event::Click, [&clicks](EventArgs&) { ++clicks; });
  f.setEnabled(f.cmdWrite, false);
  f.setForecolor(f.Info, colors::red);
  f.setText(f.Info, "Comm ERROR: test");
  f.setText(f.cmdStartMotor, "Motor Stop");
  toolkit_.doEvents();

  EXPECT_FALSE(button(f.cmdWrite)->isEnabled());
  EXPECT_EQ(box(f.Info)->text(), "Comm ERROR: test");
  EXPECT_EQ(box(f.Info)->palette().color(QPalette::Active, QPalette::Text), QColor(255, 0, 0));
  EXPECT_EQ(button(f.cmdStartMotor)->text(), "Motor Stop");
  QTest::mouseClick(button(f.cmdWrite), Qt::LeftButton);
  EXPECT_EQ(clicks, 0);

  f.setEnabled(f.cmdWrite, true);
  toolkit_.doEvents();
  QTest::mouseClick(button(f.cmdWrite), Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
}

TEST_F(WindowTest, CheckBoxClickSetsValueBeforeItsHandlerRuns) {
  Mainform& f = form();
  int seen = -1;
  f.on(f.btGetCurrent, Event::Click, [&](EventArgs&) { seen = f.btGetCurrent.value; });
  QTest::mouseClick(qobject_cast<QCheckBox*>(window_->widgetFor(f.btGetCurrent)), Qt::LeftButton);
  EXPECT_EQ(seen, 1);
}

// ---- Enter, focus and the default button ----

TEST_F(WindowTest, FocusStartsInTrackStepAndTabFollowsTheWindowOrder) {
  Mainform& f = form();
  EXPECT_EQ(window_->windowTitle(), "Corvex Tavrin v.5.3   ");
  EXPECT_EQ(QApplication::focusWidget(), window_->widgetFor(f.TrackFrqStp));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), window_->widgetFor(f.btGetCurrent));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), window_->widgetFor(f.Info));
}

TEST_F(WindowTest, EnterCommitsTheFrequencyBoxPressesTheDefaultButtonOrClicksTheFocusedOne) {
  Mainform& f = form();
  EXPECT_TRUE(button(f.cmdStartMotor)->isDefault());

  // The frequency box takes Enter itself: it commits and presses nothing.
  QLineEdit* freq = enter(f.txtFrekvens_DDS1);
  freq->selectAll();
  QTest::keyClicks(freq, "45123");
  QTest::keyClick(freq, Qt::Key_Return);
  EXPECT_EQ(f.FrequencyHz, 45123);
  EXPECT_EQ(box(*f.txtDDS1[4])->text(), "5");
  EXPECT_EQ(box(*f.txtDDS1[1])->text(), "3");
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Start");

  // Any other box: Enter presses the default button, once per press of the
  // key; a held Enter's repeats must not toggle the motor on and off.
  QLineEdit* track = enter(f.TrackFrqStp);
  QTest::keyClick(track, Qt::Key_Return);
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Stop");
  EXPECT_EQ(button(f.cmdStartMotor)->text(), "Motor Stop");
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r", /*autorep=*/true);
  QApplication::sendEvent(track, &repeat);
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Stop");

  // A focused button is clicked by Enter, not the default one.
  QPushButton* dir = button(f.Selectdir);
  dir->setFocus(Qt::TabFocusReason);
  QTest::keyClick(dir, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(f.Selectdir.text, "CW");
  EXPECT_EQ(dir->text(), "CW");
}

// ---- the log file dialog ----

TEST_F(WindowTest, LogFileDialogTakesANewNameAndCancelKeepsTheLastOne) {
  Mainform& f = form();
  const QString chosen = root_.filePath(QStringLiteral("stator-new.txt"));
  ASSERT_FALSE(QFileInfo::exists(chosen));
  bool answered = false;
  answerFileDialog([&](QFileDialog& d) {
    answered = true;
    EXPECT_EQ(d.windowTitle().toStdString(), "Log File");
    EXPECT_EQ(d.acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(d.parentWidget(), window_.get());
    // The name is typed as an operator types it: into the focused name box,
    // which also drops a file the dialog had selected in its list.
    auto* name = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!name || !QTest::qWaitFor([&] { return d.isActiveWindow(); }, 5000)) return d.reject();
    name->setFocus(Qt::MouseFocusReason);
    name->selectAll();
    QTest::keyClicks(name, chosen);
    static_cast<QDialog&>(d).accept();  // QFileDialog's own accept, as its Open button runs it
  });
  QTest::mouseClick(button(f.ChaLogFile), Qt::LeftButton);
  ASSERT_TRUE(answered);
  // Nothing below may write a log into the working directory.
  ASSERT_EQ(f.LogFileName.text, chosen.toStdString());
  EXPECT_EQ(box(f.LogFileName)->text().toStdString(), chosen.toStdString());
  // The new name is one logging can use: ticking "Log current" creates it.
  auto* logCurrent = qobject_cast<QCheckBox*>(window_->widgetFor(f.btGetCurrent));
  QTest::mouseClick(logCurrent, Qt::LeftButton);
  EXPECT_TRUE(f.LogCurrentOn);
  EXPECT_TRUE(QFileInfo::exists(chosen));
  QTest::mouseClick(logCurrent, Qt::LeftButton);
  EXPECT_FALSE(f.LogCurrentOn);

  // Opened again, the dialog starts in that folder with that name; a cancel
  // puts the same name back.
  QString folder, offered;
  answered = false;
  answerFileDialog([&](QFileDialog& d) {
    answered = true;
    folder = d.directory().canonicalPath();
    if (auto* name = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) offered = name->text();
    d.reject();
  });
  f.setText(f.LogFileName, "C:\\typed-over.txt");
  QTest::mouseClick(button(f.ChaLogFile), Qt::LeftButton);
  ASSERT_TRUE(answered);
  EXPECT_EQ(folder.toStdString(), QDir(root_.path()).canonicalPath().toStdString());
  EXPECT_EQ(offered.toStdString(), "stator-new.txt");
  EXPECT_EQ(box(f.LogFileName)->text().toStdString(), chosen.toStdString());
}

// ---- start-up ----

TEST(StartUp, WindowIsUpAndTakesEventsDuringStartUpsWaits) {
  QTemporaryDir root;
  Options options;
  options.backend.board = "sim";
  options.driveRoot = root.path().toStdString();
  QtToolkit toolkit;
  Session session(options, toolkit);
  ASSERT_TRUE(session.ok()) << session.error();
  MainWindow window(session.program(), toolkit);
  Mainform& f = session.program().form;
  // Runs at start-up's first wait (the board's reply): what the operator sees
  // then, and a digit typed into the step time box.
  bool ran = false, visible = false, selectdirEnabled = true;
  QString frequencyShown;
  QTimer::singleShot(10, &window, [&] {
    ran = true;
    visible = window.isVisible();
    selectdirEnabled = window.widgetFor(f.Selectdir)->isEnabled();
    frequencyShown = qobject_cast<QLineEdit*>(window.widgetFor(f.txtFrekvens_DDS1))->text();
    auto* stepTime = qobject_cast<QLineEdit*>(window.widgetFor(f.TxtSteptime));
    stepTime->setFocus(Qt::MouseFocusReason);
    stepTime->end(false);
    QTest::keyClick(stepTime, '0');
  });
  ASSERT_FALSE(window.isVisible());
  window.load();
  ASSERT_TRUE(ran);
  EXPECT_TRUE(visible);
  EXPECT_FALSE(selectdirEnabled);
  EXPECT_EQ(frequencyShown, "44000");
  EXPECT_EQ(f.StepTime, 500);
  EXPECT_TRUE(f.Selectdir.enabled);
}

// ---- a sweep running inside its click ----

// The frequencies of a log's reading lines ("1.3,44000,57").
std::vector<std::string> loggedFrequencies(const QString& path) {
  std::ifstream in(path.toStdString());
  std::vector<std::string> out;
  for (std::string l; std::getline(in, l);) {
    auto first = l.find(','), second = l.rfind(',');
    if (!l.empty() && l[0] != '#' && l[0] != '"' && first != second)
      out.push_back(l.substr(first + 1, second - first - 1));
  }
  return out;
}

TEST_F(WindowTest, SweepKeepsTheWindowLiveTakesAnEditAndRefusesLogging) {
  Mainform& f = form();
  // 44000 to 44400 Hz in 100 Hz steps, 10 ms a step: well under a second.
  f.setText(f.TxtSteptime, "10");
  f.setText(f.TxtSwpStart, "44000");
  f.setText(f.TxtSwpStop, "44400");
  f.setText(f.TxtSwpStep, "100");
  toolkit_.doEvents();
  QPushButton* start = button(f.CmdSwpStart);
  QLineEdit* current = box(f.txtDMMvalue);

  // What the window shows while the sweep runs, looked at every 2 ms.
  QStringList shown;
  bool startDisabled = false;
  QTimer watch;
  watch.setInterval(2);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    startDisabled = startDisabled || !start->isEnabled();
    if (shown.isEmpty() || shown.back() != current->text()) shown << current->text();
  });
  // When the sweep has moved the box to its second frequency, the operator
  // ticks "Log current", which would empty the sweep's log and is refused, and
  // types another frequency. Both run within the step's wait.
  auto* logCurrent = qobject_cast<QCheckBox*>(window_->widgetFor(f.btGetCurrent));
  bool typed = false, tickRefused = false;
  f.on(f.txtFrekvens_DDS1, Event::Change, [&](EventArgs&) {
    if (typed || f.txtFrekvens_DDS1.text != "44100") return;
    typed = true;
    QTimer::singleShot(0, window_.get(), [&] {
      QTest::mouseClick(logCurrent, Qt::LeftButton);
      tickRefused = f.btGetCurrent.value == 0 && !logCurrent->isChecked() && !f.LogCurrentOn &&
                    !f.timerGetCurrent.enabled;
      QLineEdit* freq = enter(f.txtFrekvens_DDS1);
      freq->selectAll();
      QTest::keyClicks(freq, "45000");
    });
  });
  watch.start();
  QTest::mouseClick(start, Qt::LeftButton);
  watch.stop();

  EXPECT_TRUE(startDisabled);
  EXPECT_TRUE(start->isEnabled());
  EXPECT_GE(shown.size(), 3) << shown.join(' ').toStdString();
  EXPECT_TRUE(typed);
  EXPECT_TRUE(tickRefused);
  // The log is whole. The reading after the edit is at the typed frequency,
  // and the sweep goes on from there for the steps it has left.
  const std::vector<std::string> expected = {"44000", "45000", "45100", "45200", "45300"};
  EXPECT_EQ(loggedFrequencies(root_.filePath(QStringLiteral("C/stator-1.txt"))), expected);
  EXPECT_EQ(box(f.LogFileName)->text().toStdString(), "C:\\stator-2.txt");
  EXPECT_EQ(box(f.Info)->text().toStdString().rfind("Max ", 0), 0u) << f.Info.text;
}

// ---- press-and-hold arrows ----
// The stepping itself (timing, limits, frames) is tested on the virtual
// toolkit; here only what the window adds: real presses and releases reach
// the arrows' handlers while their loop runs, and a hold never outlives the
// operator's hand. Further tests of holds through the real window go here.

class HoldTest : public WindowTest {
 protected:
  // Presses `arrow` with real mouse events; `duringHold` runs from inside the
  // stepping loop. If the hold is not ended within 10 s the flag is cleared
  // so the test fails instead of hanging.
  void hold(Control& arrow, bool& heldFlag, std::function<void()> duringHold) {
    QTimer::singleShot(0, window_.get(), std::move(duringHold));
    bool rescued = false;
    QTimer rescue;
    rescue.setSingleShot(true);
    QObject::connect(&rescue, &QTimer::timeout, [&] {
      rescued = true;
      heldFlag = false;
    });
    rescue.start(10000);
    QTest::mousePress(window_->windowHandle(), Qt::LeftButton, {}, centreInWindow(arrow));
    EXPECT_FALSE(rescued) << "the hold was never released";
    EXPECT_FALSE(heldFlag);
    EXPECT_FALSE(static_cast<ArrowButton*>(window_->widgetFor(arrow))->isHeld());
  }
};

TEST_F(HoldTest, ReleaseAfterDraggingOffTheArrowEndsTheHold) {
  Mainform& f = form();
  ASSERT_EQ(f.FrequencyHz, 44000);
  const QPoint away(window_->width() + 40, window_->height() / 2);  // off the window
  hold(*f.imgUp[1], f.StepUpHeld, [&] {
    EXPECT_TRUE(f.StepUpHeld);
    QTest::mouseMove(window_->windowHandle(), away);
    QTest::mouseRelease(window_->windowHandle(), Qt::LeftButton, {}, away);
  });
  // One step at the press; the release came within the first wait.
  EXPECT_EQ(f.FrequencyHz, 44001);
  EXPECT_EQ(box(f.txtFrekvens_DDS1)->text(), "44001");
}

TEST_F(HoldTest, WindowLosingActivationEndsTheHold) {
  Mainform& f = form();
  QWidget other;
  hold(*f.imgDown[1], f.StepDownHeld, [&] {
    EXPECT_TRUE(f.StepDownHeld);
    other.show();
    other.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&other));
  });
  EXPECT_EQ(f.FrequencyHz, 43999);
  // The button itself comes up later; the arrow is no longer held by then.
  QTest::mouseRelease(window_->windowHandle(), Qt::LeftButton, {}, centreInWindow(*f.imgDown[1]));
  EXPECT_EQ(f.FrequencyHz, 43999);
}

// The decoded frames of a trace file, without their times.
std::vector<std::string> framesOf(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> out;
  for (std::string l; std::getline(in, l);)
    if (auto at = l.find(" frame "); at != std::string::npos) out.push_back(l.substr(at + 1));
  return out;
}

TEST_F(HoldTest, HeldArrowAgreesWithTheScriptRun) {
  Mainform& f = form();
  // Release as soon as the second step (after the first 1000 ms wait) is in.
  QTimer watch;
  watch.setInterval(5);
  hold(*f.imgUp[4], f.StepUpHeld, [&] {
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (f.FrequencyHz != 46000) return;
      watch.stop();
      QTest::mouseRelease(window_->windowHandle(), Qt::LeftButton, {}, centreInWindow(*f.imgUp[4]));
    });
    watch.start();
  });
  session_->flushTrace();

  // The same press in virtual time: released 10 ms after the second step.
  QTemporaryDir scriptRoot;
  const std::string script = scriptRoot.filePath(QStringLiteral("hold.script")).toStdString();
  std::ofstream(script) << "200 press imgUp(4)\n1210 release imgUp(4)\n";
  Options options;
  options.backend.board = "sim";
  options.driveRoot = scriptRoot.path().toStdString();
  options.scriptFile = script;
  options.traceFile = scriptRoot.filePath(QStringLiteral("trace.txt")).toStdString();
  std::ostringstream dump, err;
  ASSERT_EQ(runScript(options, dump, err), 0) << err.str();

  // Start-up's current request and motor-off frame, then the two steps.
  ASSERT_EQ(framesOf(tracePath()).size(), 4u);
  EXPECT_EQ(framesOf(tracePath()), framesOf(options.traceFile));
  EXPECT_EQ(box(f.txtFrekvens_DDS1)->text(), "46000");
  std::string digits;
  for (int i = 6; i >= 1; --i) digits += box(*f.txtDDS1[i])->text().toStdString();
  EXPECT_EQ(digits, "046000");
  for (const char* line : {"txtFrekvens_DDS1.text=46000", "txtDDS1(5).text=4", "txtDDS1(4).text=6"})
    EXPECT_NE(dump.str().find(line), std::string::npos) << line;
}

}  // namespace
}  // namespace tavrin

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests at build time runs without a display, too.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
