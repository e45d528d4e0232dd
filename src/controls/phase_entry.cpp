#include "controls/phase_entry.h"

#include <cmath>

#include "controls/key_filters.h"
#include "core/numbers.h"

namespace tavrin {

double committedPhase(const std::string& text) {
  double x = leadingNumber(text);
  if (!std::isfinite(x)) return 0;
  // fmod is exact and never loops, whatever was pasted; a pasted negative
  // phase comes into range too, so the frame can always encode it.
  x = std::fmod(x, 360.0);
  if (x < 0) x += 360.0;
  if (x >= 360.0) x = 0;  // -1e-20 + 360 rounds up to 360
  return x == 0 ? 0.0 : x;  // no "-0"
}

void PhaseEntry::txtFase_DDS2_LostFocus() {
  double x = committedPhase(f_.txtFase_DDS2.text);
  f_.setText(f_.txtFase_DDS2, shortestDecimal(x));
  f_.PhaseDeg = toInt32(x).value_or(0);
}

void PhaseEntry::txtFase_DDS2_KeyPress(int& keyAscii) { keyAscii = phaseFilter(keyAscii); }

}  // namespace tavrin
