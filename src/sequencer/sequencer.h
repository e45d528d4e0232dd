// The stimulus sequence runner: reads the file named in StimFileName, then runs
// its steps "# of Repeats" times, counting the repeats in show_count and in the
// cycle-count file, and re-centres the frequency with three tracking passes at
// the end of every repeat in which the motor runs. Everything waits with Pause,
// so the window stays live and a second click on the button stops the run.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "controls/supply.h"
#include "core/clock.h"
#include "core/files.h"
#include "form/mainform.h"
#include "form/waits.h"
#include "drive/device_link.h"
#include "drive/motor.h"
#include "procedures/tracking.h"
#include "sequencer/sequence_file.h"

namespace tavrin {

inline constexpr const char* kCycleCountFile = "C:\\Cyclecnt.txt";

// A cycle-count record: "<date and time> Cycle count:11" between double quotes.
std::string cycleCountRecord(const std::string& dateTime, std::int32_t count);

class Sequencer {
 public:
  using DateTimeText = std::function<std::string(const LocalDateTime&)>;
  Sequencer(Mainform& form, Waits& waits, DeviceLink& link, Motor& motor, SupplyControl& supply,
            FrequencyTracking& tracking, const PathMapper& paths, const LocalClock& clock,
            const DateTimeText& dateTimeText)
      : f_(form), waits_(waits), link_(link), motor_(motor), supply_(supply), tracking_(tracking), paths_(paths),
        clock_(clock), dateTimeText_(dateTimeText) {}

  // The file dialog; its name (or on cancel the name it had) into StimFileName.
  // Returns false when the operator cancelled.
  bool ChaStimFile_Click();
  // "Sequence Start" starts a run, anything else stops the running one (the
  // counter is run out to "# of Repeats" without executing steps).
  // Told when a run has begun (the button reads "Sequence Stop"). It only
  // looks, as the sweep's view does.
  std::function<void()> onStart;
  void RunStimFile_Click();
  void RunSequence();

  // The step table, kept between runs: entries 1..N of the last file read.
  std::array<SequenceStep, kMaxSequenceSteps + 1> steps{};

  // Why the last run ended early (an error, a refused start); empty when it
  // ran to its end or was stopped.
  const std::string& lastFailure() const { return lastFailure_; }

 private:
  struct FileFailure {
    FileErrorCode code;
    std::string detail;
  };
  // Reads the file and runs the repeats; throws FileFailure or RunError.
  void readAndRun(const DriveGuard& guard);
  void executeStep(int i, const DriveGuard& guard);
  void appendCycleRecord();
  void finish();
  // Says at the end of Info why a run ended early (in place of an earlier
  // such note still there).
  void endNote(const std::string& why, const char* prefix = "Sequence ended: ");
  // Sends the step's frame; throws RunError when it is refused or the board
  // no longer answers.
  void sendOrFail(const DriveGuard& guard);
  // Throws RunError when the operator has stopped the motor or the board no
  // longer answers since the run began.
  void goOn(const std::string& name, const DriveGuard& guard);

  Mainform& f_;
  Waits& waits_;
  DeviceLink& link_;
  Motor& motor_;
  SupplyControl& supply_;
  FrequencyTracking& tracking_;
  const PathMapper& paths_;
  const LocalClock& clock_;
  const DateTimeText& dateTimeText_;
  std::string note_;         // the note now at the end of Info, if any
  std::string lastFailure_;
};

}  // namespace tavrin
