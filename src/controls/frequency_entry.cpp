#include "controls/frequency_entry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "controls/key_filters.h"
#include "core/numbers.h"

namespace tavrin {

std::int32_t sweepBoxValue(const Control& box) {
  double v = roundHalfEven(leadingNumber(box.text));
  if (std::isnan(v)) return 0;
  constexpr double lo = std::numeric_limits<std::int32_t>::min();
  constexpr double hi = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::clamp(v, lo, hi));
}

void FrequencyEntry::readSweepLimits() {
  f_.SwpStartFreq = sweepBoxValue(f_.TxtSwpStart);
  f_.SwpStopFreq = sweepBoxValue(f_.TxtSwpStop);
  if (f_.SwpStartFreq < f_.SwpStopFreq) {
    f_.FreqUpperLimit = f_.SwpStopFreq;
    f_.FreqLowerLimit = f_.SwpStartFreq;
  } else {
    f_.FreqUpperLimit = f_.SwpStartFreq;
    f_.FreqLowerLimit = f_.SwpStopFreq;
  }
}

void FrequencyEntry::commit() {
  readSweepLimits();
  Control& box = f_.txtFrekvens_DDS1;
  if (!wholeNumber(box.text)) {
    // Digits too many for any number are above every limit; anything else
    // that is not a number gets the frequency in effect back.
    const std::string& t = box.text;
    bool digits = !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
    f_.setText(box, std::to_string(digits ? f_.FreqUpperLimit : f_.FrequencyHz));
  }
  if (*wholeNumber(box.text) > f_.FreqUpperLimit) f_.setText(box, std::to_string(f_.FreqUpperLimit));
  if (*wholeNumber(box.text) < f_.FreqLowerLimit) f_.setText(box, std::to_string(f_.FreqLowerLimit));
  // Within the 32-bit limits now, so the conversion cannot fail.
  f_.FrequencyHz = toInt32(*wholeNumber(box.text)).value_or(f_.FrequencyHz);
  ShowDDS1Frequency(f_.FrequencyHz);
}

void FrequencyEntry::ShowDDS1Frequency(std::int32_t f) {
  // C++ division truncates toward zero, as the display always has.
  f_.setText(*f_.txtDDS1[6], std::to_string(f / 100000));
  f_.setText(*f_.txtDDS1[5], std::to_string((f % 100000) / 10000));
  f_.setText(*f_.txtDDS1[4], std::to_string((f % 10000) / 1000));
  f_.setText(*f_.txtDDS1[3], std::to_string((f % 1000) / 100));
  f_.setText(*f_.txtDDS1[2], std::to_string((f % 100) / 10));
  f_.setText(*f_.txtDDS1[1], std::to_string(f % 10));
}

void FrequencyEntry::txtFrekvens_DDS1_KeyPress(int& keyAscii) {
  if (keyAscii == kEnter) {
    commit();
    keyAscii = 0;
    return;
  }
  keyAscii = digitsOnlyFilter(keyAscii);
}

}  // namespace tavrin
