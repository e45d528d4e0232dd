// Timed current logging: the "Log current" box, its one-second timer and the
// "Log File" button with its open-file dialog.
#pragma once

#include "core/clock.h"
#include "core/files.h"
#include "form/mainform.h"
#include "drive/current.h"

namespace tavrin {

class CurrentLogging {
 public:
  CurrentLogging(Mainform& form, CurrentReader& current, const PathMapper& paths, const LocalClock& clock)
      : f_(form), current_(current), paths_(paths), clock_(clock) {}

  // Ticked: starts a fresh log at LogFileName (header with a 1000 ms interval)
  // and takes one logged reading a second. A log that cannot be written leaves
  // logging off and the box unticked, and says why in red. Unticked: stops.
  void btGetCurrent_Click();
  void timerGetCurrent_Timer();
  // The open-file dialog; its name (or, on cancel, the name it had) goes into
  // LogFileName for the next switch-on or sweep.
  void ChaLogFile_Click();

 private:
  Mainform& f_;
  CurrentReader& current_;
  const PathMapper& paths_;
  const LocalClock& clock_;
};

}  // namespace tavrin
