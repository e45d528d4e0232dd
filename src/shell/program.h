// The program: the window's models, the subsystems that work on them, start-up
// and shutdown, and the event table that routes every control event.
#pragma once

#include <functional>
#include <string>

#include "core/clock.h"
#include "core/files.h"
#include "core/toolkit.h"
#include "form/mainform.h"
#include "form/waits.h"
#include "link/link.h"
#include "controls/frequency_entry.h"
#include "controls/phase_entry.h"
#include "controls/stepping.h"
#include "controls/supply.h"
#include "drive/current.h"
#include "drive/device_link.h"
#include "drive/motor.h"
#include "procedures/logging.h"
#include "procedures/sweep.h"
#include "procedures/tracking.h"
#include "sequencer/sequencer.h"
#include "shell/config.h"

namespace tavrin {

struct ProgramSetup {
  std::string commandLine;        // what follows the options; the batch run reads it
  std::string linkUnavailable;    // why no backend could be loaded, empty if one was
  PathMapper paths{PathMapper::defaultDriveRoot()};
  std::function<void()> beforeExit;  // flushes the trace before the process ends
  LocalClock localTime = systemLocalTime;  // date and time written into log files
  // The system's general date-and-time text, as the cycle-count records carry it.
  std::function<std::string(const LocalDateTime&)> dateTimeText = localeDateTimeText;
  // The system's decimal separator, for numbers the operator reads (the sweep
  // result); files always use a period.
  std::string decimalSeparator = ".";
  // A batch run on a board that never answered, or whose link failed, ends
  // with status 4. Virtual-time script runs keep their statuses: their faults
  // are deliberate and read from the dump and trace.
  bool batchFailsOnLink = true;
};

class Program {
  ProgramSetup setup_;  // first: the subsystems below keep references into it

 public:
  Program(Toolkit& toolkit, Link& board, ProgramSetup setup);

  Mainform form;
  Waits waits;
  DeviceLink link;
  CurrentReader current;
  FrequencyEntry frequency;
  Motor motor;
  ConfigLoader config;
  FrequencyStepping stepping;
  PhaseEntry phase;
  SupplyControl supply;
  CurrentLogging logging;
  FrequencySweep sweep;
  FrequencyTracking tracking;
  Sequencer sequencer;

  // Start-up: opens the link, sets the start values, checks the board with one
  // reading, sends the motor-off frame, then reads the configuration file or
  // enters the reduced state.
  void Form_Load();
  void FinishStartup();
  // Start-up has run to its end: every control it holds back is live.
  bool startupEnded() const { return startupEnded_; }
  // Both close the device (sending nothing first) and end the program at once.
  void Form_Unload();
  void cmdExit_Click();

  const ProgramSetup& setup() const { return setup_; }

  // Told when the batch run's sweep has ended, with the log it wrote (the
  // window draws the sweep's plot beside it).
  std::function<void(const std::string& log)> afterBatchSweep;

 private:
  void enterReducedState();
  std::string noBoardAtStart_;  // the status line when start-up found no board
  bool startupEnded_ = false;
  // The unattended batch run: when the command line names an existing file,
  // a sweep, the motor on, one repeat of that sequence, the motor off, exit.
  // Returns false (start-up goes on) when it names none; otherwise it ends
  // the program, with status 1 when the sequence did not run to its end.
  bool runBatchIfRequested();
  void wireEvents();
  [[noreturn]] void endProgram(int status = 0);
};

}  // namespace tavrin
