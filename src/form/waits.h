// Timed waits that keep the window alive: Pause (tmrpause) and Delay (tmrDelay).
// A wait arms its timer and runs the event pump until the timer's handler
// raises the completion flag. Waits nest: a Pause started by a handler that runs
// inside another Pause re-arms the shared timer, and both end when it fires.
#pragma once

#include <cstdint>
#include <functional>

#include "form/mainform.h"

namespace tavrin {

class Waits {
 public:
  explicit Waits(Mainform& form) : f_(form) {}

  // Waits at least ms milliseconds. A length of 0 or less yields to the event
  // pump once and returns without touching the timer, so it can neither hang
  // nor cut short a wait it runs inside; it is a turn of the loop that asked
  // for it (in virtual time it costs kTurnCostMs). Lengths above 65,535 ms
  // wait in full.
  void Pause(std::int32_t ms);
  // Returns at once for 1 ms or less; otherwise like Pause on tmrDelay.
  void Delay(std::int32_t ms);
  // The press-and-hold loop of the arrows: while `held`, one pass at once,
  // the next after 1000 ms, then one every 200 ms. Events are handled before
  // each pass (a release ends the loop there) and after a pass that sent a
  // frame (`pass` returns whether it did). The operator's stop of the motor
  // ends it as a release does.
  // `stops` is MotorStops when the arrow was pressed.
  void repeatWhileHeld(const bool& held, std::int32_t stops, const std::function<bool()>& pass);

  void tmrpause_Timer() { f_.PauseDone = true; }
  void tmrDelay_Timer() { f_.DelayDone = true; }
  // StepTime follows the step-time box: its leading number, halves to even.
  void TxtSteptime_Change();

 private:
  Mainform& f_;
};

}  // namespace tavrin
