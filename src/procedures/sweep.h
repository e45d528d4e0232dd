// The frequency sweep: the offset with the drive disabled, then a reading at
// every step from start to stop, logged; the board left at the frequency of
// the largest current with the enable line clear; the result in Info and the
// log; the next log name proposed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/clock.h"
#include "core/files.h"
#include "form/mainform.h"
#include "form/waits.h"
#include "drive/current.h"
#include "drive/device_link.h"
#include "drive/motor.h"
#include "procedures/logging.h"

namespace tavrin {

// What the sweep boxes ask for, once they have been checked.
struct SweepPlan {
  std::int32_t start = 0, stop = 0;
  std::int16_t step = 0;        // signed: negative when the sweep runs downward
  std::int32_t stepCount = 0;   // frequencies read: stepCount + 1 (none when below 1)
};

// Reads the start, stop and step boxes. Returns the plan, or nullopt with the
// reason the sweep cannot use them (not numbers, a step below 1 Hz or above
// 32767 Hz, more than 32767 steps).
std::optional<SweepPlan> planSweep(const std::string& startText, const std::string& stopText,
                                   const std::string& stepText, std::string& whyNot);

class FrequencySweep {
 public:
  FrequencySweep(Mainform& form, Waits& waits, DeviceLink& link, CurrentReader& current, CurrentLogging& logging,
                 const PathMapper& paths, const LocalClock& clock, const std::string& decimalSeparator)
      : f_(form), waits_(waits), link_(link), current_(current), logging_(logging), paths_(paths),
        clock_(clock), decimalSeparator_(decimalSeparator) {}

  void CmdSwpStart_Click() { run(); }
  // The whole sweep. Returns false when its parameters or its log file cannot
  // be used: then nothing was sent, Info says why and the button stays enabled.
  bool run();

  std::int16_t SwpStep = 0;
  bool SweepGo = false;

  // For a view of the sweep (the plot window): told when the steps begin, with
  // the plan they follow and the log they write, and when the sweep has ended
  // with its result in Info. They only look, as CurrentReader::onReading does.
  std::function<void(const SweepPlan&, const std::string& log)> onStepsBegin;
  std::function<void()> onEnd;

 private:
  // Why the sweep cannot start now (empty when it can), with the plan of the
  // boxes as they are.
  std::string refusal(std::optional<SweepPlan>& plan);
  void measureOffset();
  // From the start frequency to the stop, then back to the largest current's
  // frequency with the drive disabled; false when the log could not be started.
  // The operator's stop of the motor ends it before its next frame or reading.
  bool runSteps(const SweepPlan& plan, const DriveGuard& guard);
  // The result in Info and the log, and the window ready for the next sweep.
  void finish(bool logWritten, int logFailuresBefore);
  std::string resultMessage() const;
  void sendMode(std::int16_t mode);
  // Keeps what is under the log's name before the steps empty it.
  FileResult keepLog(const std::string& name);

  Mainform& f_;
  Waits& waits_;
  DeviceLink& link_;
  CurrentReader& current_;
  CurrentLogging& logging_;
  const PathMapper& paths_;
  const LocalClock& clock_;
  const std::string& decimalSeparator_;
  std::string stoppedNote_;  // why the steps ended early, for Info and the log
  std::string keptNote_;     // where the log that was under this name went
  bool keptAtStart_ = false; // the earlier log was kept when the sweep began
};

}  // namespace tavrin
