#include "core/virtual_toolkit.h"

#include <limits>

namespace tavrin {

void VirtualToolkit::post(double atMs, std::function<void()> fn) {
  actions_.emplace(atMs, Action{seq_++, std::move(fn)});
}

void VirtualToolkit::startTimer(int id, long long intervalMs, std::function<void()> onTick) {
  timers_[id] = Timer{intervalMs, now_ + static_cast<double>(intervalMs), seq_++, std::move(onTick)};
}

void VirtualToolkit::stopTimer(int id) { timers_.erase(id); }

std::optional<double> VirtualToolkit::nextDue() const {
  std::optional<double> best;
  for (const auto& [id, t] : timers_)
    if (!best || t.due < *best) best = t.due;
  if (!actions_.empty() && (!best || actions_.begin()->first < *best)) best = actions_.begin()->first;
  return best;
}

bool VirtualToolkit::deliverOne() {
  // Earliest due first; at the same time, whatever was armed or posted first.
  int timerId = 0;
  const Timer* timer = nullptr;
  for (const auto& [id, t] : timers_) {
    if (t.due > now_) continue;
    if (!timer || t.due < timer->due || (t.due == timer->due && t.seq < timer->seq)) {
      timer = &t;
      timerId = id;
    }
  }
  bool actionDue = !actions_.empty() && actions_.begin()->first <= now_;
  if (actionDue && timer) {
    const auto& [at, a] = *actions_.begin();
    if (at < timer->due || (at == timer->due && a.seq < timer->seq)) timer = nullptr;
  }
  if (timer) {
    // Move the deadline before the tick runs: a handler that waits inside its
    // own tick sees the next tick one interval later, never a burst.
    Timer& t = timers_[timerId];
    t.due += static_cast<double>(t.interval);
    if (t.due <= now_) t.due = now_ + static_cast<double>(t.interval);
    t.seq = seq_++;
    auto tick = t.onTick;
    tick();
    return true;
  }
  if (actionDue) {
    auto fn = std::move(actions_.begin()->second.fn);
    actions_.erase(actions_.begin());
    fn();
    return true;
  }
  return false;
}

void VirtualToolkit::doEvents() {
  // Like a real pump: everything already due, and whatever becomes due while
  // those handlers run at this same instant.
  while (deliverOne()) {
  }
}

void VirtualToolkit::checkStop() const {
  if (stopCheck_) {
    if (auto why = stopCheck_()) throw RunStopped{*why};
  }
}

void VirtualToolkit::yieldTurn() {
  checkStop();
  if (limit_ && now_ + kTurnCostMs > *limit_) {
    now_ = *limit_;
    throw RunLimitReached{};
  }
  now_ += kTurnCostMs;
  doEvents();
}

void VirtualToolkit::waitForEvents() {
  checkStop();
  auto due = nextDue();
  if (!due) {
    // Nothing could ever wake this wait: in a script run that is the end of
    // the run, not a hang.
    throw RunLimitReached{};
  }
  if (*due > now_) {
    if (limit_ && *due > *limit_) {
      now_ = *limit_;
      throw RunLimitReached{};
    }
    now_ = *due;
  }
  doEvents();
}

void VirtualToolkit::messageBox(const std::string& text) {
  messages_.push_back(text);
  if (messageSink_) messageSink_(text);
}

std::optional<std::string> VirtualToolkit::openFileDialog(const std::string&, const std::string&) {
  if (answers_.empty()) return std::nullopt;
  std::string a = std::move(answers_.front());
  answers_.pop_front();
  return a;
}

void VirtualToolkit::endProgram(int status) { throw ProgramEnded{status}; }

}  // namespace tavrin
