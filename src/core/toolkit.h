// Everything the program asks of a window toolkit and of time. The Qt toolkit
// runs in real time; the virtual toolkit runs scripts and tests in virtual time.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace tavrin {

// Thrown by the virtual toolkit to unwind every running handler when the
// program ends (Exit, window closed) or a script run reaches its time limit.
struct ProgramEnded {
  int status = 0;
};
struct RunLimitReached {};
// Thrown by the virtual toolkit when its stop check gives a reason: a script
// run that could never end by itself, or a signal.
struct RunStopped {
  std::string why;
};

// What one turn of a loop without a wait costs in virtual time: work that
// takes no wait still moves the clock, so a loop can never hold a script run
// at one instant (its later actions, --until and the stop checks are always
// reached).
inline constexpr double kTurnCostMs = 0.01;

class Toolkit {
 public:
  virtual ~Toolkit() = default;

  // Milliseconds since the program started.
  virtual double nowMs() const = 0;

  // Handles every event that is waiting, once, and returns; never blocks.
  virtual void doEvents() = 0;

  // One turn of a loop that waits for nothing (counting out repeats, a wait of
  // 0 ms): the window stays live and a signal or Exit is heard however long
  // the loop runs. Real time handles the waiting events when 10 ms have
  // passed since they were last handled; virtual time moves the clock by
  // kTurnCostMs, then handles what is due and stops the run as a wait would.
  virtual void yieldTurn() = 0;

  // Blocks until at least one event has been handled (the tick of an armed
  // timer counts). Never spins the CPU and never returns before that.
  virtual void waitForEvents() = 0;

  // Starts (or restarts) a periodic timer: onTick runs from the event pump at
  // start + k x intervalMs, never before its deadline; a late tick does not
  // move the later ones (a tick more than one interval late is skipped).
  virtual void startTimer(int id, long long intervalMs, std::function<void()> onTick) = 0;
  virtual void stopTimer(int id) = 0;

  // A modal message box with one OK button; returns when it is dismissed.
  virtual void messageBox(const std::string& text) = 0;

  // The file-open dialog: the chosen file name, or nullopt when cancelled.
  virtual std::optional<std::string> openFileDialog(const std::string& title,
                                                    const std::string& initialName) = 0;

  // Ends the program at once: no further handler runs. Does not return.
  [[noreturn]] virtual void endProgram(int status) = 0;
};

}  // namespace tavrin
