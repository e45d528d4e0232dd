// The frequency box, its commit into the manual range (the sweep start and stop
// boxes) and the six-digit display.
#pragma once

#include <cstdint>

#include "form/mainform.h"

namespace tavrin {

// The value of a sweep box: its leading number, halves to even; digits beyond
// the 32-bit range count as the largest (or smallest) 32-bit value.
std::int32_t sweepBoxValue(const Control& box);

class FrequencyEntry {
 public:
  explicit FrequencyEntry(Mainform& form) : f_(form) {}

  // Reads both sweep boxes into SwpStartFreq/SwpStopFreq and sets the limits.
  void readSweepLimits();
  // Holds the box inside the limits and stores it in FrequencyHz. A box that
  // is empty or not a number gets the present FrequencyHz back.
  void commit();
  void ShowDDS1Frequency(std::int32_t frequency);

  void txtFrekvens_DDS1_LostFocus() { commit(); }
  // Digits and Backspace pass; Enter commits.
  void txtFrekvens_DDS1_KeyPress(int& keyAscii);

 private:
  Mainform& f_;
};

}  // namespace tavrin
