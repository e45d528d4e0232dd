#include "procedures/tracking.h"

#include <limits>

#include "core/errors.h"
#include "core/numbers.h"

namespace tavrin {

namespace {
std::int32_t checkedInt32(long long v) {
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    throw RunError("the frequency is out of range");
  return static_cast<std::int32_t>(v);
}
}  // namespace

void FrequencyTracking::Tracking_Click() {
  Mainform& f = f_;
  if (f.Tracking.text == "Track Freq") {
    if (f.SweepRunning) {
      // Its passes would take the sweep's readings and move its frequency.
      f.setForecolor(f.Info, colors::red);
      f.setText(f.Info, "Tracking not started: a sweep is running");
      return;
    }
    f.setText(f.Tracking, "Track Stop");
    f.setEnabled(f.cmdStartMotor, false);
    try {
      TrackFrequency();
    } catch (const MotorStoppedByOperator&) {
      // As "Track Stop" ends it, but the motor stays stopped.
      f.setText(f.Tracking, "Track Freq");
      f.setEnabled(f.cmdStartMotor, true);
    } catch (const RunError& e) {
      // Ends as a stop does: the motor keeps whatever state it has, and the
      // motor button is the operator's again.
      if (*e.what()) {
        f.setForecolor(f.Info, colors::red);
        f.setText(f.Info, std::string("Tracking stopped: ") + e.what());
      }
      f.setText(f.Tracking, "Track Freq");
      f.setEnabled(f.cmdStartMotor, true);
    }
  } else {
    f.setText(f.Tracking, "Track Freq");
    f.setEnabled(f.cmdStartMotor, true);
    f.setText(f.cmdStartMotor, "Motor Stop");
  }
}

void FrequencyTracking::tmrOptimize_Timer() {
  f_.setEnabled(f_.tmrOptimize, false);
  Tracking_Click();
}

std::int32_t FrequencyTracking::trackStep() const {
  auto v = wholeNumber(f_.TrackFrqStp.text);
  auto s = v ? toInt32(*v) : std::nullopt;
  if (!s) throw RunError("the track step is not a number");
  return *s;
}

double FrequencyTracking::boxValue() const {
  auto v = wholeNumber(f_.txtFrekvens_DDS1.text);
  if (!v) throw RunError("the frequency is not a number");
  return *v;
}

void FrequencyTracking::setBox(double hz) { f_.setText(f_.txtFrekvens_DDS1, shortestDecimal(hz)); }

std::int32_t FrequencyTracking::dirStep(std::int32_t step) const {
  return checkedInt32(static_cast<long long>(TrackDir) * step);
}

void FrequencyTracking::goOn(const DriveGuard& guard) const {
  if (guard.motorStopped()) throw MotorStoppedByOperator{};
  if (guard.boardLost()) throw RunError("the board no longer answers");
}

std::int32_t FrequencyTracking::measure(const DriveGuard& guard, bool log) {
  goOn(guard);
  link_.SendDriveSettings();
  waits_.Pause(f_.StepTime);
  goOn(guard);
  current_.ReadCurrent(log);
  waits_.Pause(f_.StepTime);
  return f_.CurrentmA;
}

void FrequencyTracking::TrackFrequency() {
  Mainform& f = f_;
  TrackPasses = -1;
  const bool log = f.LogCurrentOn;
  const DriveGuard guard(f, link_);
  // Checked before anything goes to the board (a sweep included).
  trackStep();

  std::int32_t refCurrent = 0, refFrequency = 0;
  if (f.cmdStartMotor.text == "Motor Stop") {
    current_.ReadCurrent(log);
    if (f.RunStimFile.text == "Sequence Stop") TrackPasses = 3;
    refCurrent = f.CurrentmA;
    auto hz = toInt32(boxValue());
    if (!hz) throw RunError("the frequency is out of range");
    refFrequency = *hz;
  } else {
    // A sweep that refuses its parameters has said why; tracking does not go on blind.
    if (!sweep_.run()) throw RunError("");
    goOn(guard);
    f.setEnabled(f.CmdSwpStart, false);
    f.setEnabled(f.cmdStartMotor, false);
    refCurrent = f.MaxCurrent;
    refFrequency = f.MaxCurrentFreq;
    motor_.cmdStartMotor_Click();
  }

  int lowPasses = 0;
  const std::int32_t step = trackStep();
  TrackDir = -1;
  f.setText(f.txtFrekvens_DDS1, std::to_string(checkedInt32(static_cast<long long>(refFrequency) + dirStep(step))));
  f.DriveMode = 1;

  struct Running {
    int& n;
    explicit Running(int& count) : n(count) { ++n; }
    ~Running() { --n; }
  } running(running_);
  while (f.Tracking.text == "Track Stop" && TrackPasses != 0) {
    const std::int32_t i1 = measure(guard, log);
    setBox(boxValue() + dirStep(step));
    f.DriveMode = 8;
    const std::int32_t i2 = measure(guard, log);
    setBox(boxValue() - dirStep(step));
    f.DriveMode = 8;
    const std::int32_t i3 = measure(guard, log);
    // The probe below the mean of the two readings here: turn. Ties keep on.
    if (static_cast<long long>(i1) + i3 > 2LL * i2) TrackDir = -TrackDir;
    // Ten passes in a row below half the starting current: lock is lost, go
    // back to where tracking began.
    lowPasses = i3 < refCurrent / 2.0 ? lowPasses + 1 : 0;
    if (lowPasses == 10) {
      f.setText(f.txtFrekvens_DDS1, std::to_string(refFrequency));
      lowPasses = 0;
    }
    setBox(boxValue() + dirStep(step));
    // Landing exactly on a sweep limit turns back; stepping over one does not.
    const double now = leadingNumber(f.txtFrekvens_DDS1.text);
    if (now == f.SwpStartFreq || now == f.SwpStopFreq) TrackDir = -TrackDir;
    if (TrackPasses != std::numeric_limits<std::int32_t>::min()) --TrackPasses;
    f.DriveMode = 8;
  }
}

}  // namespace tavrin
