// The phase box: degrees of DDS2, committed into 0 up to (not including) 360.
#pragma once

#include "form/mainform.h"

namespace tavrin {

// The committed form of a phase text: its leading number brought into [0, 360).
double committedPhase(const std::string& text);

class PhaseEntry {
 public:
  explicit PhaseEntry(Mainform& form) : f_(form) {}

  // Wraps the box into range, rewrites it in plain decimal and sets PhaseDeg.
  // Sends nothing: the next frame takes the phase from the box.
  void txtFase_DDS2_LostFocus();
  void txtFase_DDS2_KeyPress(int& keyAscii);

 private:
  Mainform& f_;
};

}  // namespace tavrin
