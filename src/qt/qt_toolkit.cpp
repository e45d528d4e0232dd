#include "qt/qt_toolkit.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tavrin {

struct QtToolkit::Timer {
  QTimer qtimer;           // single shot, re-armed for every tick
  long long interval = 0;  // ms
  double due = 0;          // ms on the toolkit's clock
  bool running = false;
  std::function<void()> onTick;
};

namespace {

// Sleeps the QTimer until `remainingMs` from now, or a little less.
//
// The kernel lets a sleep end late by a share of its length: 0.1 % at least,
// and we measured up to 0.3 % on a virtual machine, so a 500 ms wait would
// overshoot by 1 to 3 ms and a one-minute sequence step by up to 100 ms. A long
// sleep therefore stops short of the deadline by 1 % and 5 ms, and a last sleep
// of at most 50 ms (late by a few hundredths of a ms) finishes it.
//
// Rounded up, so that a fraction of a millisecond left over never becomes a
// 0 ms timer (which would fire on every pass of the event loop and spin), and
// capped at what QTimer takes: a longer interval just wakes early and sleeps on.
void armUntil(QTimer& qtimer, double remainingMs) {
  constexpr double lastSleepMs = 50;
  double sleepMs = remainingMs;
  if (sleepMs > lastSleepMs) sleepMs -= remainingMs * 0.01 + 5;
  qtimer.start(static_cast<int>(std::clamp(std::ceil(sleepMs), 1.0, static_cast<double>(INT_MAX))));
}

}  // namespace

QtToolkit::QtToolkit() { clock_.start(); }

QtToolkit::~QtToolkit() = default;

double QtToolkit::nowMs() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e6; }

void QtToolkit::doEvents() {
  if (beforePump_) beforePump_();
  lastPumpMs_ = nowMs();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtToolkit::yieldTurn() {
  // A pump mirrors every control into the window, far dearer than a turn of
  // counting: every 10 ms keeps the window live and a signal heard well within
  // 50 ms without slowing the loop.
  if (nowMs() - lastPumpMs_ >= 10) doEvents();
}

void QtToolkit::waitForEvents() {
  if (beforePump_) beforePump_();
  lastPumpMs_ = nowMs();
  // Sleeps in the event loop until a timer, a posted event or a window event
  // arrives; a wait costs no CPU while it lasts.
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtToolkit::startTimer(int id, long long intervalMs, std::function<void()> onTick) {
  auto& slot = timers_[id];
  if (!slot) {
    slot = std::make_unique<Timer>();
    slot->qtimer.setSingleShot(true);
    // A precise timer keeps to the millisecond; a coarse one may be moved by
    // up to 5 % either way, early included.
    slot->qtimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&slot->qtimer, &QTimer::timeout, &slot->qtimer, [this, id] { onTimeout(id); });
  }
  Timer& t = *slot;
  // An interval of 0 would tick on every pass of the pump and never let a
  // wait sleep; 1 ms is the shortest period a timer keeps.
  t.interval = std::max(intervalMs, 1LL);
  t.due = nowMs() + static_cast<double>(t.interval);
  t.running = true;
  t.onTick = std::move(onTick);
  armUntil(t.qtimer, static_cast<double>(t.interval));
}

void QtToolkit::stopTimer(int id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  Timer& t = *it->second;
  t.running = false;
  t.qtimer.stop();
  // The function may be the one running right now (a tick that stops its own
  // timer); onTimeout holds its own copy, so dropping it here is safe.
  t.onTick = nullptr;
}

void QtToolkit::onTimeout(int id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  Timer& t = *it->second;
  if (!t.running) return;
  double now = nowMs();
  if (now < t.due) {
    // Woken before the deadline: a tick never comes early, sleep the rest.
    armUntil(t.qtimer, t.due - now);
    return;
  }
  // Arm the next tick before this one runs: a handler that waits inside its
  // own tick sees the next one an interval later, never a burst of late ones.
  t.due += static_cast<double>(t.interval);
  if (t.due <= now) t.due = now + static_cast<double>(t.interval);
  armUntil(t.qtimer, t.due - now);
  // The tick may restart this timer with a new function or stop it while it
  // runs (nested waits included): run a copy, and touch `t` no more.
  auto tick = t.onTick;
  if (tick) tick();
}

void QtToolkit::messageBox(const std::string& text) {
  if (onScriptedMessage_) {
    onScriptedMessage_(text);
    return;
  }
  if (onHeadlessMessage_) {
    // Nobody can press OK: going on as if someone had would leave the run
    // doing something no one saw or agreed to.
    onHeadlessMessage_(text);
    endProgram(1);
  }
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tavrin"), QString::fromStdString(text),
                  QMessageBox::Ok, window_);
  box.exec();
}

std::optional<std::string> QtToolkit::openFileDialog(const std::string& title,
                                                     const std::string& initialName) {
  if (nextAnswer_) return nextAnswer_();
  if (onHeadlessMessage_) return std::nullopt;
  // An open dialog that also takes a name not on disk yet: a log file is
  // usually new, and it is created when logging or a sweep starts. Qt's own
  // dialog, because a desktop's native open dialog (GTK's among them) takes
  // only files that exist.
  QFileDialog dialog(window_, QString::fromStdString(title));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  const QString initial = QDir::fromNativeSeparators(QString::fromStdString(initialName));
  if (!initial.isEmpty()) {
    const QFileInfo info(initial);
    // A bare name opens where the dialog usually opens; a folder that has gone
    // away does too, rather than an empty view.
    if (initial.contains(QLatin1Char('/')) && info.absoluteDir().exists())
      dialog.setDirectory(info.absolutePath());
    if (!info.fileName().isEmpty()) dialog.selectFile(info.fileName());
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(chosen.first()).toStdString();
}

void QtToolkit::endProgram(int status) {
  if (beforeExit_) status = beforeExit_(status);
  std::fflush(nullptr);
  // Straight out, from however deep in nested waits we are: no handler, no
  // destructor and no Qt clean-up may run after the operator has ended it.
  std::_Exit(status);
}

}  // namespace tavrin
