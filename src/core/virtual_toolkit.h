// Virtual time: when nothing is due, the clock jumps to the next timer deadline
// or scripted action, so long waits cost nothing and every run is repeatable.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/toolkit.h"

namespace tavrin {

class VirtualToolkit : public Toolkit {
 public:
  double nowMs() const override { return now_; }
  void doEvents() override;
  void yieldTurn() override;
  void waitForEvents() override;
  void startTimer(int id, long long intervalMs, std::function<void()> onTick) override;
  void stopTimer(int id) override;
  void messageBox(const std::string& text) override;
  std::optional<std::string> openFileDialog(const std::string& title,
                                            const std::string& initialName) override;
  [[noreturn]] void endProgram(int status) override;

  // Delivers fn from the event pump at virtual time atMs (like a real event).
  void post(double atMs, std::function<void()> fn);
  // The file name the next file dialog returns; none queued means cancel.
  void queueDialogAnswer(std::string name) { answers_.push_back(std::move(name)); }
  // Virtual time never passes this point: waiting beyond it throws RunLimitReached.
  void setTimeLimit(std::optional<double> limitMs) { limit_ = limitMs; }
  // Asked at every wait: a reason to stop the run now (thrown as RunStopped).
  void setStopCheck(std::function<std::optional<std::string>()> check) { stopCheck_ = std::move(check); }
  // Where message boxes go (the script runner prints them).
  void onMessage(std::function<void(const std::string&)> sink) { messageSink_ = std::move(sink); }

  bool hasPendingActions() const { return !actions_.empty(); }
  const std::vector<std::string>& messages() const { return messages_; }

 private:
  struct Timer {
    long long interval = 0;
    double due = 0;
    std::uint64_t seq = 0;
    std::function<void()> onTick;
  };
  struct Action {
    std::uint64_t seq;
    std::function<void()> fn;
  };
  // The earliest due time of anything pending, if any.
  std::optional<double> nextDue() const;
  // Delivers the single earliest item due at or before now; false if none.
  bool deliverOne();
  // Throws RunStopped when the stop check gives a reason.
  void checkStop() const;

  double now_ = 0;
  std::uint64_t seq_ = 0;
  std::map<int, Timer> timers_;
  std::multimap<double, Action> actions_;
  std::deque<std::string> answers_;
  std::vector<std::string> messages_;
  std::optional<double> limit_;
  std::function<void(const std::string&)> messageSink_;
  std::function<std::optional<std::string>()> stopCheck_;
};

}  // namespace tavrin
