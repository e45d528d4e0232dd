#include "procedures/sweep.h"

#include <cmath>

#include "core/escape.h"
#include "core/numbers.h"
#include "procedures/log_file.h"

namespace tavrin {

std::optional<SweepPlan> planSweep(const std::string& startText, const std::string& stopText,
                                   const std::string& stepText, std::string& whyNot) {
  auto refuse = [&](const std::string& why) -> std::optional<SweepPlan> {
    whyNot = "Sweep not started: " + why;
    return std::nullopt;
  };
  auto start = wholeNumber(startText), stop = wholeNumber(stopText), step = wholeNumber(stepText);
  if (!start || !toInt32(*start)) return refuse("the start frequency is not a number");
  if (!stop || !toInt32(*stop)) return refuse("the stop frequency is not a number");
  if (!frequencyWord(*start)) return refuse("the start frequency is too high");
  if (!frequencyWord(*stop)) return refuse("the stop frequency is too high");
  if (!step || !std::isfinite(*step)) return refuse("the step is not a number");
  SweepPlan plan;
  plan.start = *toInt32(*start);
  plan.stop = *toInt32(*stop);
  double stepHz = roundHalfEven(*step);
  if (stepHz < 1) return refuse("the step must be at least 1 Hz");
  if (stepHz > 32767) return refuse("the step must be at most 32767 Hz");
  double count = roundHalfEven(std::fabs((*stop - *start) / *step));
  if (count > 32767) return refuse(shortestDecimal(count) + " steps, more than 32767");
  plan.step = static_cast<std::int16_t>(*stop < *start ? -stepHz : stepHz);
  plan.stepCount = static_cast<std::int32_t>(count);
  return plan;
}

void FrequencySweep::sendMode(std::int16_t mode) {
  f_.DriveMode = mode;
  link_.SendDriveSettings();
}

std::string FrequencySweep::resultMessage() const {
  std::string volts = shortestDecimal(f_.PoutValue / 10.0);
  if (auto point = volts.find('.'); point != std::string::npos) volts.replace(point, 1, decimalSeparator_);
  return "Max " + std::to_string(f_.MaxCurrent) + "mA @" + std::to_string(f_.MaxCurrentFreq) + "Hz and" + volts +
         "V";
}

std::string FrequencySweep::refusal(std::optional<SweepPlan>& plan) {
  Mainform& f = f_;
  std::string whyNot;
  plan = planSweep(f.TxtSwpStart.text, f.TxtSwpStop.text, f.TxtSwpStep.text, whyNot);
  if (f.SweepRunning) {
    // Only a direct call gets here: a second sweep would empty the log the
    // first is writing.
    whyNot = "Sweep not started: a sweep is running";
  } else if (plan) {
    // The offset frame and reading go out at the box's frequency and phase.
    if (!link_.currentFrame(&whyNot))
      whyNot = "Sweep not started: " + whyNot.substr(whyNot.find(": ") + 2);
    else if (FileResult r = checkAppendable(paths_.map(f.LogFileName.text)); !r.ok())
      whyNot = "Sweep not started: cannot write " + f.LogFileName.text + " (" + r.detail + ")";
  }
  return whyNot;
}

void FrequencySweep::measureOffset() {
  Mainform& f = f_;
  // The offset, with the drive disabled. This reading goes to the old content
  // of the log, which is emptied when the steps begin. The sweep's messages
  // replace whatever Info showed, and its colour with it.
  f.CurrentOffset = 0;
  sendMode(4);
  f.setForecolor(f.Info, colors::darkGrey);
  f.setText(f.Info, "Measuring Offset");
  waits_.Pause(500);
  current_.ReadCurrent(true);
  f.CurrentOffset = f.CurrentmA;
  waits_.Pause(50);
  f.MaxCurrent = 0;
  f.MaxCurrentFreq = 0;
  f.setText(f.Info, "Offset = " + std::to_string(f.CurrentOffset));
}

FileResult FrequencySweep::keepLog(const std::string& name) {
  FileResult failed;
  keptNote_ = keepEarlierFile(paths_, name, failed);
  keptAtStart_ = failed.ok();
  return failed;
}

bool FrequencySweep::runSteps(const SweepPlan& plan, const DriveGuard& guard) {
  Mainform& f = f_;
  // The operator's stop of the motor ends the sweep before its next frame:
  // nothing may start the motor again behind the operator's back.
  auto stopped = [&] {
    if (!guard.motorStopped()) return false;
    stoppedNote_ = "  Sweep stopped at " + f.txtFrekvens_DDS1.text + " Hz: Motor Stop";
    return true;
  };
  if (stopped()) return true;  // during the offset reading: the log is not emptied
  // Steps the boxes gained during the offset reading: the log is kept now
  // (the offset line with it); if it cannot be, it is not emptied.
  const bool kept = keptAtStart_ || keepLog(f.LogFilePath).ok();
  const bool logStarted = kept && startLogFile(paths_.map(f.LogFilePath), clock_(), f.TxtSteptime.text).ok();
  if (onStepsBegin) onStepsBegin(plan, f.LogFilePath);
  f.setText(f.txtFrekvens_DDS1, std::to_string(f.SwpStartFreq));
  sendMode(1);
  sendMode(3);
  double last = f.SwpStartFreq;
  for (std::int32_t i = 0; i < plan.stepCount; ++i) {
    waits_.Pause(f.StepTime);
    if (stopped()) return logStarted;
    current_.ReadCurrent(true);
    // Each step goes on from what the box holds, so an operator's edit moves
    // the rest of the sweep; a box emptied meanwhile goes on from the sweep's
    // own last frequency.
    auto box = wholeNumber(f.txtFrekvens_DDS1.text);
    last = (box ? *box : last) + SwpStep;
    f.setText(f.txtFrekvens_DDS1, shortestDecimal(last));
    if (stopped()) return logStarted;
    sendMode(8);
  }
  waits_.Pause(f.StepTime);
  if (stopped()) return logStarted;
  current_.ReadCurrent(true);
  // The reading's wait lets a stop in too: then the drive is not sent back to the peak.
  if (stopped()) return logStarted;
  f.setText(f.txtFrekvens_DDS1, std::to_string(f.MaxCurrentFreq));
  sendMode(8);
  sendMode(4);
  return logStarted;
}

void FrequencySweep::finish(bool logWritten, int logFailuresBefore) {
  Mainform& f = f_;
  // The result, in Info and as the log's last line.
  waits_.Pause(f.StepTime);
  if (f.AdcOverflow) {
    f.setText(f.Info, "ADC overflow: Decrease Supply Voltage");
    f.AdcOverflow = false;
    f.setForecolor(f.Label1, colors::black);
  } else {
    f.setText(f.Info, resultMessage());
  }
  if (!stoppedNote_.empty()) {
    // The result of the steps read so far, and the log's last line says the
    // sweep did not reach its end.
    f.setForecolor(f.Info, colors::red);
    f.setText(f.Info, f.Info.text + stoppedNote_);
  }
  // Info may quote what an operator typed: the log's line stays one line.
  logWritten = appendLine(paths_.map(f.LogFilePath), quotedLine(escapedName(f.Info.text))).ok() && logWritten;
  if (!logWritten || current_.logFailures() != logFailuresBefore) {
    // The result stands, but the record on disk is not whole: say so.
    f.setForecolor(f.Info, colors::red);
    f.setText(f.Info, f.Info.text + "  Log ERROR: " + f.LogFilePath + " is not complete");
  }
  // Said after the log's last line, which keeps the sweep's own words.
  f.setText(f.Info, f.Info.text + keptNote_);
  f.SweepRunning = false;
  f.setText(f.LogFileName, nextLogName(f.LogFileName.text));
  f.setEnabled(f.CmdSwpStart, true);
  f.setEnabled(f.cmdStartMotor, true);
  if (onEnd) onEnd();
}

bool FrequencySweep::run() {
  Mainform& f = f_;
  // Everything is checked before anything goes to the board.
  std::optional<SweepPlan> plan;
  if (std::string whyNot = refusal(plan); !whyNot.empty()) {
    // In place of the sweep's own messages, and as they do, it stays until
    // the next message (a frame sent meanwhile does not take it away).
    f.setForecolor(f.Info, colors::red);
    f.setText(f.Info, whyNot);
    return false;
  }
  // A sweep with steps empties its log: what is under the name (yesterday's
  // log) is kept first, before the offset reading is appended to it. A sweep
  // without steps only appends.
  keptNote_.clear();
  keptAtStart_ = false;
  if (plan->stepCount >= 1) {
    FileResult failed = keepLog(f.LogFileName.text);
    if (!failed.ok()) {
      f.setForecolor(f.Info, colors::red);
      f.setText(f.Info, "Sweep not started: cannot keep the earlier " + f.LogFileName.text + " (" + failed.detail + ")");
      return false;
    }
  }
  const int logFailuresBefore = current_.logFailures();
  stoppedNote_.clear();

  // Timed logging stops: the sweep writes its own log.
  f.SweepRunning = true;
  f.setEnabled(f.CmdSwpStart, false);
  f.LogFilePath = f.LogFileName.text;
  f.btGetCurrent.value = 0;
  logging_.btGetCurrent_Click();
  const DriveGuard guard(f, link_);
  measureOffset();
  // The boxes as they are now (the operator may have typed meanwhile).
  SweepGo = true;
  waits_.TxtSteptime_Change();
  std::string ignored;
  auto now = planSweep(f.TxtSwpStart.text, f.TxtSwpStop.text, f.TxtSwpStep.text, ignored);
  if (!now) now = plan;  // edited into nonsense during the offset: keep what was checked
  SwpStep = now->step;
  f.SwpStartFreq = now->start;
  if (now->stepCount < 1) SweepGo = false;
  const bool logWritten = SweepGo ? runSteps(*now, guard) : true;
  finish(logWritten, logFailuresBefore);
  return true;
}

}  // namespace tavrin
