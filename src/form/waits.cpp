#include "form/waits.h"

#include "core/numbers.h"

namespace tavrin {

void Waits::Pause(std::int32_t ms) {
  if (ms <= 0) {
    f_.toolkit.doEvents();
    f_.toolkit.yieldTurn();
    return;
  }
  f_.PauseDone = false;
  f_.setTimerInterval(f_.tmrpause, ms);
  f_.setTimerEnabled(f_.tmrpause, true);
  while (!f_.PauseDone) f_.toolkit.waitForEvents();
  f_.setTimerEnabled(f_.tmrpause, false);
}

void Waits::Delay(std::int32_t ms) {
  f_.DelayDone = false;
  if (ms <= 1) return;
  f_.setTimerInterval(f_.tmrDelay, ms);
  f_.setTimerEnabled(f_.tmrDelay, true);
  while (!f_.DelayDone) f_.toolkit.waitForEvents();
  f_.setTimerEnabled(f_.tmrDelay, false);
}

void Waits::TxtSteptime_Change() {
  // A number beyond 32 bits cannot be a step time; keep the last good one.
  if (auto v = toInt32(leadingNumber(f_.TxtSteptime.text))) f_.StepTime = *v;
}

void Waits::repeatWhileHeld(const bool& held, std::int32_t stops, const std::function<bool()>& pass) {
  bool first = true;
  // The operator's stop of the motor since the press ends the hold as a
  // release would: a pass would start the motor again.
  while (held && f_.MotorStops == stops) {
    f_.toolkit.doEvents();
    if (f_.MotorStops != stops) break;
    if (pass()) f_.toolkit.doEvents();
    Pause(first ? 1000 : 200);
    first = false;
  }
}

}  // namespace tavrin
