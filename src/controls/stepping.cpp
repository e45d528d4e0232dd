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

void FrequencyStepping::StepFrequencyUp(int index) {
  const std::int32_t step = frequencyStep(index);
  f_.setText(f_.cmdStartMotor, "Motor Stop");
  bool stepped = false;  // once set, every later pass of this press sends a frame
  bool first = true;
  while (f_.StepUpHeld) {
    f_.toolkit.doEvents();
    if (step > 0 && f_.FrequencyHz < kTopHz - step + 1) {
      f_.FrequencyHz += step;
      entry_.ShowDDS1Frequency(f_.FrequencyHz);
      stepped = true;
    }
    clampAndShow();
    if (stepped) {
      f_.DriveMode = 1;
      link_.SendDriveSettings();
      f_.toolkit.doEvents();
    }
    waits_.Pause(first ? 1000 : 200);
    first = false;
  }
}

void FrequencyStepping::StepFrequencyDown(int index) {
  const std::int32_t step = frequencyStep(index);
  f_.setText(f_.cmdStartMotor, "Motor Stop");
  bool first = true;
  while (f_.StepDownHeld) {
    f_.toolkit.doEvents();
    bool stepped = false;  // only a pass that took its own step sends
    if (step > 0 && f_.FrequencyHz >= step) {
      f_.FrequencyHz -= step;
      entry_.ShowDDS1Frequency(f_.FrequencyHz);
      stepped = true;
    }
    clampAndShow();
    if (stepped) {
      f_.DriveMode = 1;
      link_.SendDriveSettings();
      f_.toolkit.doEvents();
    }
    waits_.Pause(first ? 1000 : 200);
    first = false;
  }
}

}  // namespace tavrin
