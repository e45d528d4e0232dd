// Press-and-hold arrows above and below the frequency digits. A held arrow
// steps at once, again after 1000 ms, then every 200 ms until released; each
// step is held in the sweep range and sent in a mode 1 frame.
#pragma once

#include <cstdint>

#include "controls/frequency_entry.h"
#include "form/mainform.h"
#include "form/waits.h"
#include "drive/device_link.h"

namespace tavrin {

// Step of an arrow index (1 Hz at 1 ... 100000 Hz at 6); 0 for any other index.
std::int32_t frequencyStep(int index);

class FrequencyStepping {
 public:
  FrequencyStepping(Mainform& form, Waits& waits, DeviceLink& link, FrequencyEntry& entry)
      : f_(form), waits_(waits), link_(link), entry_(entry) {}

  void imgUp_MouseDown(int index);
  void imgUp_MouseUp() { f_.StepUpHeld = false; }
  void imgDown_MouseDown(int index);
  void imgDown_MouseUp() { f_.StepDownHeld = false; }

  void StepFrequencyUp(int index);
  void StepFrequencyDown(int index);

 private:
  // Holds FrequencyHz in the sweep range and rewrites the box and the digits.
  void clampAndShow();
  // The stepping loop of either direction; runs until the arrow is released.
  void stepWhileHeld(int index, bool up);

  Mainform& f_;
  Waits& waits_;
  DeviceLink& link_;
  FrequencyEntry& entry_;
};

}  // namespace tavrin
