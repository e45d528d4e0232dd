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
  const std::int32_t stops = f_.MotorStops;
  waits_.Delay(120);
  if (!f_.PoutUpHeld) return;  // released within the initial wait: nothing happens
  bool stepped = false;        // once set, every later pass of this press sends
  waits_.repeatWhileHeld(f_.PoutUpHeld, stops, [&] {
    if ((index == 0 && f_.PoutValue < 56) || (index == 1 && f_.PoutValue <= 47)) {
      f_.PoutValue += index == 0 ? 1 : 10;
      ShowPout(f_.PoutValue);
      stepped = true;
    }
    if (stepped) {
      f_.DriveMode = f_.PoutValue < 57 ? 6 : 5;
      f_.PoutByteLo = supplyCode(f_.PoutValue);
      link_.SendDriveSettings();
    }
    return stepped;
  });
}

void SupplyControl::StepSupplyDown(int index) {
  const std::int32_t stops = f_.MotorStops;
  waits_.Delay(120);
  if (!f_.PoutDownHeld) return;
  waits_.repeatWhileHeld(f_.PoutDownHeld, stops, [&] {
    // Only a pass that takes its own step sends.
    if (!((index == 0 && f_.PoutValue >= 1) || (index == 1 && f_.PoutValue >= 10))) {
      ShowPout(f_.PoutValue);
      return false;
    }
    f_.PoutValue -= index == 0 ? 1 : 10;
    ShowPout(f_.PoutValue);
    f_.DriveMode = 6;
    if (f_.PoutValue < 13.5) {
      f_.PoutByteLo = 0;
      f_.PoutValue = 13;
    } else if (f_.PoutValue > 57) {
      f_.PoutByteLo = 180;
      f_.PoutValue = 57;
    } else {
      f_.PoutByteLo = supplyCode(f_.PoutValue);
    }
    ShowPout(f_.PoutValue);
    link_.SendDriveSettings();
    return true;
  });
}

}  // namespace tavrin
