#include "controls/supply.h"

#include "core/numbers.h"

namespace tavrin {

std::uint8_t supplyCode(std::int32_t v) {
  if (v < 13.5) return 0;
  // Settings above 57 would give codes past 180; the byte never goes beyond 255.
  return toByte((v - 13.5) / 43.5 * 180.0).value_or(255);
}

void SupplyControl::ShowPout(std::int32_t v) {
  if (v > 57) {
    f_.setText(*f_.Pout1[1], "5");
    f_.setText(*f_.Pout1[0], "7");
    return;
  }
  f_.setText(*f_.Pout1[1], std::to_string(v / 10));
  f_.setText(*f_.Pout1[0], std::to_string(v % 10));
}

void SupplyControl::PoutUp_MouseDown(int index) {
  f_.PoutUpHeld = true;
  StepSupplyUp(index);
}

void SupplyControl::PoutDown_MouseDown(int index) {
  f_.PoutDownHeld = true;
  StepSupplyDown(index);
}

void SupplyControl::StepSupplyUp(int index) {
  waits_.Delay(120);
  bool stepped = false;  // once set, every later pass of this press sends
  if (!f_.PoutUpHeld) return;  // released within the initial wait: nothing happens
  bool first = true;
  while (f_.PoutUpHeld) {
    f_.toolkit.doEvents();
    bool step = (index == 0 && f_.PoutValue < 56) || (index == 1 && f_.PoutValue <= 47);
    if (step) {
      f_.PoutValue += index == 0 ? 1 : 10;
      ShowPout(f_.PoutValue);
      stepped = true;
    }
    if (stepped) {
      f_.DriveMode = f_.PoutValue < 57 ? 6 : 5;
      f_.PoutByteLo = supplyCode(f_.PoutValue);
      link_.SendDriveSettings();
      f_.toolkit.doEvents();
    }
    waits_.Pause(first ? 1000 : 200);
    first = false;
  }
}

void SupplyControl::StepSupplyDown(int index) {
  waits_.Delay(120);
  if (!f_.PoutDownHeld) return;
  bool first = true;
  while (f_.PoutDownHeld) {
    f_.toolkit.doEvents();
    bool stepped = false;  // only a pass that took its own step sends
    bool step = (index == 0 && f_.PoutValue >= 1) || (index == 1 && f_.PoutValue >= 10);
    if (step) {
      f_.PoutValue -= index == 0 ? 1 : 10;
      ShowPout(f_.PoutValue);
      stepped = true;
    }
    ShowPout(f_.PoutValue);
    if (stepped) {
      f_.DriveMode = 6;
      if (f_.PoutValue < 13.5) {
        f_.PoutByteLo = 0;
        f_.PoutValue = 13;
        ShowPout(f_.PoutValue);
      } else if (f_.PoutValue > 57) {
        f_.PoutByteLo = 180;
        f_.PoutValue = 57;
        ShowPout(f_.PoutValue);
      } else {
        f_.PoutByteLo = supplyCode(f_.PoutValue);
      }
      link_.SendDriveSettings();
      f_.toolkit.doEvents();
    }
    waits_.Pause(first ? 1000 : 200);
    first = false;
  }
}

}  // namespace tavrin
