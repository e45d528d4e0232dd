#include "plot/axis_ticks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavrin {

AxisTicks axisTicks(double lo, double hi, int maxTicks) {
  AxisTicks t;
  if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo) || maxTicks < 1) return t;
  const double rough = (hi - lo) / maxTicks;
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power * 10;
  for (double m : {1.0, 2.0, 5.0}) {
    if (power * m >= rough) {
      step = power * m;
      break;
    }
  }
  if (!(step > 0) || !std::isfinite(step)) return t;
  t.step = step;
  const double first = std::ceil(lo / step - 1e-9);
  for (double k = first; k * step <= hi + step * 1e-9 && t.values.size() < 1000; ++k)
    t.values.push_back(std::abs(k * step) < step * 1e-9 ? 0.0 : k * step);
  return t;
}

std::string tickLabel(double value, double step) {
  const int decimals = step > 0 && step < 1 ? std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 9) : 0;
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace tavrin
