// Real time on Qt: precise timers that never fire early, waits that block in
// the event loop without spinning, QMessageBox and QFileDialog.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <map>
#include <memory>

#include "core/toolkit.h"

class QTimer;
class QWidget;

namespace tavrin {

class QtToolkit : public Toolkit {
 public:
  QtToolkit();
  ~QtToolkit() override;

  double nowMs() const override;
  void doEvents() override;
  void yieldTurn() override;
  void waitForEvents() override;
  void startTimer(int id, long long intervalMs, std::function<void()> onTick) override;
  void stopTimer(int id) override;
  void messageBox(const std::string& text) override;
  std::optional<std::string> openFileDialog(const std::string& title, const std::string& initialName) override;
  [[noreturn]] void endProgram(int status) override;

  // Runs before every pass of the event pump: the window mirrors the models.
  void setBeforePump(std::function<void()> hook) { beforePump_ = std::move(hook); }
  // Runs just before the process ends (flushes the trace); takes the exit
  // status and gives the one to end with (a run whose output was lost is no 0).
  void setBeforeExit(std::function<int(int)> hook) { beforeExit_ = std::move(hook); }
  // Parent of the message boxes and dialogs.
  void setWindow(QWidget* window) { window_ = window; }
  // A run with nobody to answer a dialog: a message box is not shown but
  // handed to onMessage (which says it and closes the device), and then the
  // program ends with status 1; the file dialog returns cancel.
  void setHeadless(std::function<void(const std::string&)> onMessage) { onHeadlessMessage_ = std::move(onMessage); }
  // A run an operator script drives: nothing modal is shown. A message box is
  // handed to onMessage and taken as answered with OK; the file dialog returns
  // nextAnswer() (nullopt: cancelled).
  void setScripted(std::function<void(const std::string&)> onMessage,
                   std::function<std::optional<std::string>()> nextAnswer) {
    onScriptedMessage_ = std::move(onMessage);
    nextAnswer_ = std::move(nextAnswer);
  }

 private:
  struct Timer;
  // A timer's QTimer has fired: tick if the deadline has come, else sleep on.
  void onTimeout(int id);

  QElapsedTimer clock_;
  double lastPumpMs_ = 0;  // when the events were last handled
  // One entry per timer id, kept until the toolkit goes: a tick may stop or
  // restart its own timer, so the QTimer it runs from must outlive the call.
  std::map<int, std::unique_ptr<Timer>> timers_;
  std::function<void()> beforePump_;
  std::function<int(int)> beforeExit_;
  std::function<void(const std::string&)> onHeadlessMessage_, onScriptedMessage_;
  std::function<std::optional<std::string>()> nextAnswer_;
  QWidget* window_ = nullptr;
};

}  // namespace tavrin
