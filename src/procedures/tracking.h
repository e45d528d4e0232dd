// Frequency tracking: a perturb-and-observe search that keeps a running motor
// at the frequency of the highest current. Each pass reads at the present
// frequency, one step to the side and back, then moves one step towards the
// higher current.
#pragma once

#include <cstdint>

#include "form/mainform.h"
#include "form/waits.h"
#include "drive/current.h"
#include "drive/device_link.h"
#include "drive/motor.h"
#include "procedures/sweep.h"

namespace tavrin {

class FrequencyTracking {
 public:
  FrequencyTracking(Mainform& form, Waits& waits, DeviceLink& link, CurrentReader& current,
                    FrequencySweep& sweep, Motor& motor)
      : f_(form), waits_(waits), link_(link), current_(current), sweep_(sweep), motor_(motor) {}

  // "Track Freq" starts tracking (cmdStartMotor disabled meanwhile); "Track
  // Stop" ends it after the pass in progress, the motor running on. A box that
  // is not a number or a board that no longer answers ends it with a note in
  // Info and the buttons as after a stop; the operator's stop of the motor
  // ends it before its next frame, the motor staying stopped.
  void Tracking_Click();
  // The tracking loop. With the motor stopped it sweeps first and starts the
  // motor one step below the best frequency. Runs while Tracking reads "Track
  // Stop" and passes remain (three inside a sequence run). Throws RunError when
  // the step or the frequency box is not a number, the frequency overflows or
  // the board no longer answers, and MotorStoppedByOperator when the operator
  // stops the motor: no frame follows the stop.
  void TrackFrequency();
  void tmrOptimize_Timer();

  // The tracking loop is running (it may run inside a sequence run too).
  bool running() const { return running_ > 0; }

  std::int32_t TrackDir = -1;     // side of the next probe and move: -1 or +1
  std::int32_t TrackPasses = -1;  // passes left; -1 counts away from 0 (no limit)

 private:
  std::int32_t trackStep() const;
  double boxValue() const;
  void setBox(double hz);
  std::int32_t dirStep(std::int32_t step) const;
  // Ends the loop before its next frame: MotorStoppedByOperator after the
  // operator's stop of the motor, RunError when the board no longer answers.
  void goOn(const DriveGuard& guard) const;
  // Frame, wait, reading, wait: the current at the frequency now in the box.
  std::int32_t measure(const DriveGuard& guard, bool log);

  Mainform& f_;
  Waits& waits_;
  DeviceLink& link_;
  CurrentReader& current_;
  FrequencySweep& sweep_;
  Motor& motor_;
  int running_ = 0;  // nested loops count
};

}  // namespace tavrin
