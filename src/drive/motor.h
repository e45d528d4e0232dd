// The motor button (enable line, DTR) and the direction button (RTS).
#pragma once

#include "form/mainform.h"
#include "drive/device_link.h"

namespace tavrin {

class Motor {
 public:
  Motor(Mainform& form, DeviceLink& link) : f_(form), link_(link) {}

  // "Motor Start" starts (mode 3, DTR set), anything else stops (mode 4, DTR clear).
  void cmdStartMotor_Click();
  // Toggles RTS, flips the phase by 180 degrees and leaves the motor running.
  void Selectdir_Click();

 private:
  Mainform& f_;
  DeviceLink& link_;
};

}  // namespace tavrin
