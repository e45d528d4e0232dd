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
  // A short axis still gets two ticks: the next smaller round step (5, 2, 1
  // times a power of ten) while the range holds fewer.
  for (int smaller = 0; smaller < 4; ++smaller) {
    t.step = step;
    t.values.clear();
    const double first = std::ceil(lo / step - 1e-9);
    for (double k = first; k * step <= hi + step * 1e-9 && t.values.size() < 1000; ++k)
      t.values.push_back(std::abs(k * step) < step * 1e-9 ? 0.0 : k * step);
    if (t.values.size() >= 2 || maxTicks < 2) break;
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    step *= mantissa > 4 ? 0.4 : 0.5;
  }
  return t;
}

std::string tickLabel(double value, double step) {
  const int decimals = step > 0 && step < 1 ? std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 9) : 0;
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace tavrin
