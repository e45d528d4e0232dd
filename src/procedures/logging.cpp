#include "procedures/logging.h"

#include "procedures/log_file.h"

namespace tavrin {

void CurrentLogging::btGetCurrent_Click() {
  Mainform& f = f_;
  if (f.btGetCurrent.value == 0) {
    f.setEnabled(f.timerGetCurrent, false);
    f.LogCurrentOn = false;
    return;
  }
  if (f.SweepRunning) {
    // Its first act would empty the log the sweep is writing, and its readings
    // would take the sweep's replies. The sweep switches logging off anyway.
    f.btGetCurrent.value = 0;
    f.setText(f.Info, "Log current: not while a sweep runs");
    return;
  }
  // The file first: a box that stays ticked over a log nobody can write would
  // tell the operator a record is being kept when none is.
  const std::string name = f.LogFileName.text;
  FileResult r;
  const std::string kept = keepEarlierFile(paths_, name, r);
  const bool keptOk = r.ok();
  if (keptOk) r = startLogFile(paths_.map(name), clock_(), "1000");
  if (!r.ok()) {
    f.btGetCurrent.value = 0;
    f.setEnabled(f.timerGetCurrent, false);
    f.LogCurrentOn = false;
    f.setForecolor(f.Info, colors::red);
    f.setText(f.Info, std::string(keptOk ? "Log ERROR: cannot write " : "Log ERROR: cannot keep the earlier ") + name +
                          " (" + r.detail + ")");
    return;
  }
  f.setText(f.Info, f.Info.text + kept);
  f.LogCurrentOn = true;
  f.LogFilePath = name;
  f.setEnabled(f.timerGetCurrent, true);
  f.setTimerInterval(f.timerGetCurrent, 1000);
}

void CurrentLogging::timerGetCurrent_Timer() { current_.ReadCurrent(f_.LogCurrentOn); }

void CurrentLogging::ChaLogFile_Click() {
  Control& dialog = f_.CommonDialog;
  if (auto chosen = f_.toolkit.openFileDialog("Log File", dialog.fileName)) dialog.fileName = *chosen;
  f_.setText(f_.LogFileName, dialog.fileName);
}

}  // namespace tavrin
