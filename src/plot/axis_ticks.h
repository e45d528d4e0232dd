// Ticks of a plot axis at round values (1, 2 or 5 times a power of ten) and
// their labels with just the decimals the step needs.
#pragma once

#include <string>
#include <vector>

namespace tavrin {

struct AxisTicks {
  double step = 0;
  std::vector<double> values;
};

// At most about maxTicks ticks inside [lo, hi], and two at least where
// maxTicks allows; none for an empty or non-finite range.
AxisTicks axisTicks(double lo, double hi, int maxTicks);

// "44100", "0.25", "-3": as many decimals as the step has, no exponent.
std::string tickLabel(double value, double step);

}  // namespace tavrin
