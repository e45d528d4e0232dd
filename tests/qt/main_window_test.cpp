// The real window offscreen on the simulated board, for what only it shows; the handlers behind it are tested on the
// virtual toolkit.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "cli/session.h"
#include "qt/arrow_button.h"
#include "qt/look.h"
#include "qt/main_window.h"
#include "qt/qt_toolkit.h"

namespace tavrin {
namespace {

// The started window; a message box fails the test.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(create());
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    window_->load();  // start-up, as the program runs it once the window is up
    ASSERT_TRUE(form().Selectdir.enabled) << "start-up did not finish";
  }
  // The session and its window, not shown yet.
  void create() {
    ASSERT_TRUE(root_.isValid());
    Options options;
    options.backend.board = "sim";
    options.driveRoot = root_.path().toStdString();
    options.traceFile = tracePath();
    session_ = std::make_unique<Session>(options, toolkit_);
    ASSERT_TRUE(session_->ok()) << session_->error();
    window_ = std::make_unique<MainWindow>(session_->program(), toolkit_);
    modalWatch_.setInterval(50);
    QObject::connect(&modalWatch_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal || (fileDialogExpected_ && qobject_cast<QFileDialog*>(modal))) return;
      modalSeen_ = true;
      modal->close();
    });
    modalWatch_.start();
  }
  void TearDown() override { EXPECT_FALSE(modalSeen_) << "a message box came up"; }

  Mainform& form() { return session_->program().form; }
  std::string tracePath() const { return root_.filePath(QStringLiteral("trace.txt")).toStdString(); }
  QWidget* widget(const Control& c) { return window_->widgetFor(c); }
  QLineEdit* box(const Control& c) { return qobject_cast<QLineEdit*>(widget(c)); }
  void click(const Control& c) { QTest::mouseClick(widget(c), Qt::LeftButton); }
  // Focus in the box with the cursor at its end, as after clicking into it.
  QLineEdit* enter(const Control& c) {
    QLineEdit* edit = box(c);
    edit->setFocus(Qt::MouseFocusReason);
    edit->end(false);
    return edit;
  }
  QLineEdit* typeOver(const Control& c, const QString& text) {
    QLineEdit* edit = enter(c);
    edit->selectAll();
    QTest::keyClicks(edit, text);
    return edit;
  }

  // Runs `answer` (which must accept or reject it) on the next file dialog, from inside the dialog's event loop.
  void answerFileDialog(std::function<void(QFileDialog&)> answer) {
    fileDialogExpected_ = true;
    dialogPoll_.disconnect();
    dialogPoll_.setInterval(5);
    QObject::connect(&dialogPoll_, &QTimer::timeout, [this, answer = std::move(answer)] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      dialogPoll_.stop();
      answer(*dialog);
      fileDialogExpected_ = false;
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

// The window on a dark desktop palette, as a dark theme gives Qt's Fusion style.
class DarkWindowTest : public WindowTest {
 protected:
  void SetUp() override {
    QApplication::setStyle(QStringLiteral("Fusion"));
    QPalette dark;
    for (auto [role, rgb] : {std::pair{QPalette::Window, 0x353535}, {QPalette::WindowText, 0xdcdcdc},
                             {QPalette::Base, 0x2a2a2a}, {QPalette::Text, 0xdcdcdc}, {QPalette::Button, 0x353535},
                             {QPalette::ButtonText, 0xdcdcdc}})
      dark.setColor(role, QColor::fromRgb(rgb));
    for (auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
      dark.setColor(QPalette::Disabled, role, QColor(0x7f7f7f));
    QApplication::setPalette(dark);
    WindowTest::SetUp();
  }
  void TearDown() override {
    WindowTest::TearDown();
    QApplication::setPalette(QApplication::style()->standardPalette());
  }
};

// Every box, label, check box and button, whichever colours the program set on it: the text against the ground
// it is drawn on. 3 is the least for bold or large text; the program's red on its light grey is 3.5.
TEST_F(DarkWindowTest, EveryTextKeepsItsContrastWhateverColoursTheProgramSets) {
  Mainform& f = form();
  auto check = [&](const char* when) {
    toolkit_.doEvents();
    for (const Control& c : f.controls()) {
      QWidget* w = widget(c);
      if (!w || !w->isVisible()) continue;
      QPalette::ColorRole text = QPalette::WindowText, ground = QPalette::Window;
      if (c.kind == ControlKind::TextBox) std::tie(text, ground) = std::pair(QPalette::Text, QPalette::Base);
      else if (c.kind == ControlKind::CommandButton) std::tie(text, ground) = std::pair(QPalette::ButtonText, QPalette::Button);
      else if (c.kind != ControlKind::Label && c.kind != ControlKind::CheckBox) continue;
      // A label that fills no ground of its own is drawn on its parent's.
      const bool ownGround = ground != QPalette::Window || w->autoFillBackground();
      const QPalette& p = w->palette();
      const double ratio =
          contrastRatio(p.color(QPalette::Active, text), (ownGround ? p : w->parentWidget()->palette()).color(ground));
      EXPECT_GE(ratio, 3.0) << when << ": " << c.id() << " " << p.color(text).name().toStdString() << " on "
                            << p.color(ground).name().toStdString();
    }
  };
  check("after start-up");
  // The status box's dark grey on its own white, not on the desktop's dark ground.
  EXPECT_GE(contrastRatio(box(f.Info)->palette().color(QPalette::Text), box(f.Info)->palette().color(QPalette::Base)), 9);
  f.setForecolor(f.Info, colors::red);
  f.setForecolor(f.Label1, colors::red);
  f.show_count.backcolor = colors::red;
  check("after faults");
  f.show_count.backcolor = colors::white;
  check("counting");
}

TEST_F(WindowTest, KeyFiltersHoldForTypingAndPasting) {
  Mainform& f = form();
  // Letters, minus and blank are discarded; digits and Backspace reach the box and the model.
  for (Control* c : {&f.txtFrekvens_DDS1, &f.txtFase_DDS2, &f.TxtSwpStart, &f.TxtSwpStop, &f.TxtSwpStep}) {
    SCOPED_TRACE(c->id());
    QLineEdit* edit = enter(*c);
    const QString before = edit->text();
    QTest::keyClicks(edit, "a-Z x7");
    EXPECT_EQ(edit->text(), before + "7");
    EXPECT_EQ(c->text, (before + "7").toStdString());
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(c->text, before.toStdString());
  }
  // A replaced key: a comma becomes a point in the phase box.
  QTest::keyClicks(enter(f.txtFase_DDS2), ",5");
  EXPECT_EQ(box(f.txtFase_DDS2)->text().toStdString() + " " + f.txtFase_DDS2.text, "90.5 90.5");

  // A filtered box takes no paste, by key or from its menu; a plain box pastes as usual.
  QGuiApplication::clipboard()->setText("123abc");
  QLineEdit* freq = enter(f.txtFrekvens_DDS1);
  QTest::keyClick(freq, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(freq, Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(freq->text(), "44000");
  QTest::keyClick(enter(f.TrackFrqStp), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(f.TrackFrqStp.text, "50123abc");
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
  EXPECT_EQ(pasteEntryEnabled(f.TxtSwpStep), std::optional<bool>(false));
  EXPECT_EQ(pasteEntryEnabled(f.StimFileName), std::optional<bool>(true));
}

TEST_F(WindowTest, MirroringFocusTabAndEnter) {
  Mainform& f = form();
  // What the program sets shows at the next pass of the event loop.
  f.setForecolor(f.Info, colors::red);
  f.setText(f.Info, "Comm ERROR: test");
  toolkit_.doEvents();
  EXPECT_EQ(box(f.Info)->text(), "Comm ERROR: test");
  EXPECT_EQ(box(f.Info)->palette().color(QPalette::Active, QPalette::Text), QColor(255, 0, 0));

  // Focus starts in the track step box; Tab follows the window's order.
  auto focused = [] { return QApplication::focusWidget(); };
  EXPECT_EQ(focused(), widget(f.TrackFrqStp));
  QTest::keyClick(focused(), Qt::Key_Tab);
  EXPECT_EQ(focused(), widget(f.btGetCurrent));
  QTest::keyClick(focused(), Qt::Key_Tab);
  EXPECT_EQ(focused(), widget(f.Info));

  // Enter in a box presses the default button, once per press of the key: a held Enter's repeats must not toggle
  // the motor on and off.
  EXPECT_TRUE(qobject_cast<QPushButton*>(widget(f.cmdStartMotor))->isDefault());
  QTest::keyClick(focused(), Qt::Key_Return);
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r", /*autorep=*/true);
  QApplication::sendEvent(focused(), &repeat);
  EXPECT_EQ(qobject_cast<QPushButton*>(widget(f.cmdStartMotor))->text(), "Motor Stop");

  // The frequency box takes Enter itself: it commits and presses nothing.
  QTest::keyClick(typeOver(f.txtFrekvens_DDS1, "45123"), Qt::Key_Return);
  EXPECT_EQ(f.FrequencyHz, 45123);
  EXPECT_EQ(box(*f.txtDDS1[4])->text() + box(*f.txtDDS1[1])->text(), "53");
  EXPECT_EQ(f.cmdStartMotor.text, "Motor Stop");

  // A focused button is clicked by Enter, not the default one.
  widget(f.Selectdir)->setFocus(Qt::TabFocusReason);
  QTest::keyClick(focused(), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(qobject_cast<QPushButton*>(widget(f.Selectdir))->text(), "CW");
}

TEST_F(WindowTest, LogFileDialogTakesANewNameAndCancelKeepsTheLastOne) {
  Mainform& f = form();
  const QString chosen = root_.filePath(QStringLiteral("stator-new.txt"));
  bool answered = false;
  answerFileDialog([&](QFileDialog& d) {
    answered = true;
    // Typed as an operator types it, into the focused name box, which also drops a file selected in the list.
    auto* name = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!name || !QTest::qWaitFor([&] { return d.isActiveWindow(); }, 5000)) return d.reject();
    name->setFocus(Qt::MouseFocusReason);
    name->selectAll();
    QTest::keyClicks(name, chosen);
    static_cast<QDialog&>(d).accept();  // QFileDialog's own accept, as its Open button runs it
  });
  click(f.ChaLogFile);
  ASSERT_TRUE(answered);
  ASSERT_EQ(f.LogFileName.text, chosen.toStdString());

  // Opened again, the dialog starts in that folder with that name; a cancel puts the same name back.
  QString folder, offered;
  answered = false;
  answerFileDialog([&](QFileDialog& d) {
    answered = true;
    folder = d.directory().canonicalPath();
    if (auto* name = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) offered = name->text();
    d.reject();
  });
  f.setText(f.LogFileName, "C:\\typed-over.txt");
  click(f.ChaLogFile);
  ASSERT_TRUE(answered);
  EXPECT_EQ(folder, QDir(root_.path()).canonicalPath());
  EXPECT_EQ(offered, "stator-new.txt");
  EXPECT_EQ(box(f.LogFileName)->text(), chosen);
}

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
  // 44000 to 44400 Hz in 100 Hz steps, 10 ms a step.
  for (auto [c, text] : {std::pair{&f.TxtSteptime, "10"}, {&f.TxtSwpStart, "44000"}, {&f.TxtSwpStop, "44400"},
                         {&f.TxtSwpStep, "100"}})
    f.setText(*c, text);
  toolkit_.doEvents();
  // Within the wait at the second frequency the window shows it with its start button disabled; the operator ticks
  // "Log current", which would empty the sweep's log and is refused, and types another frequency.
  auto* logCurrent = qobject_cast<QCheckBox*>(widget(f.btGetCurrent));
  std::string shown, model;
  bool typed = false, tickRefused = false;
  f.on(f.txtFrekvens_DDS1, Event::Change, [&](EventArgs&) {
    if (typed || f.txtFrekvens_DDS1.text != "44100") return;
    typed = true;
    QTimer::singleShot(0, window_.get(), [&] {
      shown = box(f.txtFrekvens_DDS1)->text().toStdString() + " " + box(f.txtDMMvalue)->text().toStdString() +
              (widget(f.CmdSwpStart)->isEnabled() ? " enabled" : " disabled");
      model = "44100 " + f.txtDMMvalue.text + " disabled";
      click(f.btGetCurrent);
      tickRefused = !logCurrent->isChecked() && !f.LogCurrentOn;
      typeOver(f.txtFrekvens_DDS1, "45000");
    });
  });
  click(f.CmdSwpStart);
  EXPECT_EQ(shown, model);
  EXPECT_TRUE(widget(f.CmdSwpStart)->isEnabled());
  EXPECT_TRUE(typed && tickRefused);
  // The log is whole; the sweep goes on from the typed frequency for the steps it has left.
  const std::vector<std::string> expected = {"44000", "45000", "45100", "45200", "45300"};
  EXPECT_EQ(loggedFrequencies(root_.filePath(QStringLiteral("C/stator-1.txt"))), expected);
  EXPECT_EQ(box(f.LogFileName)->text(), "C:\\stator-2.txt");
  EXPECT_TRUE(box(f.Info)->text().startsWith("Max ")) << f.Info.text;
}

// Counting out a large "# of Repeats" after "Sequence Stop" lets the window's events through as it goes.
TEST_F(WindowTest, CountingOutKeepsTheWindowLive) {
  Mainform& f = form();
  QDir().mkpath(root_.filePath(QStringLiteral("C")));
  std::ofstream(root_.filePath(QStringLiteral("C/seq.txt")).toStdString(), std::ios::binary) << "3000,50\r\n";
  for (auto [c, text] : {std::pair{&f.Text1StepTime, "10"}, {&f.times, "200000"}, {&f.StimFileName, "C:\\seq.txt"}})
    f.setText(*c, text);
  std::int32_t countSeen = -1;
  QTimer::singleShot(100, window_.get(), [&] { click(f.RunStimFile); });  // the stop, in the step's wait
  QTimer::singleShot(110, window_.get(), [&] { countSeen = f.CycleCount; });
  click(f.RunStimFile);
  EXPECT_TRUE(countSeen > 1 && countSeen < 200000) << countSeen;
  EXPECT_EQ(f.CycleCount, 200000);
}

// Start-up's first wait (the board's reply) runs with the window shown, its direction button disabled, and a digit
// typed into the step time box reaching the model.
class StartUpTest : public WindowTest {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(create()); }
};

TEST_F(StartUpTest, WindowIsUpAndTakesEventsDuringStartUpsWaits) {
  Mainform& f = form();
  bool ran = false, visible = false, selectdirEnabled = true;
  QString frequencyShown;
  QTimer::singleShot(10, window_.get(), [&] {
    ran = true;
    visible = window_->isVisible();
    selectdirEnabled = widget(f.Selectdir)->isEnabled();
    frequencyShown = box(f.txtFrekvens_DDS1)->text();
    QTest::keyClick(enter(f.TxtSteptime), '0');
  });
  ASSERT_FALSE(window_->isVisible());
  window_->load();
  ASSERT_TRUE(ran);
  EXPECT_TRUE(visible);
  EXPECT_FALSE(selectdirEnabled);
  EXPECT_EQ(frequencyShown, "44000");
  EXPECT_EQ(f.StepTime, 500);
  EXPECT_TRUE(widget(f.Selectdir)->isEnabled());
}

// Press-and-hold through real mouse events: presses and releases reach the arrows' handlers while their loop runs,
// and a hold never outlives the operator's hand.
TEST_F(WindowTest, HeldArrowsEndWithTheReleaseAnywhereOrWithTheWindowsActivation) {
  Mainform& f = form();
  QWindow* handle = window_->windowHandle();
  auto centreOf = [&](const Control& c) { return widget(c)->mapTo(window_.get(), widget(c)->rect().center()); };
  // Presses `arrow`; `duringHold` runs inside the stepping loop. A hold not ended within 10 s fails, not hangs.
  auto hold = [&](Control& arrow, bool& heldFlag, std::function<void()> duringHold) {
    QTimer::singleShot(0, window_.get(), std::move(duringHold));
    bool rescued = false;
    QTimer rescue;
    rescue.callOnTimeout([&] { rescued = true, heldFlag = false; });
    rescue.start(10000);
    QTest::mousePress(handle, Qt::LeftButton, {}, centreOf(arrow));
    EXPECT_FALSE(rescued) << "the hold was never released";
    EXPECT_FALSE(heldFlag || static_cast<ArrowButton*>(widget(arrow))->isHeld());
  };

  // Released off the window as soon as the second step (after the first 1000 ms wait) is in.
  const QPoint away(window_->width() + 40, window_->height() / 2);
  QTimer watch;
  watch.setInterval(5);
  watch.callOnTimeout([&] {
    if (f.FrequencyHz != 46000) return;
    watch.stop();
    QTest::mouseMove(handle, away);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, away);
  });
  hold(*f.imgUp[4], f.StepUpHeld, [&] {
    EXPECT_TRUE(f.StepUpHeld);
    watch.start();
  });
  // Two steps, as golden/cases/hold_up_arrow sends them.
  std::string digits;
  for (int i = 6; i >= 1; --i) digits += box(*f.txtDDS1[i])->text().toStdString();
  EXPECT_EQ(box(f.txtFrekvens_DDS1)->text().toStdString() + " " + digits, "46000 046000");

  // Another window taking the activation ends a hold; the button comes up later, on an arrow no longer held.
  QWidget other;
  hold(*f.imgDown[1], f.StepDownHeld, [&] {
    EXPECT_TRUE(f.StepDownHeld);
    other.show();
    other.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&other));
  });
  QTest::mouseRelease(handle, Qt::LeftButton, {}, centreOf(*f.imgDown[1]));
  EXPECT_EQ(f.FrequencyHz, 45999);
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
