// The supply voltage arrows: tenths (index 0) and whole volts (index 1), 1.3 V
// to 5.7 V. A press acts only after a 120 ms initial wait, then repeats like
// the frequency arrows; each step is sent at once (mode 6, or 5 at the top).
#pragma once

#include <cstdint>

#include "form/mainform.h"
#include "form/waits.h"
#include "drive/device_link.h"

namespace tavrin {

// Supply code of a setting in tenths of a volt: 0 below 13.5, else
// (v - 13.5) / 43.5 x 180, halves to even (1.4 V -> 2, 5.7 V -> 180).
std::uint8_t supplyCode(std::int32_t poutTenths);

class SupplyControl {
 public:
  SupplyControl(Mainform& form, Waits& waits, DeviceLink& link) : f_(form), waits_(waits), link_(link) {}

  void PoutUp_MouseDown(int index);
  void PoutUp_MouseUp() { f_.PoutUpHeld = false; }
  void PoutDown_MouseDown(int index);
  void PoutDown_MouseUp() { f_.PoutDownHeld = false; }

  void StepSupplyUp(int index);
  void StepSupplyDown(int index);
  // Whole volts and tenths into the two boxes; never shows more than 5.7.
  void ShowPout(std::int32_t value);

 private:
  Mainform& f_;
  Waits& waits_;
  DeviceLink& link_;
};

}  // namespace tavrin
