#include "controls/stepping.h"

namespace tavrin {

namespace {
// Highest frequency that still takes an up step: no step leaves six digits.
constexpr std::int32_t kTopHz = 999999;
}  // namespace

std::int32_t frequencyStep(int index) {
  switch (index) {
    case 1: return 1;
    case 2: return 10;
    case 3: return 100;
    case 4: return 1000;
    case 5: return 10000;
    case 6: return 100000;
    default: return 0;
  }
}

void FrequencyStepping::imgUp_MouseDown(int index) {
  f_.StepUpHeld = true;
  StepFrequencyUp(index);
}

void FrequencyStepping::imgDown_MouseDown(int index) {
  f_.StepDownHeld = true;
  StepFrequencyDown(index);
}

void FrequencyStepping::clampAndShow() {
  entry_.readSweepLimits();
  if (f_.FrequencyHz > f_.FreqUpperLimit) f_.FrequencyHz = f_.FreqUpperLimit;
  if (f_.FrequencyHz < f_.FreqLowerLimit) f_.FrequencyHz = f_.FreqLowerLimit;
  f_.setText(f_.txtFrekvens_DDS1, std::to_string(f_.FrequencyHz));
  entry_.ShowDDS1Frequency(f_.FrequencyHz);
}

void FrequencyStepping::StepFrequencyUp(int index) { stepWhileHeld(index, true); }

void FrequencyStepping::StepFrequencyDown(int index) { stepWhileHeld(index, false); }

void FrequencyStepping::stepWhileHeld(int index, bool up) {
  const std::int32_t step = frequencyStep(index);
  const bool& held = up ? f_.StepUpHeld : f_.StepDownHeld;
  f_.setText(f_.cmdStartMotor, "Motor Stop");
  // Up: after the first step of a press every later pass sends a frame, also
  // when the top refused its own step. Down: only a pass that stepped sends.
  bool stepped = false;
  waits_.repeatWhileHeld(held, f_.MotorStops, [&] {
    if (!up) stepped = false;
    bool canStep = step > 0 && (up ? f_.FrequencyHz < kTopHz - step + 1 : f_.FrequencyHz >= step);
    if (canStep) {
      f_.FrequencyHz += up ? step : -step;
      entry_.ShowDDS1Frequency(f_.FrequencyHz);
      stepped = true;
    }
    clampAndShow();
    if (stepped) {
      f_.DriveMode = 1;
      link_.SendDriveSettings();
    }
    return stepped;
  });
}

}  // namespace tavrin
