#include "drive/motor.h"

namespace tavrin {

void Motor::cmdStartMotor_Click() {
  Module1& m = f_.module1;
  Link& ft = link_.link();
  if (f_.cmdStartMotor.text == "Motor Start") {
    bool sweepEnabled = f_.CmdSwpStart.enabled;
    f_.setText(f_.cmdStartMotor, "Motor Stop");
    f_.setEnabled(f_.CmdSwpStart, false);
    f_.DriveMode = 3;
    if (!link_.SendDriveSettings()) {
      // The settings could not be sent, so the motor is not started at all:
      // no enable line, and the buttons go back to what they said.
      f_.setText(f_.cmdStartMotor, "Motor Start");
      f_.setEnabled(f_.CmdSwpStart, sweepEnabled);
      return;
    }
    ft.setDtr(m.DeviceHandle);
  } else {
    ++f_.MotorStops;
    f_.setText(f_.cmdStartMotor, "Motor Start");
    if (f_.ControlAvailable) f_.setEnabled(f_.CmdSwpStart, true);
    f_.DriveMode = 4;
    link_.SendDriveSettings();
    // Stopping is always meant: the enable line is cleared even when the
    // frame could not be sent.
    ft.clrDtr(m.DeviceHandle);
  }
}

void Motor::Selectdir_Click() {
  Module1& m = f_.module1;
  Link& ft = link_.link();
  // The flipped phase goes into the box first, from the mirror, so a phase box
  // that held no number does not stand in the way. A frame that still cannot
  // be built (a frequency box that is not a number) would leave the motor
  // enabled and reversed on settings nobody sent: then the whole change is
  // refused before any line moves, and the phase stays as it was.
  const std::int32_t phaseBefore = f_.PhaseDeg;
  const std::string phaseBoxBefore = f_.txtFase_DDS2.text;
  f_.PhaseDeg = f_.PhaseDeg > 180 ? f_.PhaseDeg - 180 : f_.PhaseDeg + 180;
  f_.setText(f_.txtFase_DDS2, std::to_string(f_.PhaseDeg));
  std::string whyNot;
  if (!link_.currentFrame(&whyNot)) {
    f_.PhaseDeg = phaseBefore;
    f_.setText(f_.txtFase_DDS2, phaseBoxBefore);
    link_.note(whyNot);
    return;
  }
  if (f_.Selectdir.text == "CW") {
    f_.setText(f_.Selectdir, "CCW");
    ft.clrRts(m.DeviceHandle);
  } else {
    f_.setText(f_.Selectdir, "CW");
    ft.setRts(m.DeviceHandle);
  }
  ft.setDtr(m.DeviceHandle);
  f_.DriveMode = 1;
  link_.SendDriveSettings();
  if (f_.Tracking.text == "Track Freq") f_.setEnabled(f_.cmdStartMotor, true);
  f_.setText(f_.cmdStartMotor, "Motor Stop");
}

}  // namespace tavrin
