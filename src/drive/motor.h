// The motor button (enable line, DTR) and the direction button (RTS).
#pragma once

#include "form/mainform.h"
#include "drive/device_link.h"

namespace tavrin {

// Thrown by a procedure that drives the motor when the operator has stopped
// it: nothing that would start it again may follow the operator's stop.
struct MotorStoppedByOperator {};

// What a procedure that drives the motor must not run past, from the moment
// it is made: the operator's stop of the motor, and a board that no longer
// answers (a call to it has failed).
class DriveGuard {
 public:
  DriveGuard(const Mainform& form, const DeviceLink& link)
      : f_(form), link_(link), stops_(form.MotorStops), failed_(link.failedCalls()) {}
  bool motorStopped() const { return f_.MotorStops != stops_; }
  bool boardLost() const { return link_.failedCalls() != failed_; }

 private:
  const Mainform& f_;
  const DeviceLink& link_;
  std::int32_t stops_;
  std::uint64_t failed_;
};

class Motor {
 public:
  Motor(Mainform& form, DeviceLink& link) : f_(form), link_(link) {}

  // "Motor Start" starts (mode 3, DTR set), anything else stops (mode 4, DTR
  // clear) and counts the stop in MotorStops, which ends whatever procedure
  // drives the motor before its next frame.
  void cmdStartMotor_Click();
  // Toggles RTS, flips the phase by 180 degrees and leaves the motor running.
  void Selectdir_Click();

 private:
  Mainform& f_;
  DeviceLink& link_;
};

}  // namespace tavrin
