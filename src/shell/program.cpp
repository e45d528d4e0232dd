#include "shell/program.h"

#include <exception>
#include <filesystem>
#include <iostream>
#ifdef _WIN32
#include <windows.h>
#endif

#include "controls/key_filters.h"
#include "core/escape.h"

namespace tavrin {

Program::Program(Toolkit& toolkit, Link& board, ProgramSetup setup)
    : setup_(std::move(setup)),
      form(toolkit),
      waits(form),
      link(form, board),
      current(form, waits, link, setup_.paths),
      frequency(form),
      motor(form, link),
      config(form, setup_.paths),
      stepping(form, waits, link, frequency),
      phase(form),
      supply(form, waits, link),
      logging(form, current, setup_.paths, setup_.localTime),
      sweep(form, waits, link, current, logging, setup_.paths, setup_.localTime, setup_.decimalSeparator),
      tracking(form, waits, link, current, sweep, motor),
      sequencer(form, waits, link, motor, supply, tracking, setup_.paths, setup_.localTime, setup_.dateTimeText) {
  wireEvents();
}

void Program::Form_Load() {
  Mainform& f = form;
  // The link. Whatever happens there, start-up goes on.
  if (!setup_.linkUnavailable.empty()) {
    f.setForecolor(f.Info, colors::red);
    f.setText(f.Info, "Comm ERROR: " + setup_.linkUnavailable);
  } else {
    link.OpenCommPort();
  }
  f.setEnabled(f.cmdStartMotor, true);
  f.defaultButton = &f.cmdStartMotor;
  f.setEnabled(f.timerGetCurrent, false);
  // In this order: setting the step time runs its change handler.
  f.setText(f.txtFrekvens_DDS1, "44000");
  f.setText(f.txtFase_DDS2, "90");
  f.setText(f.TxtSwpStart, "40000");
  f.setText(f.TxtSwpStop, "50000");
  f.setText(f.TxtSwpStep, "500");
  f.setText(f.TxtSteptime, "50");
  f.setText(f.TrackFrqStp, "50");
  f.PoutByteHi = 1;
  f.FrequencyHz = 44000;
  frequency.ShowDDS1Frequency(f.FrequencyHz);
  f.PhaseDeg = 90;
  f.PoutValue = 13;
  f.setText(*f.Pout1[1], "-");
  f.setText(*f.Pout1[0], "-");
  // One reading tells whether the board answers.
  f.FullScalemA = 1024;
  current.ReadCurrent(false);
  // Motor off.
  f.DriveMode = 4;
  link.SendDriveSettings();
  f.setText(f.cmdStartMotor, "Motor Start");
  if (f.CurrentmA != 0) {
    f.ControlAvailable = true;
    config.LoadConfig();
  } else {
    f.ControlAvailable = false;
    noBoardAtStart_ = f.Info.text;
    enterReducedState();
  }
  if (runBatchIfRequested()) return;
  FinishStartup();
}

namespace {
// Files the batch run does not take: hidden or system files (on Windows their
// attributes, elsewhere a name that starts with a dot).
bool isHiddenOrSystem(const std::filesystem::path& file) {
#ifdef _WIN32
  DWORD attributes = GetFileAttributesW(file.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
#else
  const std::string name = file.filename().string();
  return !name.empty() && name[0] == '.';
#endif
}
}  // namespace

bool Program::runBatchIfRequested() {
  std::string path = setup_.commandLine;
  if (path.empty()) return false;
  for (char& c : path)
    if (c == '"') c = ' ';
  path.erase(0, path.find_first_not_of(' '));
  path.erase(path.find_last_not_of(' ') + 1);
  // Only an ordinary file counts: a folder, a device or a name that cannot be
  // a file leaves start-up to go on, without a word.
  std::error_code ec;
  const std::filesystem::path file = setup_.paths.map(path);
  if (path.empty() || !std::filesystem::is_regular_file(file, ec) || isHiddenOrSystem(file)) return false;

  Mainform& f = form;
  f.setText(f.StimFileName, path);
  f.setText(f.times, "1");
  if (sweep.run() && afterBatchSweep) afterBatchSweep(f.LogFilePath);
  motor.cmdStartMotor_Click();
  sequencer.RunStimFile_Click();
  // The batch ends with the motor off. A sequence whose last step stopped it
  // leaves "Motor Start", and a toggle would start it again just before the
  // program leaves the bench unattended: only a running motor is toggled.
  if (f.cmdStartMotor.text == "Motor Stop") motor.cmdStartMotor_Click();
  // Nobody may be watching the window: a sequence that did not run to its
  // end is said on standard error, and the exit status tells a scheduler.
  const std::string failure = sequencer.lastFailure();
  if (!failure.empty()) std::cerr << "tavrin: the batch's sequence ended early: " << escapedName(failure) << std::endl;
  // A batch that ran without its board ran as it must (its files say what
  // it read), but it is no success: a scheduler must not record one.
  std::string linkFailure;
  if (!setup_.batchFailsOnLink) {
  } else if (!f.ControlAvailable) {
    std::string why = noBoardAtStart_;
    why.erase(0, why.find_first_not_of(" -"));
    why.erase(why.find_last_not_of(" -") + 1);
    linkFailure = "the board never answered at start-up" + (why.empty() ? std::string() : ": " + why);
  } else if (const auto n = link.failedCalls(); n > 0) {
    linkFailure = std::to_string(n) + (n == 1 ? " call" : " calls") + " to the board failed during the run, the first: " +
                  link.firstFailedCall();
  }
  if (!linkFailure.empty()) std::cerr << "tavrin: the batch failed: " << escapedName(linkFailure) << std::endl;
  link.closeDevice();
  endProgram(!linkFailure.empty() ? 4 : failure.empty() ? 0 : 1);
}

void Program::enterReducedState() {
  Mainform& f = form;
  for (Control* c : {&f.CmdSwpStart, &f.Tracking, &f.ChaLogFile, &f.cmdWrite}) f.setEnabled(*c, false);
  f.setText(f.Info, f.Info.text + "  - Frequency & Voltage control NOT available - ");
  for (int i = 1; i <= 6; ++i) {
    f.setEnabled(*f.imgUp[i], false);
    f.setEnabled(*f.imgDown[i], false);
    f.setText(*f.txtDDS1[i], "0");
  }
  for (int i = 0; i <= 1; ++i) {
    f.setEnabled(*f.PoutUp[i], false);
    f.setEnabled(*f.PoutDown[i], false);
    f.setText(*f.Pout1[i], "0");
  }
}

void Program::FinishStartup() {
  Mainform& f = form;
  // Nothing enables this timer and it has no handler; it keeps its setting.
  f.setTimerInterval(f.tmrTimedOut, 5000);
  f.setTimerEnabled(f.tmrTimedOut, false);
  waits.Pause(50);
  f.setEnabled(f.Selectdir, true);
  f.setEnabled(f.RunStimFile, true);
  if (f.ControlAvailable) {  // the reduced state keeps them disabled
    f.setEnabled(f.CmdSwpStart, true);
    f.setEnabled(f.Tracking, true);
  }
  startupEnded_ = true;
}

void Program::endProgram(int status) {
  if (setup_.beforeExit) setup_.beforeExit();
  form.toolkit.endProgram(status);
  std::terminate();  // not reached: ending the program does not return
}

void Program::cmdExit_Click() {
  link.closeDevice();
  endProgram();
}

void Program::Form_Unload() {
  link.closeDevice();
  endProgram();
}

// The event table: which control event runs which handler. Every event of the
// window, from the Qt view or from a script, arrives through Mainform::fire.
void Program::wireEvents() {
  Mainform& f = form;
  f.on(f.cmdExit, Event::Click, [this](EventArgs&) { cmdExit_Click(); });
  f.on(f.tmrpause, Event::Timer, [this](EventArgs&) { waits.tmrpause_Timer(); });
  f.on(f.tmrDelay, Event::Timer, [this](EventArgs&) { waits.tmrDelay_Timer(); });
  f.on(f.TxtSteptime, Event::Change, [this](EventArgs&) { waits.TxtSteptime_Change(); });
  f.on(f.cmdWrite, Event::Click, [this](EventArgs&) { link.cmdWrite_Click(); });
  f.on(f.cmdStartMotor, Event::Click, [this](EventArgs&) { motor.cmdStartMotor_Click(); });
  f.on(f.Selectdir, Event::Click, [this](EventArgs&) { motor.Selectdir_Click(); });

  f.keepEnter(f.txtFrekvens_DDS1);
  f.on(f.txtFrekvens_DDS1, Event::KeyPress, [this](EventArgs& a) { frequency.txtFrekvens_DDS1_KeyPress(a.keyAscii); });
  f.on(f.txtFrekvens_DDS1, Event::LostFocus, [this](EventArgs&) { frequency.txtFrekvens_DDS1_LostFocus(); });
  f.on(f.txtFase_DDS2, Event::KeyPress, [this](EventArgs& a) { phase.txtFase_DDS2_KeyPress(a.keyAscii); });
  f.on(f.txtFase_DDS2, Event::LostFocus, [this](EventArgs&) { phase.txtFase_DDS2_LostFocus(); });

  // Press-and-hold arrows: the stepping loop runs inside the mouse-down event.
  f.on(*f.imgUp[1], Event::MouseDown, [this](EventArgs& a) { stepping.imgUp_MouseDown(a.index); });
  f.on(*f.imgUp[1], Event::MouseUp, [this](EventArgs&) { stepping.imgUp_MouseUp(); });
  f.on(*f.imgDown[1], Event::MouseDown, [this](EventArgs& a) { stepping.imgDown_MouseDown(a.index); });
  f.on(*f.imgDown[1], Event::MouseUp, [this](EventArgs&) { stepping.imgDown_MouseUp(); });
  f.on(*f.PoutUp[0], Event::MouseDown, [this](EventArgs& a) { supply.PoutUp_MouseDown(a.index); });
  f.on(*f.PoutUp[0], Event::MouseUp, [this](EventArgs&) { supply.PoutUp_MouseUp(); });
  f.on(*f.PoutDown[0], Event::MouseDown, [this](EventArgs& a) { supply.PoutDown_MouseDown(a.index); });
  f.on(*f.PoutDown[0], Event::MouseUp, [this](EventArgs&) { supply.PoutDown_MouseUp(); });
  f.on(f.CmdSwpStart, Event::Click, [this](EventArgs&) { sweep.CmdSwpStart_Click(); });
  f.on(f.Tracking, Event::Click, [this](EventArgs&) { tracking.Tracking_Click(); });
  f.on(f.tmrOptimize, Event::Timer, [this](EventArgs&) { tracking.tmrOptimize_Timer(); });
  f.on(f.btGetCurrent, Event::Click, [this](EventArgs&) { logging.btGetCurrent_Click(); });
  f.on(f.timerGetCurrent, Event::Timer, [this](EventArgs&) { logging.timerGetCurrent_Timer(); });
  f.on(f.ChaLogFile, Event::Click, [this](EventArgs&) { logging.ChaLogFile_Click(); });
  f.on(f.ChaStimFile, Event::Click, [this](EventArgs&) { sequencer.ChaStimFile_Click(); });
  f.on(f.RunStimFile, Event::Click, [this](EventArgs&) { sequencer.RunStimFile_Click(); });
  for (Control* box : {&f.TxtSwpStart, &f.TxtSwpStop, &f.TxtSwpStep})
    f.on(*box, Event::KeyPress, [](EventArgs& a) { a.keyAscii = digitsOnlyFilter(a.keyAscii); });
}

}  // namespace tavrin
